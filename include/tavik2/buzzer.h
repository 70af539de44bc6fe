/// \file
/// Buzzer tone, trigger and timed buzz. One buzz at a time across all processes.
///
/// Shared by every function here: ERR_NOT_SUPPORTED on a unit without a buzzer; ERR_OPEN_FAILED when
/// the driver could not be opened; other driver codes from the requests.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Buzzer {
    virtual ErrorCode getFrequency(uint16_t* frequency) = 0;
    virtual ErrorCode getVolume(uint16_t* volume) = 0;
    virtual ErrorCode getTrigger(bool* on) = 0;
    virtual ErrorCode setFrequency(uint16_t frequency) = 0;
    virtual ErrorCode setVolume(uint16_t volume) = 0;
    virtual ErrorCode setTrigger(bool on) = 0;
    virtual ErrorCode buzze(int32_t timeMs, bool blocking) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Buzzer Tavik2Buzzer;
#else
/// Handle of a Buzzer object (Varnholtstad::Buzzer in C++).
typedef struct Tavik2Buzzer Tavik2Buzzer;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Buzzer* TAVIK_CALL GetBuzzer(void);

/// Ends this object's background buzz, waits while any buzz sounds, then destroys the object.
TAVIK_API void TAVIK_CALL Buzzer_release(Tavik2Buzzer* handle);

/// Tone frequency in hertz.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null frequency), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_getFrequency(Tavik2Buzzer* handle, uint16_t* frequency);

/// Volume 0..51.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null volume), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_getVolume(Tavik2Buzzer* handle, uint16_t* volume);

/// Whether the buzzer is switched on.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null on), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_getTrigger(Tavik2Buzzer* handle, bool* on);

/// Tone frequency 700..10000 Hz; keeps the volume.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setFrequency(Tavik2Buzzer* handle, uint16_t frequency);

/// Volume 0..51; keeps the frequency.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setVolume(Tavik2Buzzer* handle, uint16_t volume);

/// Switches the buzzer on or off (an out-of-range tone is corrected first).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, driver codes.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setTrigger(Tavik2Buzzer* handle, bool on);

/// Sounds for timeMs milliseconds, in the caller's thread (blocking) or a background thread.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (negative timeMs), ERR_IN_PROGRESS (a buzz
/// already running anywhere), ERR_CREATE_THREAD; blocking: the codes of Buzzer_setTrigger, of switching
/// on or, when that succeeded, of switching off (a buzzer that could not be switched off sounds on).
TAVIK_API ErrorCode TAVIK_CALL Buzzer_buzze(Tavik2Buzzer* handle, int32_t timeMs, bool blocking);
