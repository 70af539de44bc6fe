// tavikctl sim bootloader serve ss|front: one microcontroller's bootloader on a pseudo-terminal,
// for programs outside the library (the Windows build under wine, a flashing tool).
#include <csignal>
#include <pthread.h>

#include "cli.h"
#include "sim/bootloader.h"

namespace tavikctl {
namespace sim_bootloader_cmd {

namespace sim = tavik::sim;

void serve(Context& ctx, const std::string& which) {
    // Ctrl-C or a termination ends the serving; the server thread inherits the blocked signals.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    const bool ss = which == "ss";
    sim::SerialLineServer server(ss ? sim::LineTarget::SystemSupervisor : sim::LineTarget::Front);
    const std::string label = ss ? "system supervisor" : "front microcontroller";
    if (ctx.json)
        std::cout << json{{"target", which}, {"path", server.path()}}.dump() << std::endl;
    else
        std::cout << "serving the " << label << "'s bootloader on " << server.path() << " (Ctrl-C ends)"
                  << std::endl;
    int signal = 0;
    sigwait(&stop, &signal);
    if (!ctx.json)
        std::cout << "stopped: " << server.bytesReceived() << " bytes received, " << server.bytesSent()
                  << " bytes sent" << std::endl;
}

} // namespace sim_bootloader_cmd

void addSimBootloaderCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_bootloader_cmd;
    auto* bootloader = simApp.add_subcommand("bootloader", "The microcontrollers' serial bootloaders");
    bootloader->require_subcommand(1);
    auto* cmd = bootloader->add_subcommand(
        "serve", "Serve one bootloader on a pseudo-terminal and print its path; runs until interrupted");
    static std::string which;
    cmd->add_option("target", which, "ss (system supervisor) or front")
        ->required()
        ->check(CLI::IsMember({"ss", "front"}));
    cmd->callback([&ctx] { serve(ctx, which); });
}

} // namespace tavikctl
