/// \file
/// Power of the optional telematics modules (GSM/GPRS, WLAN, Bluetooth, GPS), the GPS antenna state and
/// each module's power at start-up. Status values: 1 on, 0 off; setters switch on only for 1.
///
/// Shared by every function here: a module that is not fitted gives its ERR_TELEMATICS_..._NOT_AVAILABLE
/// code (28..31) first; then a null out-pointer gives ERR_INVALID_PARAMETER. Power operations go through
/// the board's I2C expander: ERR_I2C_EXPANDER_INIT_FAILED (board or expander unusable),
/// ERR_I2C_EXPANDER_READ_FAILED (getters), ERR_I2C_EXPANDER_WRITE_FAILED (setters). The start-up settings
/// live in the shared settings file and always succeed once the module is fitted.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Telematics {
    virtual ErrorCode getTelematicsAvailable(int32_t* available) = 0;
    virtual ErrorCode getGPRSPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getGPRSStartUpPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getWLANPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getWLANStartUpPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getGPSAntennaStatus(int32_t* status) = 0;
    virtual ErrorCode setGPRSPowerStatus(int32_t status) = 0;
    virtual ErrorCode setGPRSStartUpPowerStatus(int32_t status) = 0;
    virtual ErrorCode setWLANPowerStatus(int32_t status) = 0;
    virtual ErrorCode setWLANStartUpPowerStatus(int32_t status) = 0;
    virtual void release() = 0;
    virtual ErrorCode getBTPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getBTStartUpPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getGPSPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getGPSStartUpPowerStatus(int32_t* status) = 0;
    virtual ErrorCode setBTPowerStatus(int32_t status) = 0;
    virtual ErrorCode setBTStartUpPowerStatus(int32_t status) = 0;
    virtual ErrorCode setGPSPowerStatus(int32_t status) = 0;
    virtual ErrorCode setGPSStartUpPowerStatus(int32_t status) = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Telematics Tavik2Telematics;
#else
/// Handle of the Telematics object (Varnholtstad::Telematics in C++).
typedef struct Tavik2Telematics Tavik2Telematics;
#endif

/// The process-wide shared object (same pointer on every call, counted); null when it could not be allocated.
TAVIK_API Tavik2Telematics* TAVIK_CALL GetTelematics(void);

/// Drops one reference; the last release closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL Telematics_release(Tavik2Telematics* handle);

/// 1 when any telematics module is fitted, else 0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null available).
TAVIK_API ErrorCode TAVIK_CALL Telematics_getTelematicsAvailable(Tavik2Telematics* handle,
    int32_t* available);

/// GSM/GPRS modem power (sensed, takes about 100 ms).
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPRS_NOT_AVAILABLE, ERR_INVALID_PARAMETER,
/// ERR_I2C_EXPANDER_INIT_FAILED, ERR_IOCTRL_FAILED (the sense line could not be switched on),
/// ERR_I2C_EXPANDER_READ_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getGPRSPowerStatus(Tavik2Telematics* handle,
    int32_t* status);

/// Whether the modem is powered at start-up.
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPRS_NOT_AVAILABLE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getGPRSStartUpPowerStatus(Tavik2Telematics* handle,
    int32_t* status);

/// WLAN power.
/// \return ERR_SUCCESS, ERR_TELEMATICS_WLAN_NOT_AVAILABLE, ERR_INVALID_PARAMETER,
/// ERR_I2C_EXPANDER_INIT_FAILED, ERR_I2C_EXPANDER_READ_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getWLANPowerStatus(Tavik2Telematics* handle,
    int32_t* status);

/// Whether WLAN is powered at start-up.
/// \return ERR_SUCCESS, ERR_TELEMATICS_WLAN_NOT_AVAILABLE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getWLANStartUpPowerStatus(Tavik2Telematics* handle,
    int32_t* status);

/// GPS antenna state.
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPS_NOT_AVAILABLE, ERR_INVALID_PARAMETER,
/// ERR_I2C_EXPANDER_INIT_FAILED, ERR_I2C_EXPANDER_READ_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getGPSAntennaStatus(Tavik2Telematics* handle,
    int32_t* status);

/// Switches the modem; blocks about 1.1 s (on) or 2.1 s (off) for the power-key pulse
/// (no pulse when the modem is already in the requested state). Switched off as the last
/// module, the modem shuts down before the common supply goes: after the pulse its state is
/// sensed until it shows off (at most 2 s more), then the supply is cut.
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPRS_NOT_AVAILABLE, ERR_I2C_EXPANDER_INIT_FAILED,
/// ERR_IOCTRL_FAILED (the sense line could not be switched on: the state is unknown and no pulse
/// is sent), ERR_I2C_EXPANDER_READ_FAILED (sensing), ERR_I2C_EXPANDER_WRITE_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_setGPRSPowerStatus(Tavik2Telematics* handle,
    int32_t status);

/// Whether the modem is powered at start-up (stored in the settings file).
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPRS_NOT_AVAILABLE, ERR_DEVICE_WRITE_DATA_FAILED (the settings
/// file could not be written and keeps its old value).
TAVIK_API ErrorCode TAVIK_CALL Telematics_setGPRSStartUpPowerStatus(Tavik2Telematics* handle,
    int32_t status);

/// Switches WLAN.
/// \return ERR_SUCCESS, ERR_TELEMATICS_WLAN_NOT_AVAILABLE, ERR_I2C_EXPANDER_INIT_FAILED,
/// ERR_I2C_EXPANDER_WRITE_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_setWLANPowerStatus(Tavik2Telematics* handle,
    int32_t status);

/// Whether WLAN is powered at start-up (stored in the settings file).
/// \return ERR_SUCCESS, ERR_TELEMATICS_WLAN_NOT_AVAILABLE, ERR_DEVICE_WRITE_DATA_FAILED (the settings
/// file could not be written and keeps its old value).
TAVIK_API ErrorCode TAVIK_CALL Telematics_setWLANStartUpPowerStatus(Tavik2Telematics* handle,
    int32_t status);

/// Bluetooth power.
/// \return ERR_SUCCESS, ERR_TELEMATICS_BT_NOT_AVAILABLE, ERR_INVALID_PARAMETER,
/// ERR_I2C_EXPANDER_INIT_FAILED, ERR_I2C_EXPANDER_READ_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getBTPowerStatus(Tavik2Telematics* handle, int32_t* status);

/// Whether Bluetooth is powered at start-up.
/// \return ERR_SUCCESS, ERR_TELEMATICS_BT_NOT_AVAILABLE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getBTStartUpPowerStatus(Tavik2Telematics* handle,
    int32_t* status);

/// GPS power.
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPS_NOT_AVAILABLE, ERR_INVALID_PARAMETER,
/// ERR_I2C_EXPANDER_INIT_FAILED, ERR_I2C_EXPANDER_READ_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getGPSPowerStatus(Tavik2Telematics* handle,
    int32_t* status);

/// Whether the GPS is powered at start-up.
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPS_NOT_AVAILABLE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL Telematics_getGPSStartUpPowerStatus(Tavik2Telematics* handle,
    int32_t* status);

/// Switches Bluetooth.
/// \return ERR_SUCCESS, ERR_TELEMATICS_BT_NOT_AVAILABLE, ERR_I2C_EXPANDER_INIT_FAILED,
/// ERR_I2C_EXPANDER_WRITE_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_setBTPowerStatus(Tavik2Telematics* handle, int32_t status);

/// Whether Bluetooth is powered at start-up (stored in the settings file).
/// \return ERR_SUCCESS, ERR_TELEMATICS_BT_NOT_AVAILABLE, ERR_DEVICE_WRITE_DATA_FAILED (the settings
/// file could not be written and keeps its old value).
TAVIK_API ErrorCode TAVIK_CALL Telematics_setBTStartUpPowerStatus(Tavik2Telematics* handle,
    int32_t status);

/// Switches the GPS.
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPS_NOT_AVAILABLE, ERR_I2C_EXPANDER_INIT_FAILED,
/// ERR_I2C_EXPANDER_WRITE_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Telematics_setGPSPowerStatus(Tavik2Telematics* handle, int32_t status);

/// Whether the GPS is powered at start-up (stored in the settings file).
/// \return ERR_SUCCESS, ERR_TELEMATICS_GPS_NOT_AVAILABLE, ERR_DEVICE_WRITE_DATA_FAILED (the settings
/// file could not be written and keeps its old value).
TAVIK_API ErrorCode TAVIK_CALL Telematics_setGPSStartUpPowerStatus(Tavik2Telematics* handle,
    int32_t status);
