// Display backlight level and status, the automatic backlight settings and the LED-dimming switch.
// The automatic backlight settings live in the shared settings file; writers wake the controller.
// Every operation returns ERR_NOT_SUPPORTED (2) on a unit without a display.
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
typedef struct Tavik2Backlight Tavik2Backlight;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// The process-wide shared object (same pointer on every call, counted); null when it could not be allocated.
TAVIK_API Tavik2Backlight* TAVIK_CALL GetBacklight(void);

// Drops one reference; the last release closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL Backlight_release(Tavik2Backlight* handle);

// Current backlight level, 0..255 (higher is brighter).
TAVIK_API ErrorCode TAVIK_CALL Backlight_getIntensity(Tavik2Backlight* handle, uint8_t* level);

// Sets the backlight level, 0..255.
TAVIK_API ErrorCode TAVIK_CALL Backlight_setIntensity(Tavik2Backlight* handle, uint8_t level);

// Raw status byte of the backlight hardware.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getStatus(Tavik2Backlight* handle, uint8_t* status);

// Switches the automatic backlight on.
TAVIK_API ErrorCode TAVIK_CALL Backlight_startAutomaticBL(Tavik2Backlight* handle);

// Switches the automatic backlight off.
TAVIK_API ErrorCode TAVIK_CALL Backlight_stopAutomaticBL(Tavik2Backlight* handle);

// Whether the automatic backlight is on; unreadable setting: ERR_DATATYPE_MISMATCH (4), writes false.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLStatus(Tavik2Backlight* handle, bool* enabled);

// Whether the controller moves the level one step at a time.
TAVIK_API ErrorCode TAVIK_CALL Backlight_setAutomaticBLParams(Tavik2Backlight* handle,
    bool bSoftTransitions);

// Soft-transition switch and the learnt model factor k.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLParams(Tavik2Backlight* handle,
    bool* bSoftTransitions, double* k);

// Light-sensor averaging settings of the controller (samples averaged, rejection window, outlier step in lux,
// range mode); not range-checked here.
TAVIK_API ErrorCode TAVIK_CALL Backlight_setAutomaticBLFilter(Tavik2Backlight* handle,
    int32_t averageWndSize, int32_t rejectWndSize, int32_t rejectDeltaInLux, int32_t mode);

// Reads back the four averaging settings.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getAutomaticBLFilter(Tavik2Backlight* handle,
    int32_t* averageWndSize, int32_t* rejectWndSize, int32_t* rejectDeltaInLux, int32_t* mode);

// 1 when the front LED follows the backlight level (also when never set), else 0.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getLedDimming(Tavik2Backlight* handle, int32_t* enabled);

// 1 enables LED dimming, any other value disables it; notifies the platform service.
TAVIK_API ErrorCode TAVIK_CALL Backlight_setLedDimming(Tavik2Backlight* handle, int32_t enabled);

// True when the backlight hardware status byte is 3 or 15.
TAVIK_API ErrorCode TAVIK_CALL Backlight_getHWStatus(Tavik2Backlight* handle, bool* ok);
