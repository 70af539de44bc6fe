#include "signals/touch_screen_calib.h"

#include "frame/handle.h"
#include "signals/touch_register.h"

namespace tavik::signals {
namespace {

bool configRegister(int32_t param, uint8_t* reg) {
    if (param < 0 || param >= kConfigParamCount) return false;
    *reg = kConfigParamRegisters[param];
    return true;
}

} // namespace

TouchScreenCalib_Imp::TouchScreenCalib_Imp() { channel_.open(); }

void TouchScreenCalib_Imp::release() { delete this; }

ErrorCode TouchScreenCalib_Imp::setMode(int32_t mode) {
    if (mode < 1 || mode > kCalibrationModeCount) return ERR_INVALID_DATA;
    const uint8_t request = kCalibrationModes[mode - 1].controllerByte;
    return channel_.requestUnchecked(kReqSetCalibrationMode, &request, 1, nullptr, 0);
}

// A controller byte of no calibration mode is mode 0: not calibrating.
ErrorCode TouchScreenCalib_Imp::getMode(int32_t* mode) {
    if (mode == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reply = 0;
    if (const ErrorCode e = channel_.read(kReqGetCalibrationMode, &reply, 1); e != ERR_SUCCESS) return e;
    *mode = 0;
    for (int32_t m = 1; m <= kCalibrationModeCount; ++m)
        if (kCalibrationModes[m - 1].controllerByte == reply) *mode = m;
    return ERR_SUCCESS;
}

// Two requests: the mode is read to bound the point, then the point is written.
ErrorCode TouchScreenCalib_Imp::setCalibrationPoint(uint8_t point) {
    int32_t mode = 0;
    if (const ErrorCode e = getMode(&mode); e != ERR_SUCCESS) return e;
    if (mode == 0) return ERR_NOT_RUNNING;
    if (point > kCalibrationModes[mode - 1].highestPoint) return ERR_INVALID_DATA;
    return writeTouchRegister(channel_, kCalibrationPointRegister, point);
}

// The controller reports a finished point in the high byte of register 1.
ErrorCode TouchScreenCalib_Imp::checkCalibrationPointFinished(bool* finished, uint8_t point) {
    if (finished == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t value = 0;
    if (const ErrorCode e = readTouchRegister(channel_, kCalibrationPointRegister, &value); e != ERR_SUCCESS)
        return e;
    *finished = (value >> 8) == point;
    return ERR_SUCCESS;
}

ErrorCode TouchScreenCalib_Imp::getConfigParam(int32_t param, uint16_t* value) {
    if (value == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reg = 0;
    if (!configRegister(param, &reg)) return ERR_INVALID_DATA;
    return readTouchRegister(channel_, reg, value);
}

ErrorCode TouchScreenCalib_Imp::setConfigParam(int32_t param, uint16_t value) {
    uint8_t reg = 0;
    if (!configRegister(param, &reg)) return ERR_INVALID_DATA;
    return writeTouchRegister(channel_, reg, value);
}

} // namespace tavik::signals

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::TouchScreenCalib;

TAVIK_API TouchScreenCalib* TAVIK_CALL GetTouchScreenCalib(void) {
    return tavik::frame::createFresh<tavik::signals::TouchScreenCalib_Imp>();
}
TAVIK_API void TAVIK_CALL TouchScreenCalib_release(TouchScreenCalib* h) {
    tavik::frame::forwardRelease<Family::TouchScreenCalib>(h);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setMode(TouchScreenCalib* h, int32_t mode) {
    return forward<Family::TouchScreenCalib>(h, &TouchScreenCalib::setMode, mode);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_getMode(TouchScreenCalib* h, int32_t* mode) {
    return forward<Family::TouchScreenCalib>(h, &TouchScreenCalib::getMode, mode);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setCalibrationPoint(TouchScreenCalib* h, uint8_t point) {
    return forward<Family::TouchScreenCalib>(h, &TouchScreenCalib::setCalibrationPoint, point);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_checkCalibrationPointFinished(TouchScreenCalib* h,
                                                                             bool* finished, uint8_t point) {
    return forward<Family::TouchScreenCalib>(h, &TouchScreenCalib::checkCalibrationPointFinished, finished, point);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_getConfigParam(TouchScreenCalib* h, int32_t param, uint16_t* value) {
    return forward<Family::TouchScreenCalib>(h, &TouchScreenCalib::getConfigParam, param, value);
}
TAVIK_API ErrorCode TAVIK_CALL TouchScreenCalib_setConfigParam(TouchScreenCalib* h, int32_t param, uint16_t value) {
    return forward<Family::TouchScreenCalib>(h, &TouchScreenCalib::setConfigParam, param, value);
}
