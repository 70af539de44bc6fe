// Digital inputs of the unit.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct DigIO {
    virtual ErrorCode getDigIO(uint8_t* inputs) = 0;
    virtual ErrorCode setDigIO(int32_t outputs) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::DigIO Tavik2DigIO;
#else
typedef struct Tavik2DigIO Tavik2DigIO;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2DigIO* TAVIK_CALL GetDigIO(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL DigIO_release(Tavik2DigIO* handle);

// Input states in bits 0..3; ERR_NOT_SUPPORTED (2) without digital I/O.
TAVIK_API ErrorCode TAVIK_CALL DigIO_getDigIO(Tavik2DigIO* handle, uint8_t* inputs);

// Always ERR_NOT_SUPPORTED (2); nothing is written.
TAVIK_API ErrorCode TAVIK_CALL DigIO_setDigIO(Tavik2DigIO* handle, int32_t outputs);
