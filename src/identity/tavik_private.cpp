#include "identity/tavik_private.h"

#include "frame/handle.h"
#include "frame/settings_file.h"
#include "identity/smart_words.h"
#include "identity/text_out.h"
#include "lighting/backlight_controller.h"

namespace tavik::identity {

TavikPrivate_Imp::TavikPrivate_Imp() : controller_(std::make_unique<lighting::BacklightController>()) {
    getSsVersionNumber(&ssVersion_);
    channel_.open();
    main_ = acquireEepromImage(kMainEeprom);
    addOn_ = acquireEepromImage(kAddOnEeprom);
}

// The add-on image before the main one, then the driver, and last the controller (its
// destructor stops the thread and the light-sensor averaging).
TavikPrivate_Imp::~TavikPrivate_Imp() {
    releaseEepromImage(kAddOnEeprom);
    releaseEepromImage(kMainEeprom);
    channel_.close();
    controller_.reset();
}

void TavikPrivate_Imp::release() { delete this; }

ErrorCode TavikPrivate_Imp::getEepromProperty(bool addOn, const char* key, char* buffer, int32_t length) {
    if (key == nullptr) return ERR_INVALID_PARAMETER;
    char value[kMaxValueLength + 1] = {};
    const EepromImage* img = image(addOn);
    if (img == nullptr || !img->getProperty(key, value)) return ERR_EEPROM;
    return deliverText(value, buffer, length);
}

ErrorCode TavikPrivate_Imp::setEepromProperty(bool addOn, const char* key, const char* value) {
    if (key == nullptr || value == nullptr) return ERR_INVALID_PARAMETER;
    EepromImage* img = image(addOn);
    return img != nullptr && img->setProperty(key, value) ? ERR_SUCCESS : ERR_EEPROM;
}

ErrorCode TavikPrivate_Imp::admitShortIndex(int8_t index) const {
    if (index < 0 || index > kShortStoreLastWord) return ERR_INVALID_DATA;
    return channel_.isOpen() ? ERR_SUCCESS : ERR_OPEN_FAILED;
}

ErrorCode TavikPrivate_Imp::getFromSmart(int8_t index, uint16_t* value) {
    if (const ErrorCode e = admitShortIndex(index); e != ERR_SUCCESS) return e;
    if (value == nullptr) return ERR_INVALID_PARAMETER;
    return requestStoreWord(channel_, static_cast<uint16_t>(index), *value);
}

ErrorCode TavikPrivate_Imp::setToSmart(int8_t index, uint16_t value) {
    if (const ErrorCode e = admitShortIndex(index); e != ERR_SUCCESS) return e;
    return requestStoreWordWrite(channel_, static_cast<uint16_t>(index), value);
}

ErrorCode TavikPrivate_Imp::getFromSmart2(uint16_t index, uint16_t* value) {
    if (const ErrorCode e = admitStoreWord(channel_, ssVersion_, index); e != ERR_SUCCESS) return e;
    if (value == nullptr) return ERR_INVALID_PARAMETER;
    return requestStoreWord(channel_, index, *value);
}

ErrorCode TavikPrivate_Imp::setToSmart2(uint16_t index, uint16_t value) {
    if (const ErrorCode e = admitStoreWord(channel_, ssVersion_, index); e != ERR_SUCCESS) return e;
    return requestStoreWordWrite(channel_, index, value);
}

ErrorCode TavikPrivate_Imp::automaticBacklightInit() {
    return controller_ ? controller_->start() : ERR_INIT_FAILED;
}

// A file that cannot be written keeps its old content and gives ERR_DEVICE_WRITE_DATA_FAILED.
ErrorCode TavikPrivate_Imp::setFileSetting(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) return ERR_INVALID_PARAMETER;
    frame::SettingsFile store;
    store.load();
    return frame::storeResult(store.set(key, value));
}

// The value must be shorter than the buffer length (room for its zero).
ErrorCode TavikPrivate_Imp::getFileSetting(const char* key, char* buffer, int32_t length) {
    if (key == nullptr || buffer == nullptr) return ERR_INVALID_PARAMETER;
    std::string value;
    {
        frame::SettingsFile store;
        store.load();
        value = store.get(key);
    }
    if (value.empty()) return ERR_COMMAND_FAILED;
    return deliverText(value.c_str(), buffer, length);
}

// Not backed by hardware on this unit.
ErrorCode TavikPrivate_Imp::resumeVideo() { return ERR_NOT_SUPPORTED; }
ErrorCode TavikPrivate_Imp::getBacklightButtonStatus(int32_t, int32_t*) { return ERR_NOT_SUPPORTED; }
ErrorCode TavikPrivate_Imp::updateBLPotentionmeterConstant() { return ERR_NOT_SUPPORTED; }
ErrorCode TavikPrivate_Imp::resetDiagnosticData() { return ERR_NOT_SUPPORTED; }
ErrorCode TavikPrivate_Imp::resetMPDiagnosticData() { return ERR_NOT_SUPPORTED; }
ErrorCode TavikPrivate_Imp::getExtPwrStatus(int32_t, int32_t*) { return ERR_NOT_SUPPORTED; }

} // namespace tavik::identity

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::TavikPrivate;

TAVIK_API TavikPrivate* TAVIK_CALL GetTavikPrivate(void) {
    return tavik::frame::createFresh<tavik::identity::TavikPrivate_Imp>();
}

TAVIK_API void TAVIK_CALL TavikPrivate_release(TavikPrivate* h) {
    tavik::frame::forwardRelease<Family::TavikPrivate>(h);
}

TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getEepromProperty(TavikPrivate* h, bool addOn, const char* key,
                                                              char* buffer, int32_t length) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::getEepromProperty, addOn, key, buffer, length);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setEepromProperty(TavikPrivate* h, bool addOn, const char* key,
                                                              const char* value) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::setEepromProperty, addOn, key, value);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFromSmart(TavikPrivate* h, int8_t index, uint16_t* value) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::getFromSmart, index, value);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setToSmart(TavikPrivate* h, int8_t index, uint16_t value) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::setToSmart, index, value);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_automaticBacklightInit(TavikPrivate* h) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::automaticBacklightInit);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setFileSetting(TavikPrivate* h, const char* key, const char* value) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::setFileSetting, key, value);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFileSetting(TavikPrivate* h, const char* key, char* buffer,
                                                           int32_t length) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::getFileSetting, key, buffer, length);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resumeVideo(TavikPrivate* h) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::resumeVideo);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getBacklightButtonStatus(TavikPrivate* h, int32_t button,
                                                                     int32_t* status) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::getBacklightButtonStatus, button, status);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_updateBLPotentionmeterConstant(TavikPrivate* h) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::updateBLPotentionmeterConstant);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFromSmart2(TavikPrivate* h, uint16_t index, uint16_t* value) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::getFromSmart2, index, value);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setToSmart2(TavikPrivate* h, uint16_t index, uint16_t value) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::setToSmart2, index, value);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resetDiagnosticData(TavikPrivate* h) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::resetDiagnosticData);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resetMPDiagnosticData(TavikPrivate* h) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::resetMPDiagnosticData);
}
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getExtPwrStatus(TavikPrivate* h, int32_t input, int32_t* status) {
    return forward<Family::TavikPrivate>(h, &TavikPrivate::getExtPwrStatus, input, status);
}
