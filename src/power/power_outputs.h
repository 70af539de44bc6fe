// The Power family: the switchable power outputs, the front button power transition and the
// power request acknowledge, each one request to the auxiliary driver.
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "identity/aux_version.h"
#include "tavik2/power.h"

namespace tavik::power {

constexpr uint32_t kReqGetBacklightPower = frame::requestCode(0x924);
constexpr uint32_t kReqSetBacklightPower = frame::requestCode(0x925);
constexpr uint32_t kReqGetCanPower = frame::requestCode(0x926);
constexpr uint32_t kReqSetCanPower = frame::requestCode(0x927);
constexpr uint32_t kReqGetVideoPower = frame::requestCode(0x928);
constexpr uint32_t kReqSetVideoPower = frame::requestCode(0x929);
constexpr uint32_t kReqGetExtFanPower = frame::requestCode(0x92A);
constexpr uint32_t kReqSetExtFanPower = frame::requestCode(0x92B);
constexpr uint32_t kReqButtonTransition = frame::requestCode(0x92C);
constexpr uint32_t kReqAckPowerRequest = frame::requestCode(0x92D);

// Supervisor firmware that reports the button power transition (0.9.0.0).
constexpr identity::FirmwareVersionNumber kButtonTransitionMinSs = 90000;
constexpr uint8_t kMaxVideoPowerMask = 15;
constexpr uint8_t kMaxButtonTransition = 6;

// Fresh object; opens the driver on demand. What is fitted and the supervisor version are fixed
// at construction.
class Power_Imp final : public Varnholtstad::Power {
public:
    Power_Imp();

    ErrorCode getBLPowerStatus(int32_t* status) override;
    ErrorCode getCanPowerStatus(int32_t* status) override;
    ErrorCode getVideoPowerStatus(uint8_t* mask) override;
    ErrorCode getExtFanPowerStatus(int32_t* status) override;
    ErrorCode getVideoOCDStatus(int32_t* status) override;
    ErrorCode getCanOCDStatus(int32_t* status) override;
    ErrorCode setBLPowerStatus(int32_t status) override;
    ErrorCode setCanPowerStatus(int32_t status) override;
    ErrorCode setVideoPowerStatus(uint8_t mask) override;
    ErrorCode setExtFanPowerStatus(int32_t status) override;
    ErrorCode getButtonPowerTransitionStatus(int32_t* status) override;
    ErrorCode ackPowerRequest() override;
    void release() override;

    // What may refuse an operation, and whether it is checked before the driver is opened.
    enum class Gate { None, Backlight, Can, Video, ButtonTransition };

private:
    // Gates, open and gates again in the family's order; ERR_SUCCESS when the request may go.
    ErrorCode admit(Gate gate);
    ErrorCode readByte(Gate gate, uint32_t code, uint8_t& value);
    ErrorCode writeByte(Gate gate, uint32_t code, uint8_t value);
    ErrorCode getOnOff(Gate gate, uint32_t code, int32_t* status);
    ErrorCode setOnOff(Gate gate, uint32_t code, int32_t status);

    frame::DriverChannel channel_;
    bool canSupported_ = true;
    bool videoSupported_ = true;
    bool backlightSupported_ = true;
    identity::FirmwareVersionNumber ssVersion_ = 0;
};

} // namespace tavik::power
