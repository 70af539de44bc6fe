/// \file
/// Health of the storage device, from the system supervisor's word store.
///
/// Shared by every function here, decided when the object is made and checked first:
/// ERR_NEWER_SS_VERSION_REQUIRED (supervisor firmware older than 1.3.0.0), ERR_NOT_SUPPORTED (no health
/// record), ERR_OPEN_FAILED (driver not open) or another driver code / ERR_DATATYPE_MISMATCH (the
/// record selector could not be read). Word reads give driver codes, or ERR_DATATYPE_MISMATCH when the
/// reply names another word.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Smart {
    virtual ErrorCode getRemainingLifeTime(uint8_t* percent) = 0;
    virtual ErrorCode getDeviceSerial(char* buffer, int32_t length) = 0;
    virtual ErrorCode getInitialTime(int64_t* time) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Smart Tavik2Smart;
#else
/// Handle of a Smart object (Varnholtstad::Smart in C++).
typedef struct Tavik2Smart Tavik2Smart;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Smart* TAVIK_CALL GetSmart(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL Smart_release(Tavik2Smart* handle);

/// Remaining life time 0..100 %; a stored value above 100 gives ERR_NOT_SUPPORTED.
/// \return ERR_SUCCESS, the shared codes, ERR_INVALID_PARAMETER (null percent), driver codes,
/// ERR_DATATYPE_MISMATCH.
TAVIK_API ErrorCode TAVIK_CALL Smart_getRemainingLifeTime(Tavik2Smart* handle, uint8_t* percent);

/// Storage device serial number, 20 characters (text out); length must be at least 21.
/// \return ERR_SUCCESS, the shared codes, ERR_BUFFER_SIZE (length below 21), ERR_INVALID_PARAMETER
/// (null buffer), driver codes, ERR_DATATYPE_MISMATCH.
TAVIK_API ErrorCode TAVIK_CALL Smart_getDeviceSerial(Tavik2Smart* handle, char* buffer,
    int32_t length);

/// Time of first use. A word that cannot be read gives its read's error (time not written).
/// \return ERR_SUCCESS, the shared codes, ERR_INVALID_PARAMETER (null time), driver codes,
/// ERR_INVALID_DATA (never set).
TAVIK_API ErrorCode TAVIK_CALL Smart_getInitialTime(Tavik2Smart* handle, int64_t* time);
