// Supply voltages measured by the system supervisor.
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
typedef struct Tavik2Adc Tavik2Adc;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Adc* TAVIK_CALL GetAdc(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL Adc_release(Tavik2Adc* handle);

// Volts of supply selector 0..15 (11 needs supervisor firmware 1.0.0.0); unmeasured: ERR_NOT_SUPPORTED (2).
TAVIK_API ErrorCode TAVIK_CALL Adc_getVoltage(Tavik2Adc* handle, int32_t selector, double* voltage);
