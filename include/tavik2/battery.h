/// \file
/// Optional backup battery. Needs system supervisor firmware 1.3.0.0.
///
/// Shared by every function here except isBatteryPresent: ERR_NOT_SUPPORTED when no battery is fitted
/// or the firmware is older (decided when the object is made), checked before the out-pointers. A
/// battery register read fails with ERR_IOCTRL_FAILED (also when the driver could not be opened) or
/// ERR_BUFFER_SIZE (a reply of the wrong size).
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
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

typedef Varnholtstad::Battery Tavik2Battery;
typedef Varnholtstad::BatteryTimer Tavik2BatteryTimer;
#else
/// Handle of a Battery object (Varnholtstad::Battery in C++).
typedef struct Tavik2Battery Tavik2Battery;
/// Battery time counters (Varnholtstad::BatteryTimer in C++).
typedef struct Tavik2BatteryTimer {
    uint32_t counter[9]; ///< Each combines two 16-bit battery registers as first * 60 + second.
} Tavik2BatteryTimer;
TAVIK_LAYOUT_CHECK(sizeof(Tavik2BatteryTimer) == 36, battery_timer_size);
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Battery* TAVIK_CALL GetBattery(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL Battery_release(Tavik2Battery* handle);

/// Whether a battery is fitted, from the main identity record.
/// \return ERR_SUCCESS, ERR_NEWER_SS_VERSION_REQUIRED (older supervisor firmware), ERR_EEPROM (no record),
/// ERR_INVALID_PARAMETER (null present).
TAVIK_API ErrorCode TAVIK_CALL Battery_isBatteryPresent(Tavik2Battery* handle, bool* present);

/// Charge level 0..100 %, linear between 8.1 V and 12.3 V.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null percent), ERR_IOCTRL_FAILED,
/// ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryVoltageStatus(Tavik2Battery* handle,
    uint8_t* percent);

/// Charging state 0..4.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null status), ERR_IOCTRL_FAILED,
/// ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryChargingStatus(Tavik2Battery* handle,
    int32_t* status);

/// Power source: 1 or 0.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null source), ERR_IOCTRL_FAILED,
/// ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL Battery_getPowerSource(Tavik2Battery* handle, int32_t* source);

/// Battery temperature as reported.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null temperature), ERR_IOCTRL_FAILED,
/// ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryTemp(Tavik2Battery* handle, int16_t* temperature);

/// Battery error state 0..5.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null status), ERR_IOCTRL_FAILED,
/// ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL Battery_getHwErrorStatus(Tavik2Battery* handle, int32_t* status);

/// The nine time counters. A failing read stops: the counters before it stay written.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null timer), ERR_IOCTRL_FAILED,
/// ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL Battery_getTimer(Tavik2Battery* handle,
    Tavik2BatteryTimer* timer);

/// Lowest and highest recorded battery temperature, degrees Celsius.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (null minTemp or maxTemp),
/// ERR_IOCTRL_FAILED, ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL Battery_getMinMaxTemp(Tavik2Battery* handle, int16_t* minTemp,
    int16_t* maxTemp);

/// Hardware version as text "major.minor" (text out).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_IOCTRL_FAILED, ERR_BUFFER_SIZE (also buffer too small),
/// ERR_INVALID_PARAMETER (null buffer).
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryHWversion(Tavik2Battery* handle, char* buffer,
    int32_t length);

/// Software version, four parts read one after the other: on a failure the parts
/// before it stay written. A null pointer gives ERR_IOCTRL_FAILED when its turn comes.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_IOCTRL_FAILED, ERR_BUFFER_SIZE.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatterySwVersion(Tavik2Battery* handle, uint16_t* major,
    uint16_t* minor, uint16_t* releaseNr, uint16_t* build);

/// Serial number, 10 characters (text out); length must be at least 11.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_BUFFER_SIZE (length below 11, or a reply of the wrong size),
/// ERR_INVALID_PARAMETER (null buffer), ERR_IOCTRL_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatterySerial(Tavik2Battery* handle, char* buffer,
    int32_t length);
