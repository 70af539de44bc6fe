// Taking part in a controlled suspend or shutdown run by the platform service: register, poll the
// service's request, report ready, learn of the resume. GetPowerMgr and register wait up to about
// 2 s for the service.
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
typedef struct Tavik2PowerMgr Tavik2PowerMgr;
#endif

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2PowerMgr* TAVIK_CALL GetPowerMgr(void);

// Unregisters if registered and destroys the object.
TAVIK_API void TAVIK_CALL PowerMgr_release(Tavik2PowerMgr* handle);

// Registers with configuration 1 or 2, or unregisters with 0; switching between 1 and 2 directly:
// ERR_INVALID_PARAMETER (9).
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_registerControlledSuspendOrShutDown(Tavik2PowerMgr* handle,
    int32_t configuration);

// Registered configuration 0..2 (0: not registered).
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_getConfiguration(Tavik2PowerMgr* handle,
    int32_t* configuration);

// The service's current request 0..3.
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_getPowerMgrStatus(Tavik2PowerMgr* handle, int32_t* status);

// Reports that this application is ready; ends the registration.
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_setAppReadyForSuspendOrShutdown(Tavik2PowerMgr* handle);

// Whether the unit has resumed since the ready report.
TAVIK_API ErrorCode TAVIK_CALL PowerMgr_hasResumed(Tavik2PowerMgr* handle, bool* resumed);
