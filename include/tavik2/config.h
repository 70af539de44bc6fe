// Start-up and power behaviour kept by the system supervisor: start-up triggers and times, suspend
// time, power outputs at start-up, start-up voltage, heating limit, button and signal actions.
// Many operations need a minimum supervisor firmware (ERR_NEWER_SS_VERSION_REQUIRED (25));
// range violations give ERR_INVALID_DATA (8). Times are in the supervisor's unit, unscaled.
#pragma once

#include "defs.h"
#include "error_code.h"

namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Config {
    virtual ErrorCode getStartupTriggerConfig(int32_t* config) = 0;
    virtual ErrorCode getShortButtonPressAction(int32_t* action) = 0;
    virtual ErrorCode getLongButtonPressAction(int32_t* action) = 0;
    virtual ErrorCode getOnOffSigAction(int32_t* action) = 0;
    virtual ErrorCode getFrontBtnTrigTime(uint16_t* time) = 0;
    virtual ErrorCode getExtOnOffSigTrigTime(int32_t* time) = 0;
    virtual ErrorCode getSuspendMaxTime(uint16_t* time) = 0;
    virtual ErrorCode getCanStartupPowerConfig(int32_t* config) = 0;
    virtual ErrorCode getVideoStartupPowerConfig(uint8_t* config) = 0;
    virtual ErrorCode getExtFanStartupPowerConfig(int32_t* config) = 0;
    virtual ErrorCode getStartupVoltageConfig(double* voltage) = 0;
    virtual ErrorCode getHeatingTempLimit(int16_t* temperature) = 0;
    virtual ErrorCode getPowerOnStartup(int32_t* enabled) = 0;
    virtual ErrorCode setStartupTriggerConfig(int32_t config) = 0;
    virtual ErrorCode setShortButtonPressAction(int32_t action) = 0;
    virtual ErrorCode setLongButtonPressAction(int32_t action) = 0;
    virtual ErrorCode setOnOffSigAction(int32_t action) = 0;
    virtual ErrorCode setFrontBtnTrigTime(uint16_t time) = 0;
    virtual ErrorCode setExtOnOffSigTrigTime(int32_t time) = 0;
    virtual ErrorCode setSuspendMaxTime(uint16_t time) = 0;
    virtual ErrorCode setCanStartupPowerConfig(uint16_t config) = 0;
    virtual ErrorCode setVideoStartupPowerConfig(uint8_t config) = 0;
    virtual ErrorCode setExtFanStartupPowerConfig(uint16_t config) = 0;
    virtual ErrorCode setStartupVoltageConfig(double voltage) = 0;
    virtual ErrorCode setHeatingTempLimit(int16_t temperature) = 0;
    virtual ErrorCode setPowerOnStartup(uint16_t enabled) = 0;
    virtual ErrorCode setRS485Enabled(int32_t port, int32_t enabled) = 0;
    virtual ErrorCode getRS485Enabled(int32_t port, int32_t* enabled) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// The process-wide shared object (same pointer on every call, counted); null when it could not be allocated.
// Exported under its decorated name only.
TAVIK_API Varnholtstad::Config* TAVIK_CALL GetConfig(void);

// Drops one reference; the last release closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL Config_release(Varnholtstad::Config* handle);

// Start-up trigger mask 1..3 (front button, external on/off signal).
TAVIK_API ErrorCode TAVIK_CALL Config_getStartupTriggerConfig(Varnholtstad::Config* handle, int32_t* config);

// Action on a short front button press, 0..2.
TAVIK_API ErrorCode TAVIK_CALL Config_getShortButtonPressAction(Varnholtstad::Config* handle,
    int32_t* action);

// Action on a long front button press, 0..2.
TAVIK_API ErrorCode TAVIK_CALL Config_getLongButtonPressAction(Varnholtstad::Config* handle, int32_t* action);

// Action on the external on/off signal, 0..2.
TAVIK_API ErrorCode TAVIK_CALL Config_getOnOffSigAction(Varnholtstad::Config* handle, int32_t* action);

// Time the front button must be held to start the unit.
TAVIK_API ErrorCode TAVIK_CALL Config_getFrontBtnTrigTime(Varnholtstad::Config* handle, uint16_t* time);

// Time the external on/off signal must be held.
TAVIK_API ErrorCode TAVIK_CALL Config_getExtOnOffSigTrigTime(Varnholtstad::Config* handle, int32_t* time);

// Longest time the unit may stay suspended.
TAVIK_API ErrorCode TAVIK_CALL Config_getSuspendMaxTime(Varnholtstad::Config* handle, uint16_t* time);

// CAN power at start-up; ERR_NOT_SUPPORTED (2) without CAN.
TAVIK_API ErrorCode TAVIK_CALL Config_getCanStartupPowerConfig(Varnholtstad::Config* handle, int32_t* config);

// Mask 0..15 of video power outputs on at start-up; ERR_NOT_SUPPORTED (2) without video.
TAVIK_API ErrorCode TAVIK_CALL Config_getVideoStartupPowerConfig(Varnholtstad::Config* handle,
    uint8_t* config);

// External fan power at start-up.
TAVIK_API ErrorCode TAVIK_CALL Config_getExtFanStartupPowerConfig(Varnholtstad::Config* handle,
    int32_t* config);

// Supply voltage needed to start, volts (at least 9.0).
TAVIK_API ErrorCode TAVIK_CALL Config_getStartupVoltageConfig(Varnholtstad::Config* handle, double* voltage);

// Heating temperature limit, -25..+5 degrees Celsius; no heating: ERR_NOT_SUPPORTED (2).
TAVIK_API ErrorCode TAVIK_CALL Config_getHeatingTempLimit(Varnholtstad::Config* handle, int16_t* temperature);

// 1 when the unit starts as soon as power is applied, else 0.
TAVIK_API ErrorCode TAVIK_CALL Config_getPowerOnStartup(Varnholtstad::Config* handle, int32_t* enabled);

// Start-up trigger mask 1..3.
TAVIK_API ErrorCode TAVIK_CALL Config_setStartupTriggerConfig(Varnholtstad::Config* handle, int32_t config);

// Action on a short front button press, 0..2.
TAVIK_API ErrorCode TAVIK_CALL Config_setShortButtonPressAction(Varnholtstad::Config* handle, int32_t action);

// Action on a long front button press, 0..2.
TAVIK_API ErrorCode TAVIK_CALL Config_setLongButtonPressAction(Varnholtstad::Config* handle, int32_t action);

// Action on the external on/off signal, 0..2.
TAVIK_API ErrorCode TAVIK_CALL Config_setOnOffSigAction(Varnholtstad::Config* handle, int32_t action);

// Time the front button must be held to start the unit.
TAVIK_API ErrorCode TAVIK_CALL Config_setFrontBtnTrigTime(Varnholtstad::Config* handle, uint16_t time);

// Time the external on/off signal must be held.
TAVIK_API ErrorCode TAVIK_CALL Config_setExtOnOffSigTrigTime(Varnholtstad::Config* handle, int32_t time);

// Longest time the unit may stay suspended.
TAVIK_API ErrorCode TAVIK_CALL Config_setSuspendMaxTime(Varnholtstad::Config* handle, uint16_t time);

// CAN power at start-up; ERR_NOT_SUPPORTED (2) without CAN.
TAVIK_API ErrorCode TAVIK_CALL Config_setCanStartupPowerConfig(Varnholtstad::Config* handle, uint16_t config);

// Mask 0..15 of video power outputs on at start-up.
TAVIK_API ErrorCode TAVIK_CALL Config_setVideoStartupPowerConfig(Varnholtstad::Config* handle,
    uint8_t config);

// External fan power at start-up.
TAVIK_API ErrorCode TAVIK_CALL Config_setExtFanStartupPowerConfig(Varnholtstad::Config* handle,
    uint16_t config);

// Supply voltage needed to start, 9.0..28.0 V.
TAVIK_API ErrorCode TAVIK_CALL Config_setStartupVoltageConfig(Varnholtstad::Config* handle, double voltage);

// Heating temperature limit, -25..+5 degrees Celsius.
TAVIK_API ErrorCode TAVIK_CALL Config_setHeatingTempLimit(Varnholtstad::Config* handle, int16_t temperature);

// Whether the unit starts as soon as power is applied; sent unchanged.
TAVIK_API ErrorCode TAVIK_CALL Config_setPowerOnStartup(Varnholtstad::Config* handle, uint16_t enabled);

// Always ERR_NOT_SUPPORTED (2); arguments are not examined.
TAVIK_API ErrorCode TAVIK_CALL Config_setRS485Enabled(Varnholtstad::Config* handle, int32_t port,
    int32_t enabled);

// Always ERR_NOT_SUPPORTED (2); writes nothing.
TAVIK_API ErrorCode TAVIK_CALL Config_getRS485Enabled(Varnholtstad::Config* handle, int32_t port,
    int32_t* enabled);
