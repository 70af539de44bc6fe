// The TouchScreen family: touch mode, right-click hold time and advanced controller settings.
#pragma once

#include "frame/driver_channel.h"
#include "identity/aux_version.h"
#include "tavik2/touch_screen.h"

namespace tavik::signals {

constexpr uint32_t kReqGetTouchMode = frame::requestCode(0x955);       // out: mode byte
constexpr uint32_t kReqSetTouchMode = frame::requestCode(0x956);       // in: mode byte
constexpr uint32_t kReqGetRightClickTime = frame::requestCode(0x968);  // out: 16-bit LE
constexpr uint32_t kReqSetRightClickTime = frame::requestCode(0x965);  // in: 16-bit LE

constexpr identity::FirmwareVersionNumber kTouchFrontVersion = 50000;      // 0.5.0.0
constexpr identity::FirmwareVersionNumber kTouchAdvancedVersion = 1000000; // 1.0.0.0, settings 1..12

// One advanced setting: its controller register, the largest value accepted, and how the value
// is converted on its way to the register.
struct AdvancedSetting {
    enum class Conversion : uint8_t {
        None,
        TimesFour, // sent × 4, read back ÷ 4
        OnOff,     // 0 sent as 0, anything else as 1
    };
    uint8_t reg;
    uint16_t max;
    Conversion conversion;
};

constexpr uint32_t kAdvancedSettingCount = 12; // settings 0..11; 12 is known but not supported
constexpr uint32_t kAdvancedSettingUnsupported = 12;

constexpr AdvancedSetting kAdvancedSettings[kAdvancedSettingCount] = {
    {4, 0xFFFF, AdvancedSetting::Conversion::None},
    {5, 4095, AdvancedSetting::Conversion::None},
    {6, 4095, AdvancedSetting::Conversion::None},
    {7, 16383, AdvancedSetting::Conversion::TimesFour},
    {8, 16383, AdvancedSetting::Conversion::TimesFour},
    {9, 16383, AdvancedSetting::Conversion::TimesFour},
    {11, 16383, AdvancedSetting::Conversion::TimesFour},
    {10, 32767, AdvancedSetting::Conversion::None},
    {12, 0xFFFF, AdvancedSetting::Conversion::OnOff},
    {13, 32767, AdvancedSetting::Conversion::None},
    {14, 0xFFFF, AdvancedSetting::Conversion::None},
    {19, 0xFFFF, AdvancedSetting::Conversion::None},
};

class TouchScreen_Imp final : public Varnholtstad::TouchScreen {
public:
    TouchScreen_Imp();

    ErrorCode getMode(int32_t* mode) override;
    ErrorCode getMouseRightClickTime(uint16_t* time) override;
    ErrorCode setMode(int32_t mode) override;
    ErrorCode setMouseRightClickTime(uint16_t time) override;
    ErrorCode setAdvancedSetting(int32_t setting, uint16_t value) override;
    ErrorCode getAdvancedSetting(int32_t setting, uint16_t* value) override;
    void release() override;

private:
    // The checks before a mode or right-click request: driver, support, front version.
    ErrorCode checkBasic() const;
    // The checks before an advanced setting's request: support, version, setting number.
    ErrorCode checkAdvanced(int32_t setting, const AdvancedSetting** entry) const;

    frame::DriverChannel channel_;
    bool supported_ = true;
    identity::FirmwareVersionNumber frontVersion_ = 0;
};

} // namespace tavik::signals
