// Bit rate and frame type of each CAN channel, kept in the CAN driver's registry configuration
// (read by the CAN driver when it starts). Channels count from 1.
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
typedef struct Tavik2CanSetting Tavik2CanSetting;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2CanSetting* TAVIK_CALL GetCanSetting(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL CanSetting_release(Tavik2CanSetting* handle);

// Bit rate in kbit/s; baudrate must not be null.
TAVIK_API ErrorCode TAVIK_CALL CanSetting_getBaudrate(Tavik2CanSetting* handle, uint8_t channel,
    uint16_t* baudrate);

// Frame type: 0 standard, 1 extended, 2 both; unknown stored text: ERR_CODE_NOT_EXIST (5).
TAVIK_API ErrorCode TAVIK_CALL CanSetting_getFrameType(Tavik2CanSetting* handle, uint8_t channel,
    int32_t* frameType);

// Bit rate in kbit/s, at most 1000.
TAVIK_API ErrorCode TAVIK_CALL CanSetting_setBaudrate(Tavik2CanSetting* handle, uint8_t channel,
    uint16_t baudrate);

// Frame type 0..2.
TAVIK_API ErrorCode TAVIK_CALL CanSetting_setFrameType(Tavik2CanSetting* handle, uint8_t channel,
    int32_t frameType);
