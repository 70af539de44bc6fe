// Touch controller calibration: calibration mode, calibration points and parameters.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct TouchScreenCalib {
    virtual ErrorCode setMode(int32_t mode) = 0;
    virtual ErrorCode getMode(int32_t* mode) = 0;
    virtual ErrorCode setCalibrationPoint(uint8_t point) = 0;
    virtual ErrorCode checkCalibrationPointFinished(bool* finished, uint8_t point) = 0;
    virtual ErrorCode getConfigParam(int32_t param, uint16_t* value) = 0;
    virtual ErrorCode setConfigParam(int32_t param, uint16_t value) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::TouchScreenCalib Tavik2TouchScreenCalib;
#else
typedef struct Tavik2TouchScreenCalib Tavik2TouchScreenCalib;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2TouchScreenCalib* TAVIK_CALL GetTouchScreenCalib(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL TouchScreenCalib_release(Tavik2TouchScreenCalib* handle);

// Calibration mode 1..4.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setMode(Tavik2TouchScreenCalib* handle, int32_t mode);

// Calibration mode 1..4, 0 for any other controller state.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_getMode(Tavik2TouchScreenCalib* handle,
    int32_t* mode);

// Starts the calibration of one point (highest number depends on the mode).
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setCalibrationPoint(Tavik2TouchScreenCalib* handle,
    uint8_t point);

// Whether the calibration of point is done.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_checkCalibrationPointFinished(Tavik2TouchScreenCalib* handle,
    bool* finished, uint8_t point);

// Calibration parameter 0..5, else ERR_INVALID_DATA (8).
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_getConfigParam(Tavik2TouchScreenCalib* handle,
    int32_t param, uint16_t* value);

// Calibration parameter 0..5, else ERR_INVALID_DATA (8).
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setConfigParam(Tavik2TouchScreenCalib* handle,
    int32_t param, uint16_t value);
