#include "signals/touch_screen.h"

#include "frame/handle.h"
#include "identity/fitted_hardware.h"
#include "signals/touch_register.h"

namespace tavik::signals {

// Front version, then the driver, then what is fitted: a display and a touch screen, an
// unanswerable question counting as yes.
TouchScreen_Imp::TouchScreen_Imp() {
    identity::getFrontVersionNumber(&frontVersion_);
    channel_.open();
    supported_ = identity::touchScreenFitted();
}

void TouchScreen_Imp::release() { delete this; }

ErrorCode TouchScreen_Imp::checkBasic() const {
    if (!channel_.isOpen()) return ERR_OPEN_FAILED;
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (frontVersion_ < kTouchFrontVersion) return ERR_NEWER_FRONT_VERSION_REQUIRED;
    return ERR_SUCCESS;
}

ErrorCode TouchScreen_Imp::getMode(int32_t* mode) {
    if (mode == nullptr) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = checkBasic(); e != ERR_SUCCESS) return e;
    uint8_t reply = 0;
    if (const ErrorCode e = channel_.read(kReqGetTouchMode, &reply, 1); e != ERR_SUCCESS) return e;
    if (reply > 3) return ERR_INVALID_DATA;
    *mode = reply;
    return ERR_SUCCESS;
}

ErrorCode TouchScreen_Imp::setMode(int32_t mode) {
    if (const ErrorCode e = checkBasic(); e != ERR_SUCCESS) return e;
    const uint8_t request = static_cast<uint8_t>(mode & 3);
    return channel_.write(kReqSetTouchMode, &request, 1);
}

ErrorCode TouchScreen_Imp::getMouseRightClickTime(uint16_t* time) {
    if (time == nullptr) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = checkBasic(); e != ERR_SUCCESS) return e;
    uint8_t reply[2] = {};
    if (const ErrorCode e = channel_.read(kReqGetRightClickTime, reply, sizeof reply); e != ERR_SUCCESS)
        return e;
    *time = static_cast<uint16_t>(reply[0] | reply[1] << 8);
    return ERR_SUCCESS;
}

ErrorCode TouchScreen_Imp::setMouseRightClickTime(uint16_t time) {
    if (const ErrorCode e = checkBasic(); e != ERR_SUCCESS) return e;
    const uint8_t request[2] = {static_cast<uint8_t>(time), static_cast<uint8_t>(time >> 8)};
    return channel_.write(kReqSetRightClickTime, request, sizeof request);
}

// Support, then the version the setting needs, then the setting number (taken as unsigned).
ErrorCode TouchScreen_Imp::checkAdvanced(int32_t setting, const AdvancedSetting** entry) const {
    if (!supported_) return ERR_NOT_SUPPORTED;
    const auto number = static_cast<uint32_t>(setting);
    const identity::FirmwareVersionNumber needed = number == 0 ? kTouchFrontVersion : kTouchAdvancedVersion;
    if (frontVersion_ < needed) return ERR_NEWER_FRONT_VERSION_REQUIRED;
    if (number == kAdvancedSettingUnsupported) return ERR_NOT_SUPPORTED;
    if (number >= kAdvancedSettingCount) return ERR_INVALID_DATA;
    *entry = &kAdvancedSettings[number];
    return ERR_SUCCESS;
}

ErrorCode TouchScreen_Imp::setAdvancedSetting(int32_t setting, uint16_t value) {
    const AdvancedSetting* s = nullptr;
    if (const ErrorCode e = checkAdvanced(setting, &s); e != ERR_SUCCESS) return e;
    if (value > s->max) return ERR_INVALID_DATA;
    uint16_t sent = value;
    switch (s->conversion) {
    case AdvancedSetting::Conversion::None: break;
    case AdvancedSetting::Conversion::TimesFour: sent = static_cast<uint16_t>(value << 2); break;
    case AdvancedSetting::Conversion::OnOff: sent = value != 0 ? 1 : 0; break;
    }
    return writeTouchRegister(channel_, s->reg, sent);
}

ErrorCode TouchScreen_Imp::getAdvancedSetting(int32_t setting, uint16_t* value) {
    if (value == nullptr) return ERR_INVALID_PARAMETER;
    const AdvancedSetting* s = nullptr;
    if (const ErrorCode e = checkAdvanced(setting, &s); e != ERR_SUCCESS) return e;
    uint16_t stored = 0;
    if (const ErrorCode e = readTouchRegister(channel_, s->reg, &stored); e != ERR_SUCCESS) return e;
    if (s->conversion == AdvancedSetting::Conversion::TimesFour) stored >>= 2;
    *value = stored;
    return ERR_SUCCESS;
}

} // namespace tavik::signals

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::TouchScreen;

TAVIK_API TouchScreen* TAVIK_CALL GetTouchScreen(void) {
    return tavik::frame::createFresh<tavik::signals::TouchScreen_Imp>();
}
TAVIK_API void TAVIK_CALL TouchScreen_release(TouchScreen* h) {
    tavik::frame::forwardRelease<Family::TouchScreen>(h);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getMode(TouchScreen* h, int32_t* mode) {
    return forward<Family::TouchScreen>(h, &TouchScreen::getMode, mode);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getMouseRightClickTime(TouchScreen* h, uint16_t* time) {
    return forward<Family::TouchScreen>(h, &TouchScreen::getMouseRightClickTime, time);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setMode(TouchScreen* h, int32_t mode) {
    return forward<Family::TouchScreen>(h, &TouchScreen::setMode, mode);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setMouseRightClickTime(TouchScreen* h, uint16_t time) {
    return forward<Family::TouchScreen>(h, &TouchScreen::setMouseRightClickTime, time);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setAdvancedSetting(TouchScreen* h, int32_t setting, uint16_t value) {
    return forward<Family::TouchScreen>(h, &TouchScreen::setAdvancedSetting, setting, value);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getAdvancedSetting(TouchScreen* h, int32_t setting, uint16_t* value) {
    return forward<Family::TouchScreen>(h, &TouchScreen::getAdvancedSetting, setting, value);
}
