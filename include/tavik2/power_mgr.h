/// \file
/// Taking part in a controlled suspend or shutdown run by the platform service: register, poll the
/// service's request, report ready, learn of the resume. GetPowerMgr and register wait up to about
/// 2 s for the service; a service that does not answer is no error.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct PowerMgr {
    virtual ErrorCode registerControlledSuspendOrShutDown(int32_t configuration) = 0;
    virtual ErrorCode getConfiguration(int32_t* configuration) = 0;
    virtual ErrorCode getPowerMgrStatus(int32_t* status) = 0;
    virtual ErrorCode setAppReadyForSuspendOrShutdown() = 0;
    virtual ErrorCode hasResumed(bool* resumed) = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::PowerMgr Tavik2PowerMgr;
#else
/// Handle of a PowerMgr object (Varnholtstad::PowerMgr in C++).
typedef struct Tavik2PowerMgr Tavik2PowerMgr;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2PowerMgr* TAVIK_CALL GetPowerMgr(void);

/// Unregisters if registered and destroys the object.
TAVIK_API void TAVIK_CALL PowerMgr_release(Tavik2PowerMgr* handle);

/// Registers with configuration 1 or 2, or unregisters with 0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (any other configuration, or switching between 1 and 2
/// without unregistering).
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_registerControlledSuspendOrShutDown(Tavik2PowerMgr* handle,
    int32_t configuration);

/// Registered configuration 0..2 (0: not registered).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null configuration).
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_getConfiguration(Tavik2PowerMgr* handle,
    int32_t* configuration);

/// The service's current request 0..3 (0 when none or unreadable).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null status).
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_getPowerMgrStatus(Tavik2PowerMgr* handle, int32_t* status);

/// Reports that this application is ready; ends the registration.
/// \return ERR_SUCCESS, ERR_DEVICE_WRITE_DATA_FAILED (the settings file could not be written: the
/// report did not reach the service and the registration stays).
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_setAppReadyForSuspendOrShutdown(Tavik2PowerMgr* handle);

/// Whether the unit has resumed since the ready report.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null resumed).
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_hasResumed(Tavik2PowerMgr* handle, bool* resumed);
