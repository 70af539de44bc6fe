// tavikctl sim power-cycle: switches the simulated unit off and on again.
#include "cli.h"
#include "readings.h"
#include "sim/supervisor.h"

namespace tavikctl {

void addSimPowerCommands(CLI::App& simApp, Context& ctx) {
    auto* cycle = simApp.add_subcommand(
        "power-cycle", "Switch the unit off and on: counts a power cycle, records the start-up reason, "
                       "sets the power outputs from the start-up configuration (which survives)");
    static std::string reason = "0x0F", shutdown;
    cycle->add_option("--reason", reason, "Start-up reason code (0x0F power on, 0x55 front button, "
                                          "0xAA external signal, 0xF0 OS restart)")
        ->capture_default_str();
    cycle->add_option("--shutdown", shutdown, "Shut-down reason code to record (default: unchanged)");
    cycle->callback([&ctx] {
        const auto startup = static_cast<uint16_t>(parseInteger("--reason", reason, 0, 0xFFFF));
        const int32_t off = shutdown.empty() ? -1 : static_cast<int32_t>(parseInteger("--shutdown", shutdown, 0, 0xFFFF));
        json health;
        tavik::sim::Unit::instance().transact([&](tavik::sim::Txn& txn) {
            tavik::sim::powerCycle(txn, startup, off);
            health = txn.get("supervisor");
        });
        emit(ctx, json{{"power_cycles", health["powerCycles"]}, {"startup_reason", health["startupReason"]},
                       {"shutdown_reason", health["shutdownReason"]}},
             "power cycled: " + health["powerCycles"].dump() + " power cycles, start-up reason " +
                 health["startupReason"].dump());
    });
}

} // namespace tavikctl
