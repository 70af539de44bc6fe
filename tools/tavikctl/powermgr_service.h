// The platform service's side of the power-manager protocol, as the service host of the simulated
// unit (`tavikctl service run`) plays it:
// - while it runs, "PowerMgrRunning" is 1 (0 again when it stops);
// - it counts registrations from the control codes it accepted (134, 135 register; 133 ends one);
// - asked for a suspend, shutdown or restart (control codes 140..142, sent by
//   `tavikctl service suspend|shutdown|restart`), it posts the request in "PowerMgrReq", waits until
//   every registered application has reported ready ("PowerMgrAppReadyReq" counted up once per
//   application; each report ends that registration) or until the time-out, then carries it out on
//   the simulated unit (a shutdown or restart is a power cycle of the supervisor), clears the
//   request and sets "PowerMgrResume" to 1;
// - a power request of the supervisor (the front button) is acknowledged and carried out as the
//   button's transition says: 2 a suspend, 3 a shutdown.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cli.h"
#include "platform/host/service_host.h"
#include "tavik2/error_code.h"

namespace tavikctl {

// Requests the service posts in "PowerMgrReq".
enum PowerMgrRequest : int32_t { kPowerMgrNone = 0, kPowerMgrSuspend = 1, kPowerMgrShutdown = 2, kPowerMgrRestart = 3 };

// Control codes that ask the service for a cycle: 139 + the request.
constexpr uint32_t kServiceCycleCodeBase = 139;

// Button power transitions of the simulated supervisor: held, then what its release asks for.
constexpr int32_t kTransitionHeld = 1, kTransitionSuspend = 2, kTransitionShutdown = 3;

const char* powerMgrRequestName(int32_t request);

class PowerMgrService {
public:
    struct Options {
        uint32_t readyTimeoutMs = 30000; // longest wait for the ready reports (unit time)
        uint32_t suspendMs = 1000;       // how long the unit stays suspended (unit time)
    };
    using Report = std::function<void(const std::string&)>;

    PowerMgrService(Options options, Report report);

    // Sets "PowerMgrRunning" to 1 and "PowerMgrReq" to 0; codes sent before this are not counted.
    void start();
    // Sets "PowerMgrRunning" to 0.
    void stop();
    // Takes in the control codes accepted since the last poll; a cycle request runs the whole
    // cycle before it returns. Call it often (e.g. every 50 ms of unit time).
    void poll();
    // One whole cycle; what the service does on request codes 140..142.
    void runCycle(int32_t request);

    int registered() const { return registered_; }
    int cyclesDone() const { return cycles_; }

private:
    void handleCode(uint32_t code);
    void answerSupervisor();

    Options options_;
    Report report_;
    uint64_t logSeen_ = 0;
    int registered_ = 0;
    int cycles_ = 0;
    bool supervisorRequest_ = false;
};

// `tavikctl service suspend|shutdown|restart`: asks the running service for a cycle.
ErrorCode requestPowerMgrCycle(int32_t request);

// Takes the home's one service lock for the caller's whole run. Null when another process runs
// the service: that is reported (naming the process) with exit status kExitRefused.
std::unique_ptr<tavik::platform::host::ServiceHostLock> claimService(Context& ctx, const std::string& what);

// The service's loop until `stop` becomes true: start, poll, stop.
void runPowerMgrService(PowerMgrService& service, const std::atomic<bool>& stop);

} // namespace tavikctl
