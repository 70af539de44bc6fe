// The PowerMgr family: an application's part in a controlled suspend or shutdown run by the
// platform service. Registration goes to the service as control codes; the request, the ready
// reports and the resume travel through four integer keys of the settings file.
#pragma once

#include <cstdint>

#include "tavik2/power_mgr.h"

namespace tavik::power {

// Keys shared with the platform service.
constexpr const char* kPowerMgrRunningKey = "PowerMgrRunning";         // non-zero while the service runs
constexpr const char* kPowerMgrRequestKey = "PowerMgrReq";             // the service's request, 0..3
constexpr const char* kPowerMgrReadyKey = "PowerMgrAppReadyReq";       // counter of ready reports
constexpr const char* kPowerMgrResumeKey = "PowerMgrResume";           // non-zero once resumed

// Waiting for the service: this many readings of "PowerMgrRunning", this far apart.
constexpr int kServiceWaitAttempts = 20;
constexpr uint32_t kServiceWaitStepMs = 100;

// Requests the service may post in "PowerMgrReq"; anything else reads as none.
constexpr int32_t kHighestPowerMgrRequest = 3;

// A key read as an integer in its own use of the settings store; 0 when missing or not a number.
int32_t readPowerMgrKey(const char* key);
void writePowerMgrKey(const char* key, int32_t value);

// The counter after one more ready report: n + 1, and 1 after the largest 32-bit value (the
// count starts again as from a missing key).
int32_t nextReadyCount(int32_t n);

// Whether the service runs: "PowerMgrRunning" is non-zero and the process that set it has not
// died without clearing it (a killed service leaves the key set).
bool powerMgrServiceRunning();

// Fresh object per factory call.
class PowerMgr_Imp final : public Varnholtstad::PowerMgr {
public:
    PowerMgr_Imp();

    ErrorCode registerControlledSuspendOrShutDown(int32_t configuration) override;
    ErrorCode getConfiguration(int32_t* configuration) override;
    ErrorCode getPowerMgrStatus(int32_t* status) override;
    ErrorCode setAppReadyForSuspendOrShutdown() override;
    ErrorCode hasResumed(bool* resumed) override;
    void release() override;

private:
    int32_t configuration_ = 0; // 0 not registered, else 1 or 2
};

} // namespace tavik::power
