// tavikctl diag: the system supervisor's health record and the CPU board's temperature sensors,
// through the Diagnostic family.
#include <cstdio>

#include "readings.h"
#include "tavik2/diagnostic.h"
#include "tavik2/messages.h"

namespace tavikctl {
namespace diag_cmd {

using Varnholtstad::Diagnostic;

constexpr const char* kCelsius = "°C";
// The CPU board has few sensors; the list ends at the first one that cannot be read.
constexpr int kMaxBoardSensors = 16;

std::string hex16(uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

Reading temperature(const std::string& key, const std::string& label, ErrorCode e, int16_t t) {
    return reading(key, label, kCelsius, e, t);
}

// A code with its text, e.g. "85 (0x0055) Front Panel Button".
Reading codeWithText(const std::string& key, const std::string& label, ErrorCode e, uint16_t code,
                     const char* (TAVIK_CALL* lookup)(int32_t)) {
    if (e != ERR_SUCCESS || lookup == nullptr)
        return reading(key, label, "", e, code, std::to_string(code) + " (" + hex16(code) + ")");
    const std::string text = lookup(code);
    Reading r = reading(key, label, "", e, code, std::to_string(code) + " (" + hex16(code) + ") " + text);
    r.extra = {{"text", text}};
    return r;
}

void showDiagnostics(Context& ctx) {
    Diagnostic* h = GetDiagnostic();
    if (h == nullptr) {
        failWith(ctx, "diag", ERR_MEMORY_ALLOCATION);
        return;
    }
    std::vector<Reading> out;
    int16_t t = 0;
    ErrorCode e = Diagnostic_getSSTemp(h, &t);
    out.push_back(temperature("ss_temp", "Supervisor temperature", e, t));
    e = Diagnostic_getPCBTemp(h, &t);
    out.push_back(temperature("pcb_temp", "Main board temperature", e, t));

    int16_t lo = 0, hi = 0;
    e = Diagnostic_getMinMaxTemp(h, &lo, &hi);
    out.push_back(temperature("min_temp", "Lowest temperature seen", e, lo));
    out.push_back(temperature("max_temp", "Highest temperature seen", e, hi));

    for (int i = 0; i < kMaxBoardSensors; ++i) {
        int32_t type = 0;
        e = Diagnostic_getPMTemp(h, static_cast<uint8_t>(i), &t, &type);
        if (e != ERR_SUCCESS && i > 0) break; // past the last sensor
        Reading r = temperature("pm_temp_" + std::to_string(i), "CPU board sensor " + std::to_string(i), e, t);
        if (e == ERR_SUCCESS) {
            r.text += " " + std::string(kCelsius) + " (type " + std::to_string(type) + ")";
            r.unit.clear();
            r.extra = {{"unit", kCelsius}, {"type", type}};
        }
        out.push_back(r);
    }

    uint16_t code = 0;
    e = Diagnostic_getStartupReason(h, &code);
    out.push_back(codeWithText("startup_reason", "Start-up reason", e, code, &GetStartupReasonStringA));
    e = Diagnostic_getShutDownReason(h, &code);
    out.push_back(codeWithText("shutdown_reason", "Shut-down reason", e, code, nullptr));
    e = Diagnostic_getHwErrorStatus(h, &code);
    out.push_back(codeWithText("hw_error", "Hardware error", e, code, &GetHwErrorStatusStringA));
    e = Diagnostic_getPowerCycles(h, &code);
    out.push_back(reading("power_cycles", "Power cycles", "", e, code));

    // Seven 32-bit counters in the supervisor's time unit; their meaning is the firmware's.
    Varnholtstad::DiagnosticTimes times{};
    e = Diagnostic_getTimer(h, &times);
    json counters = json::array();
    std::string shown;
    for (size_t i = 0; i + 3 < sizeof times.raw; i += 4) {
        const uint32_t v = times.raw[i] | times.raw[i + 1] << 8 | times.raw[i + 2] << 16 |
                           static_cast<uint32_t>(times.raw[i + 3]) << 24;
        counters.push_back(v);
        shown += (shown.empty() ? "" : " ") + std::to_string(v);
    }
    out.push_back(reading("timers", "Operating-time counters", "supervisor time units", e, counters, shown));
    Diagnostic_release(h);
    showReadings(ctx, out);
}

void clearHwError(Context& ctx) {
    Diagnostic* h = GetDiagnostic();
    const ErrorCode e = Diagnostic_clearHwErrorStatus(h);
    Diagnostic_release(h);
    if (e != ERR_SUCCESS)
        failWith(ctx, "clear-error", e);
    else
        emit(ctx, json{{"cleared", true}}, "hardware error status cleared");
}

} // namespace diag_cmd

void addDiagCommands(CLI::App& app, Context& ctx) {
    using namespace diag_cmd;
    auto* diag = app.add_subcommand("diag", "Supervisor health: temperatures, start-up and shut-down reasons, "
                                            "hardware error, power cycles, operating time");
    diag->callback([&ctx, diag] {
        if (diag->get_subcommands().empty()) showDiagnostics(ctx);
    });
    diag->add_subcommand("clear-error", "Clear the supervisor's hardware error status")
        ->callback([&ctx] { clearHwError(ctx); });
}

} // namespace tavikctl
