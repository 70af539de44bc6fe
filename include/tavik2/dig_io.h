/// \file
/// Digital inputs of the unit.
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
/// Handle of a DigIO object (Varnholtstad::DigIO in C++).
typedef struct Tavik2DigIO Tavik2DigIO;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2DigIO* TAVIK_CALL GetDigIO(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL DigIO_release(Tavik2DigIO* handle);

/// Input states in bits 0..3.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED (no digital I/O), ERR_INVALID_PARAMETER (null inputs), driver
/// codes.
TAVIK_API ErrorCode TAVIK_CALL DigIO_getDigIO(Tavik2DigIO* handle, uint8_t* inputs);

/// The unit has no digital outputs; outputs is not examined.
/// \return ERR_NOT_SUPPORTED always; nothing is written.
TAVIK_API ErrorCode TAVIK_CALL DigIO_setDigIO(Tavik2DigIO* handle, int32_t outputs);
