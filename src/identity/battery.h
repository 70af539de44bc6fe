// The Battery family: the optional backup battery's registers, read one 16-bit register per
// request through the auxiliary driver. Presence comes from the main board's "BATTERY" record.
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "identity/aux_version.h"
#include "identity/eeprom_image.h"
#include "tavik2/battery.h"

namespace tavik::identity {

// In: uint16 register number; out: uint16 register value.
constexpr uint32_t kReqBatteryRegister = frame::requestCode(0x970);
// The battery is served by supervisor firmware 1.3.0.0 and newer.
constexpr FirmwareVersionNumber kBatteryMinSs = 1030000;

// Register numbers.
namespace battery_reg {
constexpr uint16_t kVoltage = 2;      // millivolts
constexpr uint16_t kTemperature = 3;  // degrees Celsius, signed
constexpr uint16_t kStatus = 4;       // bit 0: power source, bits 1..4: charging state
constexpr uint16_t kErrors = 5;       // bits 1..6: error state
constexpr uint16_t kHwVersion = 6;    // high byte major, low byte minor
constexpr uint16_t kSwVersion = 7;    // 7..10: major, minor, release, build
constexpr uint16_t kSerial = 15;      // 15..19: two characters each, high byte first
constexpr uint16_t kMinTemp = 24;     // degrees + 56
constexpr uint16_t kMaxTemp = 25;     // degrees + 56
} // namespace battery_reg

constexpr int32_t kBatterySerialChars = 10;
constexpr int kBatteryTempOffset = 56;

// Charge level in percent: linear between 8100 mV (0 %) and 12300 mV (100 %), truncated.
uint8_t batteryPercent(uint16_t millivolts);
// The state that the highest-priority set bit of `status` gives (charging state, error state).
int32_t batteryChargingState(uint16_t status);
int32_t batteryErrorState(uint16_t errors);

// A fresh object per factory call.
class Battery_Imp final : public Varnholtstad::Battery {
public:
    Battery_Imp();
    ~Battery_Imp();
    Battery_Imp(const Battery_Imp&) = delete;
    Battery_Imp& operator=(const Battery_Imp&) = delete;

    ErrorCode isBatteryPresent(bool* present) override;
    ErrorCode getBatteryVoltageStatus(uint8_t* percent) override;
    ErrorCode getBatteryChargingStatus(int32_t* status) override;
    ErrorCode getPowerSource(int32_t* source) override;
    ErrorCode getBatteryTemp(int16_t* temperature) override;
    ErrorCode getHwErrorStatus(int32_t* status) override;
    ErrorCode getTimer(Varnholtstad::BatteryTimer* timer) override;
    ErrorCode getMinMaxTemp(int16_t* minTemp, int16_t* maxTemp) override;
    ErrorCode getBatteryHWversion(char* buffer, int32_t length) override;
    ErrorCode getBatterySwVersion(uint16_t* major, uint16_t* minor, uint16_t* releaseNr,
                                  uint16_t* build) override;
    ErrorCode getBatterySerial(char* buffer, int32_t length) override;
    void release() override;

private:
    // One register through request 0x970.
    ErrorCode readRegister(uint16_t number, uint16_t& value);
    // The battery-present flag, then a null check of the out-pointer.
    ErrorCode admit(const void* out) const;
    // One register into *out through `convert` (fitted battery, non-null pointer).
    template <class T>
    ErrorCode readConverted(uint16_t number, T* out, T (*convert)(uint16_t));

    frame::DriverChannel channel_;
    EepromImage* main_;
    FirmwareVersionNumber ssVersion_ = 0;
    bool present_ = false;
};

} // namespace tavik::identity
