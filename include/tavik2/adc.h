/// \file
/// Supply voltages measured by the system supervisor.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Adc {
    virtual ErrorCode getVoltage(int32_t selector, double* voltage) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Adc Tavik2Adc;
#else
/// Handle of an Adc object (Varnholtstad::Adc in C++).
typedef struct Tavik2Adc Tavik2Adc;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Adc* TAVIK_CALL GetAdc(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL Adc_release(Tavik2Adc* handle);

/// Volts of supply selector 0..15 (11 needs supervisor firmware 1.0.0.0).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED (selector out of range, gated, or not measured),
/// ERR_INVALID_PARAMETER (null voltage), driver codes, ERR_DATATYPE_MISMATCH (reply for another selector).
TAVIK_API ErrorCode TAVIK_CALL Adc_getVoltage(Tavik2Adc* handle, int32_t selector, double* voltage);
