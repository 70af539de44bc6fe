#include "power/power_mgr.h"

#include <limits>
#include <string>

#include "frame/handle.h"
#include "frame/service_control.h"
#include "frame/settings_file.h"
#include "platform/service.h"
#include "platform/sync.h"

namespace tavik::power {
namespace {

int32_t readKey(frame::SettingsFile& store, const char* key) {
    int32_t value = 0;
    return store.getInt(key, value) == ERR_SUCCESS ? value : 0;
}

// A service that is not running is no error: after the last attempt the caller goes on.
void waitForService() {
    for (int attempt = 0; attempt < kServiceWaitAttempts; ++attempt) {
        if (powerMgrServiceRunning()) return;
        platform::sleepMs(kServiceWaitStepMs);
    }
}

// The outcome (service absent, code refused) changes no result.
void tellService(uint32_t code) { frame::sendServiceControl(code); }

} // namespace

int32_t readPowerMgrKey(const char* key) {
    frame::SettingsFile store;
    store.load();
    return readKey(store, key);
}

void writePowerMgrKey(const char* key, int32_t value) {
    frame::SettingsFile store;
    store.load();
    store.setInt(key, value);
}

bool powerMgrServiceRunning() {
    return readPowerMgrKey(kPowerMgrRunningKey) != 0 && !platform::serviceHostDied(frame::kPlatformServiceName);
}

int32_t nextReadyCount(int32_t n) { return n == std::numeric_limits<int32_t>::max() ? 1 : n + 1; }

PowerMgr_Imp::PowerMgr_Imp() {
    waitForService();
    writePowerMgrKey(kPowerMgrResumeKey, 1);
}

void PowerMgr_Imp::release() {
    if (configuration_ != 0) tellService(frame::kServicePowerMgrUnregister);
    delete this;
}

ErrorCode PowerMgr_Imp::registerControlledSuspendOrShutDown(int32_t configuration) {
    waitForService();
    switch (configuration) {
    case 0:
        if (configuration_ != 0) {
            tellService(frame::kServicePowerMgrUnregister);
            configuration_ = 0;
        }
        return ERR_SUCCESS;
    case 1:
    case 2:
        // Switching between the two needs an unregistration first.
        if (configuration_ == configuration) return ERR_SUCCESS;
        if (configuration_ != 0) return ERR_INVALID_PARAMETER;
        tellService(configuration == 1 ? frame::kServicePowerMgrRegisterConfig1
                                       : frame::kServicePowerMgrRegisterConfig2);
        configuration_ = configuration;
        return ERR_SUCCESS;
    default:
        return ERR_INVALID_PARAMETER;
    }
}

ErrorCode PowerMgr_Imp::getConfiguration(int32_t* configuration) {
    if (configuration == nullptr) return ERR_INVALID_PARAMETER;
    *configuration = configuration_;
    return ERR_SUCCESS;
}

ErrorCode PowerMgr_Imp::getPowerMgrStatus(int32_t* status) {
    if (status == nullptr) return ERR_INVALID_PARAMETER;
    const int32_t request = readPowerMgrKey(kPowerMgrRequestKey);
    *status = request >= 0 && request <= kHighestPowerMgrRequest ? request : 0;
    return ERR_SUCCESS;
}

// The count goes up inside one hold of the store's lock, so that reports of several processes
// are never lost. "Resumed" is cleared in that same hold, before the count can be seen: cleared in
// a second hold, a service that sees the last report, suspends and resumes in between would have
// its resume overwritten and the application would wait for it for ever. The report ends the
// registration; the service knows it without a code. Both keys go in one rewrite: a report that
// cannot be written reaches no service, so it fails and the registration stays.
ErrorCode PowerMgr_Imp::setAppReadyForSuspendOrShutdown() {
    {
        frame::SettingsFile store;
        store.load();
        const int32_t next = nextReadyCount(readKey(store, kPowerMgrReadyKey));
        if (!store.set({{kPowerMgrResumeKey, "0"}, {kPowerMgrReadyKey, std::to_string(next)}}))
            return ERR_DEVICE_WRITE_DATA_FAILED;
    }
    configuration_ = 0;
    return ERR_SUCCESS;
}

ErrorCode PowerMgr_Imp::hasResumed(bool* resumed) {
    if (resumed == nullptr) return ERR_INVALID_PARAMETER;
    *resumed = readPowerMgrKey(kPowerMgrResumeKey) != 0;
    return ERR_SUCCESS;
}

} // namespace tavik::power

using tavik::frame::Family;
using tavik::frame::forward;
using tavik::power::PowerMgr_Imp;
using Varnholtstad::PowerMgr;

TAVIK_API PowerMgr* TAVIK_CALL GetPowerMgr(void) { return tavik::frame::createFresh<PowerMgr_Imp>(); }

TAVIK_API void TAVIK_CALL PowerMgr_release(PowerMgr* h) { tavik::frame::forwardRelease<Family::PowerMgr>(h); }

TAVIK_API ErrorCode TAVIK_CALL PowerMgr_registerControlledSuspendOrShutDown(PowerMgr* h, int32_t configuration) {
    return forward<Family::PowerMgr>(h, &PowerMgr::registerControlledSuspendOrShutDown, configuration);
}

TAVIK_API ErrorCode TAVIK_CALL PowerMgr_getConfiguration(PowerMgr* h, int32_t* configuration) {
    return forward<Family::PowerMgr>(h, &PowerMgr::getConfiguration, configuration);
}

TAVIK_API ErrorCode TAVIK_CALL PowerMgr_getPowerMgrStatus(PowerMgr* h, int32_t* status) {
    return forward<Family::PowerMgr>(h, &PowerMgr::getPowerMgrStatus, status);
}

TAVIK_API ErrorCode TAVIK_CALL PowerMgr_setAppReadyForSuspendOrShutdown(PowerMgr* h) {
    return forward<Family::PowerMgr>(h, &PowerMgr::setAppReadyForSuspendOrShutdown);
}

TAVIK_API ErrorCode TAVIK_CALL PowerMgr_hasResumed(PowerMgr* h, bool* resumed) {
    return forward<Family::PowerMgr>(h, &PowerMgr::hasResumed, resumed);
}
