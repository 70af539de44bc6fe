/// \file
/// Multi-colour front LED: blink pattern (on time, off time, idle time, pulses, or frequency and
/// duty cycle), colour and start-up behaviour. With LED dimming on (Backlight_setLedDimming) a
/// single-colour LED follows the backlight level.
///
/// Shared by every function here: out-of-range values give ERR_INVALID_PARAMETER; null out-pointers
/// give ERR_INVALID_PARAMETER; driver requests give driver codes. The pattern setters read the signal
/// record and write it back with one field changed.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct FrontLED {
    virtual ErrorCode getSignal(double* frequency, uint8_t* dutyCycle) = 0;
    virtual ErrorCode getOnTime(uint8_t* time) = 0;
    virtual ErrorCode getOffTime(uint8_t* time) = 0;
    virtual ErrorCode getIdleTime(uint8_t* time) = 0;
    virtual ErrorCode getNrOfPulses(uint8_t* count) = 0;
    virtual ErrorCode getStandardColor(int32_t* color) = 0;
    virtual ErrorCode getColor(uint8_t* red, uint8_t* green, uint8_t* blue) = 0;
    virtual ErrorCode getEnabledDuringStartup(int32_t* enabled) = 0;
    virtual ErrorCode setSignal(double frequency, uint8_t dutyCycle) = 0;
    virtual ErrorCode setOnTime(uint8_t time) = 0;
    virtual ErrorCode setOffTime(uint8_t time) = 0;
    virtual ErrorCode setIdleTime(uint8_t time) = 0;
    virtual ErrorCode setNrOfPulses(uint8_t count) = 0;
    virtual ErrorCode setStandardColor(int32_t color) = 0;
    virtual ErrorCode setColor(uint8_t red, uint8_t green, uint8_t blue) = 0;
    virtual ErrorCode setOff() = 0;
    virtual ErrorCode setEnabledDuringStartup(int32_t enabled) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::FrontLED Tavik2FrontLED;
#else
/// Handle of the FrontLED object (Varnholtstad::FrontLED in C++).
typedef struct Tavik2FrontLED Tavik2FrontLED;
#endif

/// The process-wide shared object (same pointer on every call, counted); null when it could not be allocated.
TAVIK_API Tavik2FrontLED* TAVIK_CALL GetFrontLED(void);

/// Drops one reference; the last release closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL FrontLED_release(Tavik2FrontLED* handle);

/// Blink frequency in hertz and duty cycle in percent, from the on and off times.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (either pointer null), driver codes, ERR_INVALID_DATA
/// (on and off time both 0).
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getSignal(Tavik2FrontLED* handle, double* frequency,
    uint8_t* dutyCycle);

/// On time, hundredths of a second.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null time), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getOnTime(Tavik2FrontLED* handle, uint8_t* time);

/// Off time, hundredths of a second.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null time), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getOffTime(Tavik2FrontLED* handle, uint8_t* time);

/// Idle time between pulse groups.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null time), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getIdleTime(Tavik2FrontLED* handle, uint8_t* time);

/// Number of pulses per group.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null count), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getNrOfPulses(Tavik2FrontLED* handle, uint8_t* count);

/// Index 0..5 of the standard colour shown, 6 when the colour is none of them.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null color), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getStandardColor(Tavik2FrontLED* handle, int32_t* color);

/// Colour components, 0..15 each.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null pointer), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getColor(Tavik2FrontLED* handle, uint8_t* red, uint8_t* green,
    uint8_t* blue);

/// 1 when the supervisor lights the LED during start-up, else 0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null enabled), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getEnabledDuringStartup(Tavik2FrontLED* handle,
    int32_t* enabled);

/// Blink frequency 0.2..50 Hz and duty cycle 0..100 %; on and off time must each fit 2.55 s.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (out of range, NaN, or times that do not fit), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setSignal(Tavik2FrontLED* handle, double frequency,
    uint8_t dutyCycle);

/// On time, hundredths of a second.
/// \return ERR_SUCCESS, driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setOnTime(Tavik2FrontLED* handle, uint8_t time);

/// Off time, hundredths of a second.
/// \return ERR_SUCCESS, driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setOffTime(Tavik2FrontLED* handle, uint8_t time);

/// Idle time between pulse groups.
/// \return ERR_SUCCESS, driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setIdleTime(Tavik2FrontLED* handle, uint8_t time);

/// Number of pulses per group.
/// \return ERR_SUCCESS, driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setNrOfPulses(Tavik2FrontLED* handle, uint8_t count);

/// Standard colour 0..5 (red, green, blue, cyan, magenta, orange).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setStandardColor(Tavik2FrontLED* handle, int32_t color);

/// Colour components, 0..15 each.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (out of range), driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setColor(Tavik2FrontLED* handle, uint8_t red, uint8_t green,
    uint8_t blue);

/// Switches the LED off (on time 0); the other fields stay.
/// \return ERR_SUCCESS, driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setOff(Tavik2FrontLED* handle);

/// 1 lets the supervisor light the LED during start-up; any other value stops it.
/// \return ERR_SUCCESS, driver codes.
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setEnabledDuringStartup(Tavik2FrontLED* handle,
    int32_t enabled);
