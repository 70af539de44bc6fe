/// \file
/// Ambient light sensor: illuminance in lux, operating range, and a background moving average
/// sampled every 800 ms (one averaging at a time across all processes).
///
/// Shared by every function here: ERR_NOT_SUPPORTED on a unit without a display (checked first); null
/// out-pointers give ERR_INVALID_PARAMETER; sensor requests give driver codes; a range reading other
/// than 0 or 1 gives ERR_INVALID_DATA.
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
/// Handle of a Lightsensor object (Varnholtstad::Lightsensor in C++).
typedef struct Tavik2Lightsensor Tavik2Lightsensor;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Lightsensor* TAVIK_CALL GetLightsensor(void);

/// Stops this object's averaging, closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL Lightsensor_release(Tavik2Lightsensor* handle);

/// Illuminance in lux and the raw channel codes. A failing range read after the codes
/// were read is returned with all three values written (lux then unscaled for the extended range).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER, ERR_INVALID_DATA (conversion not ready),
/// driver codes; after the codes were read, a failing range read (driver codes, ERR_INVALID_DATA).
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getIlluminance2(Tavik2Lightsensor* handle, uint16_t* lux,
    uint8_t* ch0Code, uint8_t* ch1Code);

/// Illuminance in lux; written as Lightsensor_getIlluminance2 writes it.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER, ERR_INVALID_DATA (conversion not ready),
/// driver codes; after the codes were read, a failing range read (driver codes, ERR_INVALID_DATA).
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getIlluminance(Tavik2Lightsensor* handle, uint16_t* lux);

/// Current moving average in lux (a fresh reading, or 0, before the first sample).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER, ERR_NOT_RUNNING (no averaging of this
/// object
/// running).
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getAverageIlluminance(Tavik2Lightsensor* handle,
    uint16_t* lux);

/// Starts the averaging (mode 0 standard, 1 extended, 2 automatic range); the window
/// sizes and the outlier step are checked first.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_DATA (averageWndSize or rejectDeltaInLux 0, or a
/// window
/// too large), ERR_AVERAGE_CALC_STARTED (an averaging runs anywhere), ERR_INIT_FAILED (no memory for the
/// windows), ERR_CREATE_THREAD, driver codes (range write).
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_startAverageCalc(Tavik2Lightsensor* handle,
    int32_t averageWndSize, int32_t rejectWndSize, int32_t rejectDeltaInLux, int32_t mode);

/// Stops this object's averaging and waits for its thread.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED.
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_stopAverageCalc(Tavik2Lightsensor* handle);

/// Sensor range: 0 standard, 1 extended.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER, ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getOperatingRange(Tavik2Lightsensor* handle,
    int32_t* range);

/// Sensor range 0 or 1.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_AVERAGE_CALC_STARTED (while any averaging runs),
/// ERR_INVALID_PARAMETER (range other than 0 or 1), ERR_OPEN_FAILED, ERR_IOCTRL_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_setOperatingRange(Tavik2Lightsensor* handle,
    int32_t range);
