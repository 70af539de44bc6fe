// Health of the storage device, from the system supervisor's word store.
// Needs system supervisor firmware 1.3.0.0 (ERR_NEWER_SS_VERSION_REQUIRED (25)); no health record:
// ERR_NOT_SUPPORTED (2).
#pragma once

#include "defs.h"
#include "error_code.h"

namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Smart {
    virtual ErrorCode getRemainingLifeTime(uint8_t* percent) = 0;
    virtual ErrorCode getDeviceSerial(char* buffer, int32_t length) = 0;
    virtual ErrorCode getInitialTime(int64_t* time) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Varnholtstad::Smart* TAVIK_CALL GetSmart(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL Smart_release(Varnholtstad::Smart* handle);

// Remaining life time 0..100 %.
TAVIK_API ErrorCode TAVIK_CALL Smart_getRemainingLifeTime(Varnholtstad::Smart* handle, uint8_t* percent);

// Storage device serial number, 20 characters; length must be at least 21.
TAVIK_API ErrorCode TAVIK_CALL Smart_getDeviceSerial(Varnholtstad::Smart* handle, char* buffer,
    int32_t length);

// Time of first use; never set: ERR_INVALID_DATA (8).
TAVIK_API ErrorCode TAVIK_CALL Smart_getInitialTime(Varnholtstad::Smart* handle, int64_t* time);
