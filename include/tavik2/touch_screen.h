/// \file
/// Touch controller settings: touch mode, right-click hold time and advanced settings.
/// Needs front microcontroller firmware 0.5.0.0 (advanced settings 1..12: 1.0.0.0).
///
/// Shared by every function here: ERR_NOT_SUPPORTED without a touch screen;
/// ERR_NEWER_FRONT_VERSION_REQUIRED with older front firmware; driver codes from the requests.
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
/// Handle of a TouchScreen object (Varnholtstad::TouchScreen in C++).
typedef struct Tavik2TouchScreen Tavik2TouchScreen;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2TouchScreen* TAVIK_CALL GetTouchScreen(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL TouchScreen_release(Tavik2TouchScreen* handle);

/// Touch mode 0..3.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null mode), ERR_OPEN_FAILED, ERR_NOT_SUPPORTED,
/// ERR_NEWER_FRONT_VERSION_REQUIRED, driver codes, ERR_INVALID_DATA (mode above 3).
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getMode(Tavik2TouchScreen* handle, int32_t* mode);

/// Hold time after which a touch counts as a right click.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null time), ERR_OPEN_FAILED, ERR_NOT_SUPPORTED,
/// ERR_NEWER_FRONT_VERSION_REQUIRED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getMouseRightClickTime(Tavik2TouchScreen* handle,
    uint16_t* time);

/// Touch mode; only the low two bits are sent.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NOT_SUPPORTED, ERR_NEWER_FRONT_VERSION_REQUIRED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setMode(Tavik2TouchScreen* handle, int32_t mode);

/// Hold time after which a touch counts as a right click.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NOT_SUPPORTED, ERR_NEWER_FRONT_VERSION_REQUIRED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setMouseRightClickTime(Tavik2TouchScreen* handle,
    uint16_t time);

/// Writes advanced setting 0..11; range depends on the setting.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED (no touch screen, or setting 12),
/// ERR_NEWER_FRONT_VERSION_REQUIRED, ERR_INVALID_DATA (setting or value out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_setAdvancedSetting(Tavik2TouchScreen* handle,
    int32_t setting, uint16_t value);

/// Reads advanced setting 0..11.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null value), ERR_NOT_SUPPORTED (no touch screen, or setting
/// 12),
/// ERR_NEWER_FRONT_VERSION_REQUIRED, ERR_INVALID_DATA (setting out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL TouchScreen_getAdvancedSetting(Tavik2TouchScreen* handle,
    int32_t setting, uint16_t* value);
