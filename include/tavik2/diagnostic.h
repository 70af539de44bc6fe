/// \file
/// Health record of the system supervisor: temperatures, start-up and shut-down reasons, hardware
/// error status, operating-time counters, power cycles. Texts for the codes: messages.h.
///
/// Shared by every function here: null out-pointers give ERR_INVALID_PARAMETER; requests to the driver
/// give driver codes.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// The supervisor's operating-time counters as the driver delivers them; the layout belongs to the
// supervisor firmware and is passed through unchanged.
struct DiagnosticTimes {
    uint8_t raw[28];
};
static_assert(sizeof(DiagnosticTimes) == 28, "DiagnosticTimes is the 28-byte timer record");

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Diagnostic {
    virtual ErrorCode getSSTemp(int16_t* temperature) = 0;
    virtual ErrorCode getPCBTemp(int16_t* temperature) = 0;
    virtual ErrorCode getPMTemp(uint8_t sensorIndex, int16_t* temperature, int32_t* sensorType) = 0;
    virtual ErrorCode getStartupReason(uint16_t* reason) = 0;
    virtual ErrorCode getShutDownReason(uint16_t* reason) = 0;
    virtual ErrorCode getHwErrorStatus(uint16_t* status) = 0;
    virtual ErrorCode getTimer(DiagnosticTimes* times) = 0;
    virtual ErrorCode getMinMaxTemp(int16_t* minTemp, int16_t* maxTemp) = 0;
    virtual ErrorCode getPowerCycles(uint16_t* powerCycles) = 0;
    virtual ErrorCode clearHwErrorStatus() = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Diagnostic Tavik2Diagnostic;
typedef Varnholtstad::DiagnosticTimes Tavik2DiagnosticTimes;
#else
/// Handle of the Diagnostic object (Varnholtstad::Diagnostic in C++).
typedef struct Tavik2Diagnostic Tavik2Diagnostic;
/// The supervisor's operating-time counters as the driver delivers them (Varnholtstad::DiagnosticTimes
/// in C++).
typedef struct Tavik2DiagnosticTimes {
    uint8_t raw[28]; ///< Layout of the supervisor firmware, passed through unchanged.
} Tavik2DiagnosticTimes;
TAVIK_LAYOUT_CHECK(sizeof(Tavik2DiagnosticTimes) == 28, diagnostic_times_size);
#endif

/// The process-wide shared object (same pointer on every call, counted); null when it could not be allocated.
TAVIK_API Tavik2Diagnostic* TAVIK_CALL GetDiagnostic(void);

/// Drops one reference; the last release closes what the object opened and destroys it.
TAVIK_API void TAVIK_CALL Diagnostic_release(Tavik2Diagnostic* handle);

/// System supervisor temperature, degrees Celsius.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null temperature), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getSSTemp(Tavik2Diagnostic* handle, int16_t* temperature);

/// Main board temperature, degrees Celsius.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null temperature), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getPCBTemp(Tavik2Diagnostic* handle, int16_t* temperature);

/// Temperature (degrees Celsius, truncated) and type word of CPU-board sensor sensorIndex,
/// from the board maker's library.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (either pointer null), ERR_GET_TEMP (board not opened, no such
/// sensor, or no valid reading).
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getPMTemp(Tavik2Diagnostic* handle, uint8_t sensorIndex,
    int16_t* temperature, int32_t* sensorType);

/// Code of the last start-up reason (GetStartupReasonStringA/W).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null reason), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getStartupReason(Tavik2Diagnostic* handle,
    uint16_t* reason);

/// Code of the last shut-down reason.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null reason), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getShutDownReason(Tavik2Diagnostic* handle,
    uint16_t* reason);

/// Current hardware error code, 0 = none (GetHwErrorStatusStringA/W).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null status), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getHwErrorStatus(Tavik2Diagnostic* handle,
    uint16_t* status);

/// The supervisor's operating-time counters, copied unchanged.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null times), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getTimer(Tavik2Diagnostic* handle,
    Tavik2DiagnosticTimes* times);

/// Lowest and highest temperature recorded, degrees Celsius.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null minTemp or maxTemp), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getMinMaxTemp(Tavik2Diagnostic* handle, int16_t* minTemp,
    int16_t* maxTemp);

/// Number of power cycles.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null powerCycles), driver codes.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getPowerCycles(Tavik2Diagnostic* handle,
    uint16_t* powerCycles);

/// Clears the supervisor's hardware error status.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED, ERR_IOCTRL_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_clearHwErrorStatus(Tavik2Diagnostic* handle);
