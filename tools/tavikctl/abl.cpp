// tavikctl abl run: hosts the automatic backlight controller in this process, as the platform
// service does, until the time is up or the process is interrupted.
#include "cli.h"

#include <csignal>

#include "lighting/backlight_controller.h"
#include "platform/sync.h"

namespace tavikctl {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int) { interrupted = 1; }

void run(Context& ctx, double seconds) {
    std::signal(SIGINT, &onSignal);
    std::signal(SIGTERM, &onSignal);
    tavik::lighting::BacklightController controller;
    const ErrorCode e = controller.start();
    if (e != ERR_SUCCESS) return failWith(ctx, "abl run", e);
    if (!ctx.json) {
        std::cout << "automatic backlight controller running" << (seconds > 0 ? "" : " (Ctrl-C ends it)") << std::endl;
    }
    const uint32_t start = tavik::platform::tickCountMs();
    while (!interrupted && (seconds <= 0 || tavik::platform::tickCountMs() - start < seconds * 1000))
        tavik::platform::sleepMs(100);
    emit(ctx, json{{"ran_seconds", (tavik::platform::tickCountMs() - start) / 1000.0}}, "controller stopped");
}

} // namespace

void addAblCommands(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("abl", "The automatic backlight controller");
    cmd->require_subcommand(1);
    auto* runCmd = cmd->add_subcommand("run", "Host the controller in this process (as the platform service does)");
    static double seconds = 0;
    runCmd->add_option("--for", seconds, "Seconds to run (unit time); 0 or absent: until interrupted")
        ->check(finiteRange(0.0, 1e7));
    runCmd->callback([&ctx] { run(ctx, seconds); });
}

} // namespace tavikctl
