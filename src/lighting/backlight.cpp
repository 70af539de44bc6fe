#include "lighting/backlight.h"

#include <string>
#include <utility>
#include <vector>

#include "frame/cross_process_lock.h"
#include "frame/handle.h"
#include "frame/service_control.h"
#include "frame/settings_file.h"
#include "identity/fitted_hardware.h"
#include "lighting/abl_settings.h"
#include "platform/sync.h"

namespace tavik::lighting {
namespace {

constexpr uint32_t kGetStatus = frame::requestCode(0x908);

const char* onOff(bool on) { return on ? "1" : "0"; }

} // namespace

Backlight_Imp::Backlight_Imp() {
    channel_.open();
    supported_ = identity::displayFitted();
    settingsChanged_ = frame::createCrossProcessLock(kSettingsChangedSemaphore);
}

Backlight_Imp::~Backlight_Imp() {
    platform::closeSemaphore(settingsChanged_);
    channel_.close();
}

void Backlight_Imp::release() { frame::SharedInstance<Backlight_Imp>::releaseShared(); }

void Backlight_Imp::announceSettings() {
    // A count already there (nobody has woken yet) stays one: the release then fails harmlessly.
    if (settingsChanged_) platform::releaseSemaphore(settingsChanged_, 1);
}

ErrorCode Backlight_Imp::getIntensity(uint8_t* level) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (level == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t value = 0;
    const ErrorCode e = channel_.read(kGetLevel, &value, 1);
    if (e == ERR_SUCCESS) *level = value;
    return e;
}

ErrorCode Backlight_Imp::setIntensity(uint8_t level) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    return channel_.write(kSetLevel, &level, 1);
}

ErrorCode Backlight_Imp::getStatus(uint8_t* status) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (status == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t value = 0;
    const ErrorCode e = channel_.read(kGetStatus, &value, 1);
    if (e == ERR_SUCCESS) *status = value;
    return e;
}

ErrorCode Backlight_Imp::getHWStatus(bool* ok) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (ok == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t value = 0;
    const ErrorCode e = channel_.read(kGetStatus, &value, 1);
    if (e == ERR_SUCCESS) *ok = backlightStatusOk(value);
    return e;
}

ErrorCode Backlight_Imp::storeSettings(const std::vector<std::pair<std::string, std::string>>& changes) {
    bool written = false;
    {
        frame::SettingsFile store;
        store.load();
        written = store.set(changes);
    }
    // Nothing changed: the controller has nothing new to read.
    if (!written) return ERR_DEVICE_WRITE_DATA_FAILED;
    announceSettings();
    return ERR_SUCCESS;
}

ErrorCode Backlight_Imp::startAutomaticBL() {
    if (!supported_) return ERR_NOT_SUPPORTED;
    return storeSettings({{kKeyStatus, "1"}});
}

ErrorCode Backlight_Imp::stopAutomaticBL() {
    if (!supported_) return ERR_NOT_SUPPORTED;
    return storeSettings({{kKeyStatus, "0"}});
}

ErrorCode Backlight_Imp::getAutomaticBLStatus(bool* enabled) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (enabled == nullptr) return ERR_INVALID_PARAMETER;
    frame::SettingsFile store;
    store.load();
    int32_t value = 0;
    const ErrorCode e = store.getInt(kKeyStatus, value);
    *enabled = e == ERR_SUCCESS && value != 0; // an unreadable key reads as off
    return e;
}

ErrorCode Backlight_Imp::setAutomaticBLParams(bool bSoftTransitions) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    return storeSettings({{kKeySoftTransitions, onOff(bSoftTransitions)}});
}

ErrorCode Backlight_Imp::getAutomaticBLParams(bool* bSoftTransitions, double* k) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (bSoftTransitions == nullptr || k == nullptr) return ERR_INVALID_PARAMETER;
    frame::SettingsFile store;
    store.load();
    int32_t soft = 0;
    if (const ErrorCode e = store.getInt(kKeySoftTransitions, soft); e != ERR_SUCCESS) return e;
    *bSoftTransitions = soft != 0;
    double factor = 0;
    if (const ErrorCode e = store.getDouble(kKeyK, factor); e != ERR_SUCCESS) return e;
    *k = factor;
    return ERR_SUCCESS;
}

ErrorCode Backlight_Imp::setAutomaticBLFilter(int32_t averageWndSize, int32_t rejectWndSize,
                                              int32_t rejectDeltaInLux, int32_t mode) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    // Every value is formatted before anything is written.
    const std::pair<const char*, int32_t> values[] = {{kKeyAverageWndSize, averageWndSize},
                                                      {kKeyRejectWndSize, rejectWndSize},
                                                      {kKeyRejectDeltaInLux, rejectDeltaInLux},
                                                      {kKeyMode, mode}};
    std::vector<std::pair<std::string, std::string>> changes;
    for (const auto& [key, value] : values) {
        std::string text;
        if (const ErrorCode e = frame::formatInt(value, text); e != ERR_SUCCESS) return e;
        changes.emplace_back(key, text);
    }
    // The four keys in one rewrite: a failed write leaves all four as they were.
    return storeSettings(changes);
}

ErrorCode Backlight_Imp::getAutomaticBLFilter(int32_t* averageWndSize, int32_t* rejectWndSize,
                                              int32_t* rejectDeltaInLux, int32_t* mode) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (averageWndSize == nullptr || rejectWndSize == nullptr || rejectDeltaInLux == nullptr || mode == nullptr)
        return ERR_INVALID_PARAMETER;
    frame::SettingsFile store;
    store.load();
    // Parse order: a failure leaves that value and the later ones unwritten.
    const std::pair<const char*, int32_t*> targets[] = {{kKeyMode, mode},
                                                        {kKeyAverageWndSize, averageWndSize},
                                                        {kKeyRejectWndSize, rejectWndSize},
                                                        {kKeyRejectDeltaInLux, rejectDeltaInLux}};
    for (const auto& [key, target] : targets) {
        int32_t value = 0;
        if (const ErrorCode e = store.getInt(key, value); e != ERR_SUCCESS) return e;
        *target = value;
    }
    return ERR_SUCCESS;
}

ErrorCode Backlight_Imp::getLedDimming(int32_t* enabled) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (enabled == nullptr) return ERR_INVALID_PARAMETER;
    frame::SettingsFile store;
    store.load();
    const std::string text = store.get(kKeyLedDimming);
    int32_t value = 0;
    // Never set: dimming is on. Text that is not a number counts as off.
    *enabled = text.empty() || (frame::parseInt(text, value) == ERR_SUCCESS && value == 1) ? 1 : 0;
    return ERR_SUCCESS;
}

ErrorCode Backlight_Imp::setLedDimming(int32_t enabled) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    bool written = false;
    {
        frame::SettingsFile store;
        store.load();
        written = store.set(kKeyLedDimming, onOff(enabled == 1));
    }
    // The service would apply the old value: it is not told.
    if (!written) return ERR_DEVICE_WRITE_DATA_FAILED;
    // The service applies the setting to the front LED.
    return frame::serviceControlError(frame::sendServiceControl(frame::kServiceApplyLedDimming));
}

} // namespace tavik::lighting

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::Backlight;

TAVIK_API Backlight* TAVIK_CALL GetBacklight(void) {
    return tavik::frame::SharedInstance<tavik::lighting::Backlight_Imp>::acquire();
}

TAVIK_API void TAVIK_CALL Backlight_release(Backlight* h) { tavik::frame::forwardRelease<Family::Backlight>(h); }

TAVIK_API ErrorCode TAVIK_CALL Backlight_getIntensity(Backlight* h, uint8_t* level) {
    return forward<Family::Backlight>(h, &Backlight::getIntensity, level);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_setIntensity(Backlight* h, uint8_t level) {
    return forward<Family::Backlight>(h, &Backlight::setIntensity, level);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_getStatus(Backlight* h, uint8_t* status) {
    return forward<Family::Backlight>(h, &Backlight::getStatus, status);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_startAutomaticBL(Backlight* h) {
    return forward<Family::Backlight>(h, &Backlight::startAutomaticBL);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_stopAutomaticBL(Backlight* h) {
    return forward<Family::Backlight>(h, &Backlight::stopAutomaticBL);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLStatus(Backlight* h, bool* enabled) {
    return forward<Family::Backlight>(h, &Backlight::getAutomaticBLStatus, enabled);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_setAutomaticBLParams(Backlight* h, bool bSoftTransitions) {
    return forward<Family::Backlight>(h, &Backlight::setAutomaticBLParams, bSoftTransitions);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLParams(Backlight* h, bool* bSoftTransitions, double* k) {
    return forward<Family::Backlight>(h, &Backlight::getAutomaticBLParams, bSoftTransitions, k);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_setAutomaticBLFilter(Backlight* h, int32_t averageWndSize,
                                                              int32_t rejectWndSize, int32_t rejectDeltaInLux,
                                                              int32_t mode) {
    return forward<Family::Backlight>(h, &Backlight::setAutomaticBLFilter, averageWndSize, rejectWndSize,
                                      rejectDeltaInLux, mode);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLFilter(Backlight* h, int32_t* averageWndSize,
                                                              int32_t* rejectWndSize, int32_t* rejectDeltaInLux,
                                                              int32_t* mode) {
    return forward<Family::Backlight>(h, &Backlight::getAutomaticBLFilter, averageWndSize, rejectWndSize,
                                      rejectDeltaInLux, mode);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_getLedDimming(Backlight* h, int32_t* enabled) {
    return forward<Family::Backlight>(h, &Backlight::getLedDimming, enabled);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_setLedDimming(Backlight* h, int32_t enabled) {
    return forward<Family::Backlight>(h, &Backlight::setLedDimming, enabled);
}
TAVIK_API ErrorCode TAVIK_CALL Backlight_getHWStatus(Backlight* h, bool* ok) {
    return forward<Family::Backlight>(h, &Backlight::getHWStatus, ok);
}
