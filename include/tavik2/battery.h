// Optional backup battery. Needs system supervisor firmware 1.3.0.0; every operation except
// isBatteryPresent returns ERR_NOT_SUPPORTED (2) when no battery is fitted or the firmware is older.
#pragma once

#include "defs.h"
#include "error_code.h"

namespace Varnholtstad {

// Battery time counters: each field combines two 16-bit battery registers as first * 60 + second.
struct BatteryTimer {
    uint32_t counter[9];
};
static_assert(sizeof(BatteryTimer) == 36, "BatteryTimer is nine 32-bit counters");

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Battery {
    virtual ErrorCode isBatteryPresent(bool* present) = 0;
    virtual ErrorCode getBatteryVoltageStatus(uint8_t* percent) = 0;
    virtual ErrorCode getBatteryChargingStatus(int32_t* status) = 0;
    virtual ErrorCode getPowerSource(int32_t* source) = 0;
    virtual ErrorCode getBatteryTemp(int16_t* temperature) = 0;
    virtual ErrorCode getHwErrorStatus(int32_t* status) = 0;
    virtual ErrorCode getTimer(BatteryTimer* timer) = 0;
    virtual ErrorCode getMinMaxTemp(int16_t* minTemp, int16_t* maxTemp) = 0;
    virtual ErrorCode getBatteryHWversion(char* buffer, int32_t length) = 0;
    virtual ErrorCode getBatterySwVersion(uint16_t* major, uint16_t* minor, uint16_t* releaseNr,
        uint16_t* build) = 0;
    virtual ErrorCode getBatterySerial(char* buffer, int32_t length) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Varnholtstad::Battery* TAVIK_CALL GetBattery(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL Battery_release(Varnholtstad::Battery* handle);

// Whether a battery is fitted; old supervisor firmware: ERR_NEWER_SS_VERSION_REQUIRED (25).
TAVIK_API ErrorCode TAVIK_CALL Battery_isBatteryPresent(Varnholtstad::Battery* handle, bool* present);

// Charge level 0..100 %, linear between 8.1 V and 12.3 V.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryVoltageStatus(Varnholtstad::Battery* handle,
    uint8_t* percent);

// Charging state 0..4.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryChargingStatus(Varnholtstad::Battery* handle,
    int32_t* status);

// Power source: 1 or 0.
TAVIK_API ErrorCode TAVIK_CALL Battery_getPowerSource(Varnholtstad::Battery* handle, int32_t* source);

// Battery temperature as reported.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryTemp(Varnholtstad::Battery* handle, int16_t* temperature);

// Battery error state 0..5.
TAVIK_API ErrorCode TAVIK_CALL Battery_getHwErrorStatus(Varnholtstad::Battery* handle, int32_t* status);

// The nine time counters; a failing read stops, fields already filled stay.
TAVIK_API ErrorCode TAVIK_CALL Battery_getTimer(Varnholtstad::Battery* handle,
    Varnholtstad::BatteryTimer* timer);

// Lowest and highest recorded battery temperature, degrees Celsius.
TAVIK_API ErrorCode TAVIK_CALL Battery_getMinMaxTemp(Varnholtstad::Battery* handle, int16_t* minTemp,
    int16_t* maxTemp);

// Hardware version as text "major.minor".
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryHWversion(Varnholtstad::Battery* handle, char* buffer,
    int32_t length);

// Software version, four parts; a null pointer gives ERR_IOCTRL_FAILED (7) when its turn comes.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatterySwVersion(Varnholtstad::Battery* handle, uint16_t* major,
    uint16_t* minor, uint16_t* releaseNr, uint16_t* build);

// Serial number, 10 characters; length must be at least 11.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatterySerial(Varnholtstad::Battery* handle, char* buffer,
    int32_t length);
