// Four-part versions (major, minor, release, build) of the programmable parts, this library,
// the operating system image and the auxiliary driver.
#pragma once

#include "defs.h"
#include "error_code.h"

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

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Varnholtstad::AuxVersion* TAVIK_CALL GetAuxVersion(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL AuxVersion_release(Varnholtstad::AuxVersion* handle);

// FPGA version (from the driver); pointers are not checked.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getFPGAVersion(Varnholtstad::AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

// System supervisor firmware version (from the driver); pointers are not checked.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getSSVersion(Varnholtstad::AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

// Front microcontroller firmware version (from the driver); pointers are not checked.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getFrontVersion(Varnholtstad::AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

// Version of this library.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getTavikVersion(Varnholtstad::AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

// Operating system image version from the OEM information file; any null pointer: ERR_INVALID_PARAMETER (9).
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getOSVersion(Varnholtstad::AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);

// Auxiliary driver version; pointers are not checked.
TAVIK_API ErrorCode TAVIK_CALL AuxVersion_getTavikDrvVersion(Varnholtstad::AuxVersion* handle, uint8_t* major,
    uint8_t* minor, uint8_t* releaseNr, uint8_t* build);
