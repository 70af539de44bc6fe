// The Config family: the start-up behaviour the system supervisor keeps (triggers, button and
// signal actions and times, power outputs at start-up, start-up voltage, heating limit).
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "identity/aux_version.h"
#include "tavik2/config.h"

namespace tavik::power {

constexpr uint32_t kReqGetFrontBtnTrigTime = frame::requestCode(0x92E);
constexpr uint32_t kReqSetFrontBtnTrigTime = frame::requestCode(0x92F);
constexpr uint32_t kReqGetExtOnOffSigTrigTime = frame::requestCode(0x930);
constexpr uint32_t kReqSetExtOnOffSigTrigTime = frame::requestCode(0x931);
constexpr uint32_t kReqGetSuspendMaxTime = frame::requestCode(0x932);
constexpr uint32_t kReqSetSuspendMaxTime = frame::requestCode(0x933);
constexpr uint32_t kReqGetCanStartupPower = frame::requestCode(0x934);
constexpr uint32_t kReqSetCanStartupPower = frame::requestCode(0x935);
constexpr uint32_t kReqGetVideoStartupPower = frame::requestCode(0x936);
constexpr uint32_t kReqSetVideoStartupPower = frame::requestCode(0x937);
constexpr uint32_t kReqGetExtFanStartupPower = frame::requestCode(0x938);
constexpr uint32_t kReqSetExtFanStartupPower = frame::requestCode(0x939);
constexpr uint32_t kReqGetStartupVoltage = frame::requestCode(0x93A);
constexpr uint32_t kReqSetStartupVoltage = frame::requestCode(0x93B);
constexpr uint32_t kReqGetHeatingLimit = frame::requestCode(0x953);
constexpr uint32_t kReqSetHeatingLimit = frame::requestCode(0x954);
constexpr uint32_t kReqGetStartupTrigger = frame::requestCode(0x957);
constexpr uint32_t kReqSetStartupTrigger = frame::requestCode(0x958);
constexpr uint32_t kReqGetShortPressAction = frame::requestCode(0x959);
constexpr uint32_t kReqSetShortPressAction = frame::requestCode(0x960);
constexpr uint32_t kReqGetLongPressAction = frame::requestCode(0x961);
constexpr uint32_t kReqSetLongPressAction = frame::requestCode(0x962);
constexpr uint32_t kReqGetOnOffSigAction = frame::requestCode(0x963);
constexpr uint32_t kReqSetOnOffSigAction = frame::requestCode(0x964);
constexpr uint32_t kReqGetPowerOnStartup = frame::requestCode(0x969);
constexpr uint32_t kReqSetPowerOnStartup = frame::requestCode(0x96A);

// Supervisor firmware of the heating limit (0.9.0.0), of the trigger and action settings
// (1.0.0.0) and of the power-on start-up (1.0.3.0).
constexpr identity::FirmwareVersionNumber kHeatingMinSs = 90000;
constexpr identity::FirmwareVersionNumber kStartupActionsMinSs = 1000000;
constexpr identity::FirmwareVersionNumber kPowerOnStartupMinSs = 1000300;

// Start-up voltage: volts = raw * 3.3 * 12 / 4096, within 9.0..28.0 V.
constexpr double kMinStartupVolts = 9.0;
constexpr double kMaxStartupVolts = 28.0;
// Heating limit: raw = limit + 56 for -25..+5 degrees; 0xFFFF when the unit has no heating.
constexpr int kHeatingRawOffset = 56;
constexpr uint16_t kNoHeating = 0xFFFF;

// Volts of a raw start-up voltage (never below 9.0), and the raw value of volts (truncated);
// false when the volts are out of range or not a number.
double startupVoltsFromRaw(uint16_t raw);
bool startupRawFromVolts(double volts, uint16_t& raw);

// Shared, counted; opens the driver at construction only.
class Config_Imp final : public Varnholtstad::Config {
public:
    Config_Imp();
    ~Config_Imp();
    Config_Imp(const Config_Imp&) = delete;
    Config_Imp& operator=(const Config_Imp&) = delete;

    ErrorCode getStartupTriggerConfig(int32_t* config) override;
    ErrorCode getShortButtonPressAction(int32_t* action) override;
    ErrorCode getLongButtonPressAction(int32_t* action) override;
    ErrorCode getOnOffSigAction(int32_t* action) override;
    ErrorCode getFrontBtnTrigTime(uint16_t* time) override;
    ErrorCode getExtOnOffSigTrigTime(int32_t* time) override;
    ErrorCode getSuspendMaxTime(uint16_t* time) override;
    ErrorCode getCanStartupPowerConfig(int32_t* config) override;
    ErrorCode getVideoStartupPowerConfig(uint8_t* config) override;
    ErrorCode getExtFanStartupPowerConfig(int32_t* config) override;
    ErrorCode getStartupVoltageConfig(double* voltage) override;
    ErrorCode getHeatingTempLimit(int16_t* temperature) override;
    ErrorCode getPowerOnStartup(int32_t* enabled) override;
    ErrorCode setStartupTriggerConfig(int32_t config) override;
    ErrorCode setShortButtonPressAction(int32_t action) override;
    ErrorCode setLongButtonPressAction(int32_t action) override;
    ErrorCode setOnOffSigAction(int32_t action) override;
    ErrorCode setFrontBtnTrigTime(uint16_t time) override;
    ErrorCode setExtOnOffSigTrigTime(int32_t time) override;
    ErrorCode setSuspendMaxTime(uint16_t time) override;
    ErrorCode setCanStartupPowerConfig(uint16_t config) override;
    ErrorCode setVideoStartupPowerConfig(uint8_t config) override;
    ErrorCode setExtFanStartupPowerConfig(uint16_t config) override;
    ErrorCode setStartupVoltageConfig(double voltage) override;
    ErrorCode setHeatingTempLimit(int16_t temperature) override;
    ErrorCode setPowerOnStartup(uint16_t enabled) override;
    ErrorCode setRS485Enabled(int32_t port, int32_t enabled) override;
    ErrorCode getRS485Enabled(int32_t port, int32_t* enabled) override;
    void release() override;

    // What an operation needs besides the open driver: a supervisor version, a fitted option.
    enum class Option { None, Can, Video };
    struct Gate {
        identity::FirmwareVersionNumber minSs = 0;
        Option option = Option::None;
    };
    // A value the supervisor keeps as one of a few numbers: its requests and accepted range.
    struct Enumerated {
        uint32_t getCode;
        uint32_t setCode;
        int32_t lowest;
        int32_t highest;
    };

private:
    ErrorCode admit(const Gate& gate) const;
    ErrorCode read16(const Gate& gate, uint32_t code, uint16_t& value);
    ErrorCode write16(const Gate& gate, uint32_t code, uint16_t value);
    // The second word (bytes 2..3) of a 4-byte record.
    ErrorCode readRecordTime(uint32_t code, uint16_t* time);
    ErrorCode getEnumerated(const Enumerated& setting, int32_t* value);
    ErrorCode setEnumerated(const Enumerated& setting, int32_t value);

    frame::DriverChannel channel_;
    identity::FirmwareVersionNumber ssVersion_ = 0;
    bool canSupported_ = true;
    bool videoSupported_ = true;
};

} // namespace tavik::power
