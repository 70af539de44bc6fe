/// \file
/// Start-up and power behaviour kept by the system supervisor: start-up triggers and times, suspend
/// time, power outputs at start-up, start-up voltage, heating limit, button and signal actions.
/// Times are in the supervisor's unit, unscaled.
///
/// Shared by every function here: null out-pointers give ERR_INVALID_PARAMETER (checked first);
/// ERR_OPEN_FAILED when the driver could not be opened (not retried); ERR_NEWER_SS_VERSION_REQUIRED
/// where a minimum supervisor firmware is named; range violations and readings out of range give
/// ERR_INVALID_DATA; requests give driver codes.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
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

typedef Varnholtstad::Config Tavik2Config;
#else
/// Handle of the Config object (Varnholtstad::Config in C++).
typedef struct Tavik2Config Tavik2Config;
#endif

/// The process-wide shared object (same pointer on every call, counted); null when it could not be allocated.
/// Exported under its decorated name only.
TAVIK_API Tavik2Config* TAVIK_CALL GetConfig(void);

/// Drops one reference; the last release closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL Config_release(Tavik2Config* handle);

/// Start-up trigger mask 1..3 (front button, external on/off signal); supervisor firmware 1.0.0.0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED,
/// ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getStartupTriggerConfig(Tavik2Config* handle, int32_t* config);

/// Action on a short front button press, 0..2; supervisor firmware 1.0.0.0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED,
/// ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getShortButtonPressAction(Tavik2Config* handle,
    int32_t* action);

/// Action on a long front button press, 0..2; supervisor firmware 1.0.0.0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED,
/// ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getLongButtonPressAction(Tavik2Config* handle, int32_t* action);

/// Action on the external on/off signal, 0..2; supervisor firmware 1.0.0.0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED,
/// ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getOnOffSigAction(Tavik2Config* handle, int32_t* action);

/// Time the front button must be held to start the unit.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getFrontBtnTrigTime(Tavik2Config* handle, uint16_t* time);

/// Time the external on/off signal must be held.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getExtOnOffSigTrigTime(Tavik2Config* handle, int32_t* time);

/// Longest time the unit may stay suspended.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getSuspendMaxTime(Tavik2Config* handle, uint16_t* time);

/// CAN power at start-up.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED (no CAN), ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getCanStartupPowerConfig(Tavik2Config* handle, int32_t* config);

/// Mask 0..15 of video power outputs on at start-up.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED (no video), ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getVideoStartupPowerConfig(Tavik2Config* handle,
    uint8_t* config);

/// External fan power at start-up.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getExtFanStartupPowerConfig(Tavik2Config* handle,
    int32_t* config);

/// Supply voltage needed to start, volts (readings below 9.0 give 9.0).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getStartupVoltageConfig(Tavik2Config* handle, double* voltage);

/// Heating temperature limit, -25..+5 degrees Celsius; supervisor firmware 0.9.0.0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED,
/// ERR_NOT_SUPPORTED
/// (no heating), ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getHeatingTempLimit(Tavik2Config* handle, int16_t* temperature);

/// 1 when the unit starts as soon as power is applied, else 0; supervisor firmware 1.0.3.0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_getPowerOnStartup(Tavik2Config* handle, int32_t* enabled);

/// Start-up trigger mask 1..3; supervisor firmware 1.0.0.0.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED, ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setStartupTriggerConfig(Tavik2Config* handle, int32_t config);

/// Action on a short front button press, 0..2; supervisor firmware 1.0.0.0.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED, ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setShortButtonPressAction(Tavik2Config* handle, int32_t action);

/// Action on a long front button press, 0..2; supervisor firmware 1.0.0.0.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED, ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setLongButtonPressAction(Tavik2Config* handle, int32_t action);

/// Action on the external on/off signal, 0..2; supervisor firmware 1.0.0.0.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED, ERR_INVALID_DATA, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setOnOffSigAction(Tavik2Config* handle, int32_t action);

/// Time the front button must be held to start the unit (read, then written back).
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setFrontBtnTrigTime(Tavik2Config* handle, uint16_t time);

/// Time the external on/off signal must be held.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setExtOnOffSigTrigTime(Tavik2Config* handle, int32_t time);

/// Longest time the unit may stay suspended.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setSuspendMaxTime(Tavik2Config* handle, uint16_t time);

/// CAN power at start-up.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED (no CAN), ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setCanStartupPowerConfig(Tavik2Config* handle, uint16_t config);

/// Mask 0..15 of video power outputs on at start-up.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED (no video), ERR_INVALID_DATA (mask above 15), ERR_OPEN_FAILED,
/// driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setVideoStartupPowerConfig(Tavik2Config* handle,
    uint8_t config);

/// External fan power at start-up.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setExtFanStartupPowerConfig(Tavik2Config* handle,
    uint16_t config);

/// Supply voltage needed to start, 9.0..28.0 V.
/// \return ERR_SUCCESS, ERR_INVALID_DATA (out of range or NaN), ERR_OPEN_FAILED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setStartupVoltageConfig(Tavik2Config* handle, double voltage);

/// Heating temperature limit, -25..+5 degrees Celsius; supervisor firmware 0.9.0.0.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED, ERR_INVALID_DATA (out of range),
/// ERR_NOT_SUPPORTED (no heating), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setHeatingTempLimit(Tavik2Config* handle, int16_t temperature);

/// Whether the unit starts as soon as power is applied; sent unchanged; supervisor firmware 1.0.3.0.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NEWER_SS_VERSION_REQUIRED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Config_setPowerOnStartup(Tavik2Config* handle, uint16_t enabled);

/// This hardware has no RS485 port to switch; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always.
TAVIK_API ErrorCode TAVIK_CALL Config_setRS485Enabled(Tavik2Config* handle, int32_t port,
    int32_t enabled);

/// This hardware has no RS485 port; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always; writes nothing.
TAVIK_API ErrorCode TAVIK_CALL Config_getRS485Enabled(Tavik2Config* handle, int32_t port,
    int32_t* enabled);
