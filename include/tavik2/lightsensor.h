// Ambient light sensor: illuminance in lux, operating range, and a background moving average
// sampled every 800 ms (one averaging at a time across all processes).
// Every operation except release returns ERR_NOT_SUPPORTED (2) on a unit without a display.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Lightsensor {
    virtual ErrorCode getIlluminance2(uint16_t* lux, uint8_t* ch0Code, uint8_t* ch1Code) = 0;
    virtual ErrorCode getIlluminance(uint16_t* lux) = 0;
    virtual ErrorCode getAverageIlluminance(uint16_t* lux) = 0;
    virtual ErrorCode startAverageCalc(int32_t averageWndSize, int32_t rejectWndSize,
        int32_t rejectDeltaInLux, int32_t mode) = 0;
    virtual ErrorCode stopAverageCalc() = 0;
    virtual ErrorCode getOperatingRange(int32_t* range) = 0;
    virtual ErrorCode setOperatingRange(int32_t range) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Lightsensor Tavik2Lightsensor;
#else
typedef struct Tavik2Lightsensor Tavik2Lightsensor;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Lightsensor* TAVIK_CALL GetLightsensor(void);

// Stops this object's averaging, closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL Lightsensor_release(Tavik2Lightsensor* handle);

// Illuminance in lux and the raw channel codes; not ready: ERR_INVALID_DATA (8). A failing range read is
// returned after the values are written.
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getIlluminance2(Tavik2Lightsensor* handle, uint16_t* lux,
    uint8_t* ch0Code, uint8_t* ch1Code);

// Illuminance in lux.
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getIlluminance(Tavik2Lightsensor* handle, uint16_t* lux);

// Current moving average in lux; no averaging running: ERR_NOT_RUNNING (21).
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getAverageIlluminance(Tavik2Lightsensor* handle,
    uint16_t* lux);

// Starts the averaging (mode 0 standard, 1 extended, 2 automatic range); another averaging running:
// ERR_AVERAGE_CALC_STARTED (20).
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_startAverageCalc(Tavik2Lightsensor* handle,
    int32_t averageWndSize, int32_t rejectWndSize, int32_t rejectDeltaInLux, int32_t mode);

// Stops this object's averaging and waits for its thread.
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_stopAverageCalc(Tavik2Lightsensor* handle);

// Sensor range: 0 standard, 1 extended.
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getOperatingRange(Tavik2Lightsensor* handle,
    int32_t* range);

// Sensor range 0 or 1; refused while any averaging runs (ERR_AVERAGE_CALC_STARTED (20)).
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_setOperatingRange(Tavik2Lightsensor* handle,
    int32_t range);
