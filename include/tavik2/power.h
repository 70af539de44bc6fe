/// \file
/// Switchable power outputs (backlight, CAN, video, external fan), the front button power
/// transition and the power request acknowledge. On/off values: 1 on, 0 off (any non-zero reading
/// counts as on); setters switch on only for 1.
///
/// Shared by every function here: an output that is not fitted gives ERR_NOT_SUPPORTED (CAN and video
/// before the driver is opened, the backlight after); the driver is opened on demand and a failed open
/// gives ERR_OPEN_FAILED, so a later call tries again; requests give driver codes.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Power {
    virtual ErrorCode getBLPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getCanPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getVideoPowerStatus(uint8_t* mask) = 0;
    virtual ErrorCode getExtFanPowerStatus(int32_t* status) = 0;
    virtual ErrorCode getVideoOCDStatus(int32_t* status) = 0;
    virtual ErrorCode getCanOCDStatus(int32_t* status) = 0;
    virtual ErrorCode setBLPowerStatus(int32_t status) = 0;
    virtual ErrorCode setCanPowerStatus(int32_t status) = 0;
    virtual ErrorCode setVideoPowerStatus(uint8_t mask) = 0;
    virtual ErrorCode setExtFanPowerStatus(int32_t status) = 0;
    virtual ErrorCode getButtonPowerTransitionStatus(int32_t* status) = 0;
    virtual ErrorCode ackPowerRequest() = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Power Tavik2Power;
#else
/// Handle of a Power object (Varnholtstad::Power in C++).
typedef struct Tavik2Power Tavik2Power;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Power* TAVIK_CALL GetPower(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL Power_release(Tavik2Power* handle);

/// Backlight power, 1 on / 0 off.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null status), ERR_NOT_SUPPORTED (no display), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_getBLPowerStatus(Tavik2Power* handle, int32_t* status);

/// CAN power, 1 on / 0 off.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null status), ERR_NOT_SUPPORTED (no CAN), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_getCanPowerStatus(Tavik2Power* handle, int32_t* status);

/// Mask 0..15 of the video power outputs that are on.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null mask), ERR_NOT_SUPPORTED (no video), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_getVideoPowerStatus(Tavik2Power* handle, uint8_t* mask);

/// External fan power, 1 on / 0 off.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null status), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_getExtFanPowerStatus(Tavik2Power* handle, int32_t* status);

/// Over-current detection is not reported by this hardware; status is not examined.
/// \return ERR_NOT_SUPPORTED always; writes nothing.
TAVIK_API ErrorCode TAVIK_CALL Power_getVideoOCDStatus(Tavik2Power* handle, int32_t* status);

/// Over-current detection is not reported by this hardware; status is not examined.
/// \return ERR_NOT_SUPPORTED always; writes nothing.
TAVIK_API ErrorCode TAVIK_CALL Power_getCanOCDStatus(Tavik2Power* handle, int32_t* status);

/// Backlight power on (1) or off.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED (no display), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_setBLPowerStatus(Tavik2Power* handle, int32_t status);

/// CAN power on (1) or off.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED (no CAN), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_setCanPowerStatus(Tavik2Power* handle, int32_t status);

/// Mask 0..15 of the video power outputs to switch on.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED (no video), ERR_INVALID_DATA (mask above 15), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_setVideoPowerStatus(Tavik2Power* handle, uint8_t mask);

/// External fan power on (1) or off.
/// \return ERR_SUCCESS, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_setExtFanPowerStatus(Tavik2Power* handle, int32_t status);

/// Front button power transition status 0..6; needs supervisor firmware 0.9.0.0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null status), ERR_NEWER_SS_VERSION_REQUIRED, ERR_INVALID_DATA
/// (reading above 6), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Power_getButtonPowerTransitionStatus(Tavik2Power* handle,
    int32_t* status);

/// Acknowledges a power request of the system supervisor.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_IOCTRL_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Power_ackPowerRequest(Tavik2Power* handle);
