/// \file
/// Bit rate and frame type of each CAN channel, kept in the CAN driver's registry configuration
/// (read by the CAN driver when it starts). Channels count from 1 to the number of CAN connections.
///
/// Shared by every function here: ERR_NOT_SUPPORTED on a unit without CAN; a channel out of range gives
/// ERR_INVALID_PARAMETER. Getters: a missing configuration key or value gives ERR_NOT_SUPPORTED. Setters:
/// a key that cannot be opened for writing gives ERR_OPEN_FAILED, a value that cannot be written
/// ERR_UNKNOWN_FEATURE.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct CanSetting {
    virtual ErrorCode getBaudrate(uint8_t channel, uint16_t* baudrate) = 0;
    virtual ErrorCode getFrameType(uint8_t channel, int32_t* frameType) = 0;
    virtual ErrorCode setBaudrate(uint8_t channel, uint16_t baudrate) = 0;
    virtual ErrorCode setFrameType(uint8_t channel, int32_t frameType) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::CanSetting Tavik2CanSetting;
#else
/// Handle of a CanSetting object (Varnholtstad::CanSetting in C++).
typedef struct Tavik2CanSetting Tavik2CanSetting;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2CanSetting* TAVIK_CALL GetCanSetting(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL CanSetting_release(Tavik2CanSetting* handle);

/// Bit rate in kbit/s.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null baudrate, bad channel), ERR_NOT_SUPPORTED.
TAVIK_API ErrorCode TAVIK_CALL CanSetting_getBaudrate(Tavik2CanSetting* handle, uint8_t channel,
    uint16_t* baudrate);

/// Frame type: 0 standard, 1 extended, 2 both.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null frameType, bad channel), ERR_NOT_SUPPORTED,
/// ERR_CODE_NOT_EXIST (unknown stored text).
TAVIK_API ErrorCode TAVIK_CALL CanSetting_getFrameType(Tavik2CanSetting* handle, uint8_t channel,
    int32_t* frameType);

/// Bit rate in kbit/s, at most 1000.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (too high, bad channel), ERR_NOT_SUPPORTED, ERR_OPEN_FAILED,
/// ERR_UNKNOWN_FEATURE.
TAVIK_API ErrorCode TAVIK_CALL CanSetting_setBaudrate(Tavik2CanSetting* handle, uint8_t channel,
    uint16_t baudrate);

/// Frame type 0..2.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (out of range, bad channel), ERR_NOT_SUPPORTED,
/// ERR_OPEN_FAILED,
/// ERR_UNKNOWN_FEATURE.
TAVIK_API ErrorCode TAVIK_CALL CanSetting_setFrameType(Tavik2CanSetting* handle, uint8_t channel,
    int32_t frameType);
