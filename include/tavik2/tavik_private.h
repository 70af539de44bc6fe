// Service interface for production and service tools: identity records, the system supervisor's
// word store, settings file keys and the automatic backlight controller.
#pragma once

#include "defs.h"
#include "error_code.h"

namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct TavikPrivate {
    virtual ErrorCode getEepromProperty(bool addOn, const char* key, char* buffer, int32_t length) = 0;
    virtual ErrorCode setEepromProperty(bool addOn, const char* key, const char* value) = 0;
    virtual ErrorCode getFromSmart(int8_t index, uint16_t* value) = 0;
    virtual ErrorCode setToSmart(int8_t index, uint16_t value) = 0;
    virtual ErrorCode automaticBacklightInit() = 0;
    virtual ErrorCode setFileSetting(const char* key, const char* value) = 0;
    virtual ErrorCode getFileSetting(const char* key, char* buffer, int32_t length) = 0;
    virtual ErrorCode resumeVideo() = 0;
    virtual ErrorCode getBacklightButtonStatus(int32_t button, int32_t* status) = 0;
    virtual ErrorCode updateBLPotentionmeterConstant() = 0;
    virtual ErrorCode getFromSmart2(uint16_t index, uint16_t* value) = 0;
    virtual ErrorCode setToSmart2(uint16_t index, uint16_t value) = 0;
    virtual ErrorCode resetDiagnosticData() = 0;
    virtual ErrorCode resetMPDiagnosticData() = 0;
    virtual ErrorCode getExtPwrStatus(int32_t input, int32_t* status) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Varnholtstad::TavikPrivate* TAVIK_CALL GetTavikPrivate(void);

// Stops the object's automatic backlight controller, closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL TavikPrivate_release(Varnholtstad::TavikPrivate* handle);

// Value of an identity record of the add-on (addOn true) or main EEPROM; length counts the terminating zero.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getEepromProperty(Varnholtstad::TavikPrivate* handle, bool addOn,
    const char* key, char* buffer, int32_t length);

// Replaces the value of an existing identity record; any failure, also an absent key: ERR_EEPROM (18).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setEepromProperty(Varnholtstad::TavikPrivate* handle, bool addOn,
    const char* key, const char* value);

// Reads word index (at most 95) of the supervisor's word store.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFromSmart(Varnholtstad::TavikPrivate* handle, int8_t index,
    uint16_t* value);

// Writes word index (at most 95) of the supervisor's word store.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setToSmart(Varnholtstad::TavikPrivate* handle, int8_t index,
    uint16_t value);

// Starts this object's automatic backlight controller; already running: ERR_INIT_FAILED (13).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_automaticBacklightInit(Varnholtstad::TavikPrivate* handle);

// Sets a key of the shared settings file; always succeeds.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setFileSetting(Varnholtstad::TavikPrivate* handle,
    const char* key, const char* value);

// Value of a settings file key (length counts the zero); missing or empty: ERR_COMMAND_FAILED (17).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFileSetting(Varnholtstad::TavikPrivate* handle,
    const char* key, char* buffer, int32_t length);

// Always ERR_NOT_SUPPORTED (2).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resumeVideo(Varnholtstad::TavikPrivate* handle);

// Always ERR_NOT_SUPPORTED (2); writes nothing.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getBacklightButtonStatus(Varnholtstad::TavikPrivate* handle,
    int32_t button, int32_t* status);

// Always ERR_NOT_SUPPORTED (2).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_updateBLPotentionmeterConstant(Varnholtstad::TavikPrivate* handle);

// Reads word index 0..749 of the word store; needs supervisor firmware 1.3.0.0.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFromSmart2(Varnholtstad::TavikPrivate* handle, uint16_t index,
    uint16_t* value);

// Writes word index 0..749 of the word store; needs supervisor firmware 1.3.0.0.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setToSmart2(Varnholtstad::TavikPrivate* handle, uint16_t index,
    uint16_t value);

// Always ERR_NOT_SUPPORTED (2).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resetDiagnosticData(Varnholtstad::TavikPrivate* handle);

// Always ERR_NOT_SUPPORTED (2).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resetMPDiagnosticData(Varnholtstad::TavikPrivate* handle);

// Always ERR_NOT_SUPPORTED (2); writes nothing.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getExtPwrStatus(Varnholtstad::TavikPrivate* handle, int32_t input,
    int32_t* status);
