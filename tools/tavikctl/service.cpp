// tavikctl service run: hosts one private-service object and its automatic backlight controller,
// and the power-manager side of controlled suspend and shutdown (powermgr_service.h),
// as the unit's platform service does, until SIGINT or SIGTERM.
#include <atomic>
#include <csignal>
#include <thread>
#include <pthread.h>
#include <unistd.h>

#include "cli.h"
#include "powermgr_service.h"
#include "frame/cross_process_lock.h"
#include "lighting/lightsensor.h"
#include "platform/sync.h"
#include "tavik2/tavik_private.h"

namespace tavikctl {
namespace service_cmd {

using Varnholtstad::TavikPrivate;

// Whether no averaging holds the light-sensor averaging lock now.
bool averagingLockFree() {
    const auto lock = tavik::frame::createCrossProcessLock(tavik::lighting::kAverageLockName);
    if (!lock) return false;
    const bool free = tavik::platform::waitSemaphore(lock, 0) == tavik::platform::WaitResult::Signaled;
    if (free) tavik::platform::releaseSemaphore(lock, 1);
    tavik::platform::closeSemaphore(lock);
    return free;
}

// In --json mode each event is one line of JSON.
void event(Context& ctx, const json& doc, const std::string& text) {
    if (ctx.json)
        std::cout << doc.dump() << std::endl;
    else
        std::cout << text << std::endl;
}

void run(Context& ctx) {
    // Blocked before any library thread exists, so every thread inherits the mask and the
    // signals wait for sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto serviceLock = claimService(ctx, "service run");
    if (!serviceLock) return;
    TavikPrivate* h = GetTavikPrivate();
    if (h == nullptr) return failWith(ctx, "service run", ERR_MEMORY_ALLOCATION);
    const ErrorCode e = TavikPrivate_automaticBacklightInit(h);
    if (e != ERR_SUCCESS) {
        TavikPrivate_release(h);
        return failWith(ctx, "service run: automatic backlight", e);
    }
    const auto pid = static_cast<long>(::getpid());
    event(ctx, json{{"event", "started"}, {"pid", pid}},
          "service running (pid " + std::to_string(pid) +
              "): automatic backlight controller started; SIGINT or SIGTERM stops it");

    // The power-manager side runs beside the controller until the stop signal.
    std::atomic<bool> stopPowerMgr{false};
    PowerMgrService powerMgr({}, [&ctx](const std::string& line) {
        event(ctx, json{{"event", "powermgr"}, {"detail", line}}, "power manager: " + line);
    });
    std::thread powerMgrThread([&] { runPowerMgrService(powerMgr, stopPowerMgr); });

    int received = 0;
    while (sigwait(&stopSignals, &received) != 0) {
    }
    stopPowerMgr.store(true);
    powerMgrThread.join();
    const char* name = received == SIGINT ? "SIGINT" : "SIGTERM";
    // Ends the controller thread and its light-sensor averaging and waits for both.
    TavikPrivate_release(h);
    const bool lockFree = averagingLockFree();
    event(ctx, json{{"event", "stopped"}, {"signal", name}, {"averaging_lock_free", lockFree}},
          std::string(name) + ": service stopped: controller stopped, light-sensor averaging stopped, " +
              (lockFree ? "averaging lock released" : "averaging lock held by another averaging"));
}

} // namespace service_cmd

void addServiceCommands(CLI::App& app, Context& ctx) {
    using namespace service_cmd;
    auto* service = app.add_subcommand("service", "The platform service's part of the library");
    service->require_subcommand(1);
    service->add_subcommand("run", "Host a private-service object, run the automatic backlight controller and the power manager "
                                   "until SIGINT or SIGTERM (as the unit's platform service does)")
        ->callback([&ctx] { run(ctx); });
    // Asks the running service for a controlled cycle (its power-manager side carries it out).
    for (int32_t request : {kPowerMgrSuspend, kPowerMgrShutdown, kPowerMgrRestart}) {
        const std::string name = powerMgrRequestName(request);
        service->add_subcommand(name, "Ask the running service for a controlled " + name)->callback([&ctx, request, name] {
            const ErrorCode e = requestPowerMgrCycle(request);
            if (e != ERR_SUCCESS) return failWith(ctx, "service " + name, e);
            emit(ctx, json{{"requested", name}}, name + " requested from the platform service");
        });
    }
}

} // namespace tavikctl
