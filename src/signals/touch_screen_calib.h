// The TouchScreenCalib family: the touch controller's calibration mode, calibration points and
// calibration parameters.
#pragma once

#include "frame/driver_channel.h"
#include "tavik2/touch_screen_calib.h"

namespace tavik::signals {

constexpr uint32_t kReqSetCalibrationMode = frame::requestCode(0x96C); // in: controller mode byte
constexpr uint32_t kReqGetCalibrationMode = frame::requestCode(0x96D); // out: controller mode byte

// Register 1: written with the point to calibrate; its high byte reads back the point finished.
constexpr uint8_t kCalibrationPointRegister = 1;

// Calibration modes 1..4 at the interface: the controller's byte and the highest point accepted.
struct CalibrationMode {
    uint8_t controllerByte;
    uint8_t highestPoint;
};
constexpr CalibrationMode kCalibrationModes[] = {{1, 5}, {6, 5}, {10, 9}, {14, 13}};
constexpr int32_t kCalibrationModeCount = 4;

// Calibration parameters 0..5 and their registers.
constexpr uint8_t kConfigParamRegisters[] = {13, 14, 16, 15, 17, 18};
constexpr int32_t kConfigParamCount = 6;

class TouchScreenCalib_Imp final : public Varnholtstad::TouchScreenCalib {
public:
    TouchScreenCalib_Imp();

    ErrorCode setMode(int32_t mode) override;
    ErrorCode getMode(int32_t* mode) override;
    ErrorCode setCalibrationPoint(uint8_t point) override;
    ErrorCode checkCalibrationPointFinished(bool* finished, uint8_t point) override;
    ErrorCode getConfigParam(int32_t param, uint16_t* value) override;
    ErrorCode setConfigParam(int32_t param, uint16_t value) override;
    void release() override;

private:
    frame::DriverChannel channel_;
};

} // namespace tavik::signals
