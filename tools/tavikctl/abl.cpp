// tavikctl abl run: hosts the automatic backlight controller in this process, as the platform
// service does, until the time is up or the process is interrupted.
#include "cli.h"

#include <csignal>

#include "lighting/backlight_controller.h"
#include "platform/sync.h"

namespace tavikctl {
namespace abl_cmd {

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
    uint32_t unstoredShown = 0;
    // A learnt factor that the settings file did not take lives only in this process.
    auto showUnstored = [&] {
        const uint32_t unstored = controller.unstoredKCount();
        if (unstored == unstoredShown) return;
        unstoredShown = unstored;
        if (!ctx.json)
            std::cerr << "warning: the learnt factor k = " << controller.lastUnstoredK()
                      << " could not be stored in the settings file; the next start uses the stored one" << std::endl;
    };
    while (!interrupted && (seconds <= 0 || tavik::platform::tickCountMs() - start < seconds * 1000)) {
        tavik::platform::sleepMs(100);
        showUnstored();
    }
    showUnstored();
    json result{{"ran_seconds", (tavik::platform::tickCountMs() - start) / 1000.0}, {"unstored_k", unstoredShown}};
    if (unstoredShown > 0) result["last_unstored_k"] = controller.lastUnstoredK();
    emit(ctx, result, "controller stopped");
}

} // namespace abl_cmd

void addAblCommands(CLI::App& app, Context& ctx) {
    using namespace abl_cmd;
    auto* cmd = app.add_subcommand("abl", "The automatic backlight controller");
    cmd->require_subcommand(1);
    auto* runCmd = cmd->add_subcommand("run", "Host the controller in this process (as the platform service does)");
    static double seconds = 0;
    runCmd->add_option("--for", seconds, "Seconds to run (unit time); 0 or absent: until interrupted")
        ->check(finiteRange(0.0, 1e7));
    runCmd->callback([&ctx] { run(ctx, seconds); });
}

} // namespace tavikctl
