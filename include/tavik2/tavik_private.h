/// \file
/// Service interface for production and service tools: identity records, the system supervisor's
/// word store, settings file keys and the automatic backlight controller.
///
/// Word store reads and writes give driver codes; a read whose reply names another word gives
/// ERR_DATATYPE_MISMATCH.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
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

typedef Varnholtstad::TavikPrivate Tavik2TavikPrivate;
#else
/// Handle of a TavikPrivate object (Varnholtstad::TavikPrivate in C++).
typedef struct Tavik2TavikPrivate Tavik2TavikPrivate;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2TavikPrivate* TAVIK_CALL GetTavikPrivate(void);

/// Stops the object's automatic backlight controller, closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL TavikPrivate_release(Tavik2TavikPrivate* handle);

/// Value of an identity record of the add-on (addOn true) or main EEPROM (text out).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null key or buffer), ERR_EEPROM (no such record),
/// ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getEepromProperty(Tavik2TavikPrivate* handle, bool addOn,
    const char* key, char* buffer, int32_t length);

/// Replaces the value of an existing identity record. The EEPROM is read again and the one
/// record changed in what it holds, under the I2C lock, so updates of other records by other
/// processes are kept; only the 32-byte pages that differ are written. As with any EEPROM write,
/// a power loss or a killed process during those writes can leave the records damaged (some
/// pages old, some new): write identity records only on a unit with a steady supply.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null key or value), ERR_EEPROM (any other failure, also an
/// absent key or an unstorable value).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setEepromProperty(Tavik2TavikPrivate* handle, bool addOn,
    const char* key, const char* value);

/// Reads word index 0..95 of the supervisor's word store.
/// \return ERR_SUCCESS, ERR_INVALID_DATA (index out of range), ERR_OPEN_FAILED, ERR_INVALID_PARAMETER
/// (null value), driver codes, ERR_DATATYPE_MISMATCH.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFromSmart(Tavik2TavikPrivate* handle, int8_t index,
    uint16_t* value);

/// Writes word index 0..95 of the supervisor's word store.
/// \return ERR_SUCCESS, ERR_INVALID_DATA (index out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setToSmart(Tavik2TavikPrivate* handle, int8_t index,
    uint16_t value);

/// Starts this object's automatic backlight controller.
/// \return ERR_SUCCESS, ERR_INIT_FAILED (already running), ERR_MEMORY_ALLOCATION, ERR_CREATE_THREAD.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_automaticBacklightInit(Tavik2TavikPrivate* handle);

/// Sets a key of the shared settings file.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null key or value), ERR_DEVICE_WRITE_DATA_FAILED (the
/// file could not be written and keeps its old content).
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setFileSetting(Tavik2TavikPrivate* handle,
    const char* key, const char* value);

/// Value of a settings file key (text out).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null key or buffer), ERR_COMMAND_FAILED (missing or empty),
/// ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFileSetting(Tavik2TavikPrivate* handle,
    const char* key, char* buffer, int32_t length);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resumeVideo(Tavik2TavikPrivate* handle);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always; writes nothing.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getBacklightButtonStatus(Tavik2TavikPrivate* handle,
    int32_t button, int32_t* status);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_updateBLPotentionmeterConstant(Tavik2TavikPrivate* handle);

/// Reads word index 0..749 of the word store; needs supervisor firmware 1.3.0.0.
/// \return ERR_SUCCESS, ERR_NEWER_SS_VERSION_REQUIRED, ERR_INVALID_DATA (index out of range),
/// ERR_OPEN_FAILED, ERR_INVALID_PARAMETER (null value), driver codes, ERR_DATATYPE_MISMATCH.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getFromSmart2(Tavik2TavikPrivate* handle, uint16_t index,
    uint16_t* value);

/// Writes word index 0..749 of the word store; needs supervisor firmware 1.3.0.0.
/// \return ERR_SUCCESS, ERR_NEWER_SS_VERSION_REQUIRED, ERR_INVALID_DATA (index out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_setToSmart2(Tavik2TavikPrivate* handle, uint16_t index,
    uint16_t value);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resetDiagnosticData(Tavik2TavikPrivate* handle);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_resetMPDiagnosticData(Tavik2TavikPrivate* handle);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always; writes nothing.
TAVIK_API ErrorCode TAVIK_CALL TavikPrivate_getExtPwrStatus(Tavik2TavikPrivate* handle, int32_t input,
    int32_t* status);
