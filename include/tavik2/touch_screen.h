// Touch controller settings: touch mode, right-click hold time and advanced settings.
// Needs front microcontroller firmware 0.5.0.0 (advanced settings 1..12: 1.0.0.0).
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct TouchScreen {
    virtual ErrorCode getMode(int32_t* mode) = 0;
    virtual ErrorCode getMouseRightClickTime(uint16_t* time) = 0;
    virtual ErrorCode setMode(int32_t mode) = 0;
    virtual ErrorCode setMouseRightClickTime(uint16_t time) = 0;
    virtual ErrorCode setAdvancedSetting(int32_t setting, uint16_t value) = 0;
    virtual ErrorCode getAdvancedSetting(int32_t setting, uint16_t* value) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::TouchScreen Tavik2TouchScreen;
#else
typedef struct Tavik2TouchScreen Tavik2TouchScreen;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2TouchScreen* TAVIK_CALL GetTouchScreen(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL TouchScreen_release(Tavik2TouchScreen* handle);

// Touch mode 0..3.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getMode(Tavik2TouchScreen* handle, int32_t* mode);

// Hold time after which a touch counts as a right click.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getMouseRightClickTime(Tavik2TouchScreen* handle,
    uint16_t* time);

// Touch mode; only the low two bits are sent.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setMode(Tavik2TouchScreen* handle, int32_t mode);

// Hold time after which a touch counts as a right click.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setMouseRightClickTime(Tavik2TouchScreen* handle,
    uint16_t time);

// Writes advanced setting 0..11 (12: ERR_NOT_SUPPORTED (2)); range depends on the setting.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setAdvancedSetting(Tavik2TouchScreen* handle,
    int32_t setting, uint16_t value);

// Reads advanced setting 0..11.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getAdvancedSetting(Tavik2TouchScreen* handle,
    int32_t setting, uint16_t* value);
