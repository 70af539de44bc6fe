/// \file
/// Touch controller calibration: calibration mode, calibration points and parameters.
/// Requests to the controller give driver codes.
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
/// Handle of a TouchScreenCalib object (Varnholtstad::TouchScreenCalib in C++).
typedef struct Tavik2TouchScreenCalib Tavik2TouchScreenCalib;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2TouchScreenCalib* TAVIK_CALL GetTouchScreenCalib(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL TouchScreenCalib_release(Tavik2TouchScreenCalib* handle);

/// Calibration mode 1..4.
/// \return ERR_SUCCESS, ERR_INVALID_DATA (out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setMode(Tavik2TouchScreenCalib* handle, int32_t mode);

/// Calibration mode 1..4, 0 for any other controller state.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null mode), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_getMode(Tavik2TouchScreenCalib* handle,
    int32_t* mode);

/// Starts the calibration of one point (highest number depends on the mode).
/// \return ERR_SUCCESS, ERR_NOT_RUNNING (no calibration mode), ERR_INVALID_DATA (point too high), driver
/// codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setCalibrationPoint(Tavik2TouchScreenCalib* handle,
    uint8_t point);

/// Whether the calibration of point is done.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null finished), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_checkCalibrationPointFinished(Tavik2TouchScreenCalib* handle,
    bool* finished, uint8_t point);

/// Calibration parameter 0..5.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null value), ERR_INVALID_DATA (out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_getConfigParam(Tavik2TouchScreenCalib* handle,
    int32_t param, uint16_t* value);

/// Calibration parameter 0..5.
/// \return ERR_SUCCESS, ERR_INVALID_DATA (out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setConfigParam(Tavik2TouchScreenCalib* handle,
    int32_t param, uint16_t value);
