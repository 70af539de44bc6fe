// tavikctl powermgr: an application's part in a controlled suspend or shutdown (PowerMgr
// family), and the power-manager side of the platform service on the simulated unit.
#include <atomic>
#include <csignal>
#include <thread>

#include "powermgr_service.h"
#include "readings.h"
#include "platform/sync.h"
#include "power/power_mgr.h"
#include "tavik2/power_mgr.h"

namespace tavikctl {
namespace powermgr_cmd {

using Varnholtstad::PowerMgr;

constexpr uint32_t kWatchStepMs = 100;

// A registration with no service reaches nobody: no request would ever come. The library
// accepts it (an absent service is no error); the tool says so instead of waiting in vain.
bool serviceRuns(Context& ctx, const std::string& what) {
    if (tavik::power::powerMgrServiceRunning()) return true;
    if (ctx.json)
        std::cout << json{{"error", {{"what", what}, {"message", "no power-manager service runs on this unit"}}}}.dump(2)
                  << '\n';
    else
        std::cerr << what << ": no power-manager service runs on this unit (tavikctl service run starts one)\n";
    ctx.fail(kExitUnreachable);
    return false;
}

// Registers (or unregisters) one object; its release at exit unregisters it again.
void registerOnce(Context& ctx, int32_t configuration) {
    PowerMgr* h = GetPowerMgr();
    if (h == nullptr) {
        failWith(ctx, "powermgr", ERR_MEMORY_ALLOCATION);
        return;
    }
    if (configuration != 0 && !serviceRuns(ctx, "register")) {
        PowerMgr_release(h);
        return;
    }
    const ErrorCode e = PowerMgr_registerControlledSuspendOrShutDown(h, configuration);
    int32_t now = 0, request = 0;
    PowerMgr_getConfiguration(h, &now);
    PowerMgr_getPowerMgrStatus(h, &request);
    PowerMgr_release(h);
    if (e != ERR_SUCCESS) {
        failWith(ctx, "register", e);
        return;
    }
    emit(ctx, json{{"configuration", now}, {"request", request}, {"request_name", powerMgrRequestName(request)}},
         "registered with configuration " + std::to_string(now) + " (released again at exit); service request: " +
             powerMgrRequestName(request));
}

// A well-behaved application: registers, waits for the service's request, reports ready, waits
// for the resume.
void watch(Context& ctx, int32_t configuration, double timeoutSeconds) {
    PowerMgr* h = GetPowerMgr();
    if (h == nullptr) {
        failWith(ctx, "powermgr", ERR_MEMORY_ALLOCATION);
        return;
    }
    if (!serviceRuns(ctx, "watch")) {
        PowerMgr_release(h);
        return;
    }
    json events = json::array();
    auto note = [&](const std::string& event, json detail = nullptr) {
        events.push_back({{"event", event}, {"detail", detail}});
        if (!ctx.json) std::cout << event << (detail.is_null() ? "" : ": " + detail.dump()) << std::endl;
    };
    const uint32_t limitMs = static_cast<uint32_t>(timeoutSeconds * 1000.0);
    uint32_t waited = 0;
    auto step = [&] {
        tavik::platform::sleepMs(kWatchStepMs);
        waited += kWatchStepMs;
        return waited < limitMs;
    };
    ErrorCode e = PowerMgr_registerControlledSuspendOrShutDown(h, configuration);
    if (e != ERR_SUCCESS) {
        PowerMgr_release(h);
        failWith(ctx, "register", e);
        return;
    }
    note("registered", configuration);
    int32_t request = 0;
    bool timedOut = false;
    while ((e = PowerMgr_getPowerMgrStatus(h, &request)) == ERR_SUCCESS && request == 0)
        if (!step()) {
            timedOut = true;
            break;
        }
    bool resumed = false;
    if (!timedOut && e == ERR_SUCCESS) {
        note("requested", powerMgrRequestName(request));
        e = PowerMgr_setAppReadyForSuspendOrShutdown(h);
        note("ready");
        while (e == ERR_SUCCESS && (e = PowerMgr_hasResumed(h, &resumed)) == ERR_SUCCESS && !resumed)
            if (!step()) {
                timedOut = true;
                break;
            }
        if (resumed) note("resumed");
    }
    PowerMgr_release(h);
    if (e != ERR_SUCCESS) {
        failWith(ctx, "watch", e);
        return;
    }
    if (ctx.json)
        std::cout << json{{"events", events}, {"resumed", resumed}, {"timed_out", timedOut}}.dump(2) << '\n';
    if (timedOut) {
        if (!ctx.json) std::cerr << "watch: timed out\n";
        ctx.fail(kExitRefused);
    }
}

std::atomic<bool> stopService{false};
extern "C" void onStopSignal(int) { stopService.store(true); }

// Runs until interrupted, until `seconds` of unit time have passed, or after `cycles` cycles.
void serve(Context& ctx, double seconds, int cycles, const PowerMgrService::Options& options) {
    const auto serviceLock = claimService(ctx, "powermgr service");
    if (!serviceLock) return;
    PowerMgrService service(options, [&ctx](const std::string& line) {
        if (!ctx.json) std::cout << line << std::endl;
    });
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    if (seconds > 0) {
        std::thread([seconds] {
            tavik::platform::sleepMs(static_cast<uint32_t>(seconds * 1000.0));
            stopService.store(true);
        }).detach();
    }
    service.start();
    while (!stopService.load() && (cycles <= 0 || service.cyclesDone() < cycles)) {
        service.poll();
        tavik::platform::sleepMs(50);
    }
    service.stop();
    if (ctx.json) std::cout << json{{"stopped", true}}.dump(2) << '\n';
}

} // namespace powermgr_cmd

void addPowerMgrCommands(CLI::App& app, Context& ctx) {
    using namespace powermgr_cmd;
    auto* pm = app.add_subcommand("powermgr", "Controlled suspend and shutdown: register, watch; the service side");
    pm->require_subcommand(1);

    auto* reg = pm->add_subcommand("register", "Register with configuration 1 or 2, or 0 to unregister");
    static int32_t configuration = 1;
    reg->add_option("CONFIGURATION", configuration, "0, 1 or 2")->required();
    reg->callback([&ctx] { registerOnce(ctx, configuration); });

    auto* w = pm->add_subcommand("watch", "Register, report ready when the service asks, exit after the resume");
    static int32_t watchConfiguration = 1;
    static double timeout = 60;
    w->add_option("--config", watchConfiguration, "Configuration to register with (1 or 2)");
    w->add_option("--timeout", timeout, "Give up after this many seconds of unit time")->check(finiteRange(0.0, 1e6));
    w->callback([&ctx] { watch(ctx, watchConfiguration, timeout); });

    auto* s = pm->add_subcommand("service", "Run only the platform service's power-manager side (also part of `service run`)");
    static double seconds = 0;
    static int cycles = 0;
    static PowerMgrService::Options options;
    static double readyTimeout = 30, suspendSeconds = 1;
    s->add_option("--for", seconds, "Stop after this many seconds of unit time")->check(finiteRange(0.0, 1e6));
    s->add_option("--cycles", cycles, "Stop after this many suspend/shutdown cycles")->check(CLI::NonNegativeNumber);
    s->add_option("--ready-timeout", readyTimeout, "Longest wait for the ready reports, seconds")->check(finiteRange(0.0, 1e6));
    s->add_option("--suspend", suspendSeconds, "Time spent suspended, seconds")->check(finiteRange(0.0, 1e6));
    s->callback([&ctx] {
        options.readyTimeoutMs = static_cast<uint32_t>(readyTimeout * 1000.0);
        options.suspendMs = static_cast<uint32_t>(suspendSeconds * 1000.0);
        serve(ctx, seconds, cycles, options);
    });
}

} // namespace tavikctl
