/// \file
/// Four-part versions (major, minor, release, build) of the programmable parts, this library,
/// the operating system image and the auxiliary driver.
///
/// Shared by every function here: any of the four pointers null gives ERR_INVALID_PARAMETER; all four
/// are written on success only.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct AuxVersion {
    virtual ErrorCode getFPGAVersion(uint8_t* major, uint8_t* minor, uint8_t* releaseNr, uint8_t* build) = 0;
    virtual ErrorCode getSSVersion(uint8_t* major, uint8_t* minor, uint8_t* releaseNr, uint8_t* build) = 0;
    virtual ErrorCode getFrontVersion(uint8_t* major, uint8_t* minor, uint8_t* releaseNr, uint8_t* build) = 0;
    virtual ErrorCode getTavikVersion(uint8_t* major, uint8_t* minor, uint8_t* releaseNr, uint8_t* build) = 0;
    virtual ErrorCode getOSVersion(uint8_t* major, uint8_t* minor, uint8_t* releaseNr, uint8_t* build) = 0;
    virtual ErrorCode getTavikDrvVersion(uint8_t* major, uint8_t* minor, uint8_t* releaseNr,
        uint8_t* build) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::AuxVersion Tavik2AuxVersion;
#else
/// Handle of an AuxVersion object (Varnholtstad::AuxVersion in C++).
typedef struct Tavik2AuxVersion Tavik2AuxVersion;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2AuxVersion* TAVIK_CALL GetAuxVersion(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL AuxVersion_release(Tavik2AuxVersion* handle);

/// FPGA version, from the driver.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, driver codes.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getFPGAVersion(Tavik2AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

/// System supervisor firmware version, from the driver.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, driver codes.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getSSVersion(Tavik2AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

/// Front microcontroller firmware version, from the driver.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, driver codes.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getFrontVersion(Tavik2AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

/// Version of this library.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getTavikVersion(Tavik2AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

/// Operating system image version, from the OEM information file (the first "v" and digit).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (any null pointer), ERR_OPEN_FAILED (file missing),
/// ERR_COMMAND_FAILED (no readable or well-formed version).
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getOSVersion(Tavik2AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

/// Auxiliary driver version.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, driver codes.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getTavikDrvVersion(Tavik2AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);
