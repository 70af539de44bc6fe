/// \file
/// Display backlight level and status, the automatic backlight settings and the LED-dimming switch.
/// The automatic backlight settings live in the shared settings file; writers wake the controller.
///
/// Shared by every function here: ERR_NOT_SUPPORTED on a unit without a display (checked first); null
/// out-pointers give ERR_INVALID_PARAMETER; driver requests give driver codes; a stored setting that is
/// not a number gives ERR_DATATYPE_MISMATCH.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Backlight {
    virtual ErrorCode getIntensity(uint8_t* level) = 0;
    virtual ErrorCode setIntensity(uint8_t level) = 0;
    virtual ErrorCode getStatus(uint8_t* status) = 0;
    virtual ErrorCode startAutomaticBL() = 0;
    virtual ErrorCode stopAutomaticBL() = 0;
    virtual ErrorCode getAutomaticBLStatus(bool* enabled) = 0;
    virtual ErrorCode setAutomaticBLParams(bool bSoftTransitions) = 0;
    virtual ErrorCode getAutomaticBLParams(bool* bSoftTransitions, double* k) = 0;
    virtual ErrorCode setAutomaticBLFilter(int32_t averageWndSize, int32_t rejectWndSize,
        int32_t rejectDeltaInLux, int32_t mode) = 0;
    virtual ErrorCode getAutomaticBLFilter(int32_t* averageWndSize, int32_t* rejectWndSize,
        int32_t* rejectDeltaInLux, int32_t* mode) = 0;
    virtual ErrorCode getLedDimming(int32_t* enabled) = 0;
    virtual ErrorCode setLedDimming(int32_t enabled) = 0;
    virtual void release() = 0;
    virtual ErrorCode getHWStatus(bool* ok) = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Backlight Tavik2Backlight;
#else
/// Handle of the Backlight object (Varnholtstad::Backlight in C++).
typedef struct Tavik2Backlight Tavik2Backlight;
#endif

/// The process-wide shared object (same pointer on every call, counted); null when it could not be allocated.
TAVIK_API Tavik2Backlight* TAVIK_CALL GetBacklight(void);

/// Drops one reference; the last release closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL Backlight_release(Tavik2Backlight* handle);

/// Current backlight level, 0..255 (higher is brighter).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getIntensity(Tavik2Backlight* handle, uint8_t* level);

/// Sets the backlight level, 0..255.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Backlight_setIntensity(Tavik2Backlight* handle, uint8_t level);

/// Raw status byte of the backlight hardware.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getStatus(Tavik2Backlight* handle, uint8_t* status);

/// Switches the automatic backlight on (stored in the settings file).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_DEVICE_WRITE_DATA_FAILED (the settings file could not
/// be written: it keeps its old value and the controller is not woken).
TAVIK_API ErrorCode TAVIK_CALL Backlight_startAutomaticBL(Tavik2Backlight* handle);

/// Switches the automatic backlight off (stored in the settings file).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_DEVICE_WRITE_DATA_FAILED (the settings file could not
/// be written: it keeps its old value and the controller is not woken).
TAVIK_API ErrorCode TAVIK_CALL Backlight_stopAutomaticBL(Tavik2Backlight* handle);

/// Whether the automatic backlight is on. An unreadable setting writes false and
/// returns ERR_DATATYPE_MISMATCH.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER, ERR_DATATYPE_MISMATCH.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLStatus(Tavik2Backlight* handle, bool* enabled);

/// Whether the controller moves the level one step at a time (stored in the settings file).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_DEVICE_WRITE_DATA_FAILED (the settings file could not
/// be written: it keeps its old value and the controller is not woken).
TAVIK_API ErrorCode TAVIK_CALL Backlight_setAutomaticBLParams(Tavik2Backlight* handle,
    bool bSoftTransitions);

/// Soft-transition switch and the learnt model factor k, read in that order: when k
/// cannot be read, bSoftTransitions is already written.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (either pointer null),
/// ERR_DATATYPE_MISMATCH.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLParams(Tavik2Backlight* handle,
    bool* bSoftTransitions, double* k);

/// Light-sensor averaging settings of the controller (samples averaged, rejection window,
/// outlier step in lux, range mode); not range-checked here. The four are stored in one
/// rewrite of the settings file: all or none.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_DEVICE_WRITE_DATA_FAILED (the settings file could not
/// be written: it keeps its old values and the controller is not woken).
TAVIK_API ErrorCode TAVIK_CALL Backlight_setAutomaticBLFilter(Tavik2Backlight* handle,
    int32_t averageWndSize, int32_t rejectWndSize, int32_t rejectDeltaInLux, int32_t mode);

/// Reads back the four averaging settings, in the order mode, averageWndSize, rejectWndSize,
/// rejectDeltaInLux: a value that cannot be read leaves it and the later ones unwritten.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (any pointer null), ERR_DATATYPE_MISMATCH.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLFilter(Tavik2Backlight* handle,
    int32_t* averageWndSize, int32_t* rejectWndSize, int32_t* rejectDeltaInLux, int32_t* mode);

/// 1 when the front LED follows the backlight level (also when never set), else 0.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getLedDimming(Tavik2Backlight* handle, int32_t* enabled);

/// 1 enables LED dimming, any other value disables it; stores the setting, then notifies the
/// platform service.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_OPEN_FAILED (service absent), ERR_COMMAND_FAILED (service
/// refused), ERR_DEVICE_WRITE_DATA_FAILED (the settings file could not be written: it keeps its old
/// value and the service is not notified).
TAVIK_API ErrorCode TAVIK_CALL Backlight_setLedDimming(Tavik2Backlight* handle, int32_t enabled);

/// True when the backlight hardware status byte is 3 or 15.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getHWStatus(Tavik2Backlight* handle, bool* ok);
