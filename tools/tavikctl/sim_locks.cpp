// tavikctl sim locks: the named locks of the unit's home and the processes that hold them.
#include <chrono>
#include <fstream>

#include "cli.h"
#include "platform/host/named_locks.h"

namespace tavikctl {
namespace sim_locks_cmd {

// The program name of a process, empty when it cannot be read.
std::string programOf(uint32_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

void showLocks(Context& ctx) {
    const int64_t nowUs = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    json doc = json::array();
    std::string text;
    for (const auto& lock : tavik::platform::host::listNamedLocks()) {
        json holders = json::array();
        std::string line = lock.name + ": ";
        if (lock.holders.empty())
            line += lock.count > 0 ? "free" : "taken (by nobody alive)";
        for (const auto& h : lock.holders) {
            const std::string program = programOf(h.pid);
            const double heldS = static_cast<double>(nowUs - h.sinceUs) / 1e6;
            holders.push_back({{"pid", h.pid}, {"program", program}, {"taken", h.taken}, {"since_us", h.sinceUs}});
            char held[32];
            std::snprintf(held, sizeof held, "%.1f s", heldS);
            line += (holders.size() > 1 ? ", " : "") + std::string("held by pid ") + std::to_string(h.pid) +
                    (program.empty() ? "" : " (" + program + ")") + " for " + held;
        }
        text += line + "\n";
        doc.push_back({{"name", lock.name}, {"free", lock.count}, {"maximum", lock.maximum}, {"holders", holders}});
    }
    emit(ctx, doc, text.empty() ? "no named locks in use in this home" : text);
}

} // namespace sim_locks_cmd

void addSimLockCommands(CLI::App& sim, Context& ctx) {
    using namespace sim_locks_cmd;
    sim.add_subcommand("locks", "List the named locks of this home and who holds them "
                                "(a lock of a process that died is free again)")
        ->callback([&ctx] { showLocks(ctx); });
}

} // namespace tavikctl
