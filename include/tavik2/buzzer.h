// Buzzer tone, trigger and timed buzz. One buzz at a time across all processes.
// Every operation returns ERR_NOT_SUPPORTED (2) on a unit without a buzzer.
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
typedef struct Tavik2Buzzer Tavik2Buzzer;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Buzzer* TAVIK_CALL GetBuzzer(void);

// Ends this object's background buzz, waits while any buzz sounds, then destroys the object.
TAVIK_API void TAVIK_CALL Buzzer_release(Tavik2Buzzer* handle);

// Tone frequency in hertz.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_getFrequency(Tavik2Buzzer* handle, uint16_t* frequency);

// Volume 0..51.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_getVolume(Tavik2Buzzer* handle, uint16_t* volume);

// Whether the buzzer is switched on.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_getTrigger(Tavik2Buzzer* handle, bool* on);

// Tone frequency 700..10000 Hz, else ERR_INVALID_PARAMETER (9); keeps the volume.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setFrequency(Tavik2Buzzer* handle, uint16_t frequency);

// Volume 0..51, else ERR_INVALID_PARAMETER (9); keeps the frequency.
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setVolume(Tavik2Buzzer* handle, uint16_t volume);

// Switches the buzzer on or off (an out-of-range tone is corrected first).
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setTrigger(Tavik2Buzzer* handle, bool on);

// Sounds for timeMs milliseconds, in the caller's thread or a background thread; a buzz already running
// anywhere: ERR_IN_PROGRESS (11).
TAVIK_API ErrorCode TAVIK_CALL Buzzer_buzze(Tavik2Buzzer* handle, int32_t timeMs, bool blocking);
