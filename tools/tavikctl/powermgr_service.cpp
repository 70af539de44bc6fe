#include "powermgr_service.h"

#include "frame/service_control.h"
#include "frame/settings_file.h"
#include "platform/service.h"
#include "platform/sync.h"
#include "power/power_mgr.h"
#include "sim/service_model.h"
#include "sim/supervisor.h"
#include "sim/unit.h"
#include "tavik2/power.h"

namespace tavikctl {
namespace powermgr_service_cmd {

namespace power = tavik::power;
namespace sim = tavik::sim;

constexpr uint32_t kPollStepMs = 50;

int32_t settingInt(const char* key) {
    int32_t value = 0;
    return tavik::frame::parseInt(sim::serviceSetting(key), value) == ERR_SUCCESS ? value : 0;
}

void setSetting(const char* key, int32_t value) { sim::setServiceSetting(key, std::to_string(value)); }

std::string serviceTarget() { return std::string("service:") + tavik::frame::kPlatformServiceName; }

} // namespace powermgr_service_cmd

const char* powerMgrRequestName(int32_t request) {
    using namespace powermgr_service_cmd;
    switch (request) {
    case kPowerMgrSuspend: return "suspend";
    case kPowerMgrShutdown: return "shutdown";
    case kPowerMgrRestart: return "restart";
    default: return "none";
    }
}

PowerMgrService::PowerMgrService(Options options, Report report)
    : options_(options), report_(std::move(report)) {}

void PowerMgrService::start() {
    using namespace powermgr_service_cmd;
    sim::LogQuery q;
    q.last = 1;
    const auto last = sim::Unit::instance().readLog(q);
    logSeen_ = last.empty() ? 0 : last.back().seq;
    setSetting(power::kPowerMgrRequestKey, kPowerMgrNone);
    setSetting(power::kPowerMgrRunningKey, 1);
    report_("power manager running");
}

void PowerMgrService::stop() {
    using namespace powermgr_service_cmd;
    setSetting(power::kPowerMgrRunningKey, 0);
    report_("power manager stopped");
}

void PowerMgrService::handleCode(uint32_t code) {
    using namespace powermgr_service_cmd;
    switch (code) {
    case tavik::frame::kServicePowerMgrRegisterConfig1:
    case tavik::frame::kServicePowerMgrRegisterConfig2:
        ++registered_;
        report_("registration (configuration " +
                std::to_string(code - tavik::frame::kServicePowerMgrRegisterConfig1 + 1) + "), " +
                std::to_string(registered_) + " registered");
        break;
    case tavik::frame::kServicePowerMgrUnregister:
        if (registered_ > 0) --registered_;
        report_("unregistration, " + std::to_string(registered_) + " registered");
        break;
    default:
        if (code > kServiceCycleCodeBase && code <= kServiceCycleCodeBase + kPowerMgrRestart)
            runCycle(static_cast<int32_t>(code - kServiceCycleCodeBase));
        break;
    }
}

void PowerMgrService::answerSupervisor() {
    using namespace powermgr_service_cmd;
    // The supervisor's request, read from the unit without a driver request (the poll is frequent);
    // answered through the library as the unit's service does: the transition says what the
    // front button asked for, the acknowledge clears the request.
    const bool pending = sim::Unit::instance().getValue("power.powerRequest") != 0;
    const bool fresh = pending && !supervisorRequest_;
    supervisorRequest_ = pending;
    if (!fresh) return;
    Tavik2Power* power = GetPower();
    int32_t transition = 0;
    const ErrorCode e = power ? Power_getButtonPowerTransitionStatus(power, &transition) : ERR_MEMORY_ALLOCATION;
    if (power) Power_ackPowerRequest(power);
    Power_release(power);
    const int32_t request = e != ERR_SUCCESS ? kPowerMgrNone
                            : transition == kTransitionSuspend ? kPowerMgrSuspend
                            : transition == kTransitionShutdown ? kPowerMgrShutdown : kPowerMgrNone;
    report_("front button: supervisor requests " + std::string(powerMgrRequestName(request)) +
            (e != ERR_SUCCESS ? " (transition not readable, error " + std::to_string(e) + ")" : ""));
    if (request != kPowerMgrNone) runCycle(request);
}

void PowerMgrService::poll() {
    using namespace powermgr_service_cmd;
    answerSupervisor();
    sim::LogQuery q;
    q.target = serviceTarget();
    q.since = logSeen_;
    for (const sim::LogEntry& e : sim::Unit::instance().readLog(q)) {
        logSeen_ = e.seq;
        if (e.ok) handleCode(e.code);
    }
}

void PowerMgrService::runCycle(int32_t request) {
    using namespace powermgr_service_cmd;
    const int32_t before = settingInt(power::kPowerMgrReadyKey);
    const int expected = registered_;
    report_(std::string(powerMgrRequestName(request)) + " requested, waiting for " + std::to_string(expected) +
            " application(s)");
    setSetting(power::kPowerMgrRequestKey, request);

    // Reports count up from `before` (wrapping as the library does); registrations and
    // unregistrations that arrive meanwhile are taken in.
    int ready = 0;
    int32_t seen = before;
    uint32_t waited = 0;
    while (registered_ > 0 && waited < options_.readyTimeoutMs) {
        tavik::platform::sleepMs(kPollStepMs);
        waited += kPollStepMs;
        poll();
        const int32_t now = settingInt(power::kPowerMgrReadyKey);
        while (seen != now) {
            seen = power::nextReadyCount(seen);
            ++ready;
            if (registered_ > 0) --registered_; // the report ends that registration
        }
    }
    if (registered_ > 0)
        report_("time-out: " + std::to_string(registered_) + " application(s) not ready");
    else
        report_(std::to_string(ready) + " application(s) ready");
    registered_ = 0; // the cycle ends every registration

    if (request == kPowerMgrSuspend) {
        report_("suspended");
        tavik::platform::sleepMs(options_.suspendMs);
    } else {
        sim::Unit::instance().transact([&](sim::Txn& txn) {
            sim::powerCycle(txn, request == kPowerMgrRestart ? sim::kStartupOsRestart : sim::kStartupFrontButton);
        });
        report_(request == kPowerMgrRestart ? "restarted" : "shut down and switched on again");
    }
    setSetting(power::kPowerMgrRequestKey, kPowerMgrNone);
    setSetting(power::kPowerMgrResumeKey, 1);
    ++cycles_;
    report_("resumed");
}

std::unique_ptr<tavik::platform::host::ServiceHostLock> claimService(Context& ctx, const std::string& what) {
    using namespace powermgr_service_cmd;
    uint32_t holder = 0;
    auto lock = tavik::platform::host::ServiceHostLock::acquire(holder);
    if (lock) return lock;
    const std::string who = holder != 0 ? "process " + std::to_string(holder) : "another process";
    if (ctx.json)
        std::cout << json{{"error", {{"what", what}, {"message", "the platform service already runs"}, {"pid", holder}}}}.dump(2)
                  << '\n';
    else
        std::cerr << what << ": the platform service of this unit already runs in " << who
                  << " (one per TAVIK_HOME; stop that one first)\n";
    ctx.fail(kExitRefused);
    return nullptr;
}

ErrorCode requestPowerMgrCycle(int32_t request) {
    using namespace powermgr_service_cmd;
    return tavik::frame::serviceControlError(
        tavik::frame::sendServiceControl(kServiceCycleCodeBase + static_cast<uint32_t>(request)));
}

void runPowerMgrService(PowerMgrService& service, const std::atomic<bool>& stop) {
    using namespace powermgr_service_cmd;
    service.start();
    while (!stop.load()) {
        service.poll();
        tavik::platform::sleepMs(kPollStepMs);
    }
    service.stop();
}

} // namespace tavikctl
