// tavikctl sim buzzer: the simulated buzzer's state and its history of buzzes.
#include "cli.h"

#include <cstdio>
#include <ctime>

#include "sim/unit.h"

namespace tavikctl {
namespace sim_buzzer_cmd {

// "2026-03-14 10:15:02.250 UTC" from microseconds since the epoch.
std::string utcText(int64_t us) {
    const std::time_t seconds = static_cast<std::time_t>(us / 1000000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(text + n, sizeof text - n, ".%03d UTC", static_cast<int>(us / 1000 % 1000));
    return text;
}

std::string toneText(const json& j) {
    return std::to_string(j.value("frequency", 0)) + " Hz, volume " + std::to_string(j.value("volume", 0));
}

void showBuzzer(Context& ctx, bool clear) {
    auto& unit = tavik::sim::Unit::instance();
    if (clear) unit.setValue("buzzer.history", "[]");
    const json d = unit.getValue("buzzer");
    std::string text = std::string("Buzzer: ") + (d.value("on", false) ? "on" : "off") + ", " + toneText(d) + "\n";
    const json history = d.value("history", json::array());
    text += "History (" + std::to_string(history.size()) + ", newest last):\n";
    for (const json& h : history)
        text += "  " + utcText(h.value("start_us", int64_t(0))) + "  " +
                std::to_string(h.value("duration_ms", int64_t(0))) + " ms  " + toneText(h) + "\n";
    emit(ctx, d, text);
}

} // namespace sim_buzzer_cmd

void addSimBuzzerCommands(CLI::App& sim, Context& ctx) {
    using namespace sim_buzzer_cmd;
    auto* cmd = sim.add_subcommand("buzzer", "The simulated buzzer: state and history of buzzes (start, length, tone)");
    static bool clear = false;
    cmd->add_flag("--clear", clear, "Forget the history first");
    cmd->callback([&ctx] { showBuzzer(ctx, clear); });
}

} // namespace tavikctl
