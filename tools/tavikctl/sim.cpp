// tavikctl sim ...: reset the simulated unit, load profiles, read the request log, inject faults.
#include <cstdio>

#include "cli.h"
#include "frame/request_index.h"
#include "sim/unit.h"
#include "sim_ops.h"
#include "sim_panel.h"

namespace tavikctl {
namespace sim_cmd {

using tavik::sim::Unit;

std::string hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06X", v);
    return buf;
}

std::string describeCode(const tavik::sim::LogEntry& e) {
    if (e.target.rfind("\\\\.\\", 0) == 0) {
        if (e.code == 0) return e.note.rfind("read", 0) == 0 ? "read" : "open"; // plain reads log code 0 too
        if (const auto* r = tavik::frame::findRequest(e.code))
            return hex32(e.code) + " (fn " + hex32(r->function).substr(5) + " " + r->family + ")";
        return hex32(e.code);
    }
    return std::to_string(e.code);
}

std::string payloadText(const std::vector<uint8_t>& kept, uint64_t length, uint32_t crc) {
    std::string t = tavik::sim::toHex(kept.data(), kept.size());
    if (length > kept.size()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "... %llu bytes, crc32 %08x", static_cast<unsigned long long>(length), crc);
        t += buf;
    }
    return t;
}

// A refusal of the shared operations, reported as the option's validation error.
template <class F>
auto asOption(F f) -> decltype(f()) {
    try {
        return f();
    } catch (const simops::Refused& e) {
        throw CLI::ValidationError(e.option, e.message);
    }
}

// A logged text as a terminal may show it: control characters (C0, DEL and the C1 range in
// UTF-8) escaped, so that a client's text cannot start a line or move the cursor.
std::string printable(const std::string& text) {
    std::string out;
    char buf[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(buf, sizeof buf, "\\u%04x", next);
            out += buf;
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void showLog(Context& ctx, const simops::LogFilter& o, bool clear) {
    if (clear) {
        simops::clearLog();
        emit(ctx, json{{"cleared", true}}, "request log cleared");
        return;
    }
    const std::vector<tavik::sim::LogEntry> entries = asOption([&] { return simops::readLog(o); });
    std::string text;
    for (const auto& e : entries) {
        text += "#" + std::to_string(e.seq) + " pid " + std::to_string(e.pid) +
                (e.client.empty() ? "" : " [" + printable(e.client) + "]") + " " + printable(e.target) + " " +
                describeCode(e) + " in[" + payloadText(e.in, e.inLength, e.inCrc) + "] out[" +
                payloadText(e.out, e.outLength, e.outCrc) + "] returned " + std::to_string(e.returned) +
                (e.ok ? " ok" : " FAILED") + (e.note.empty() ? "" : " (" + printable(e.note) + ")") + "\n";
    }
    if (entries.empty()) text = "request log is empty";
    emit(ctx, simops::logJson(entries), text);
}

} // namespace sim_cmd

void addSimCommands(CLI::App& app, Context& ctx) {
    using namespace sim_cmd;
    auto* sim = app.add_subcommand("sim", "Control the simulated unit (TAVIK_HOME)");
    sim->require_subcommand(1);

    sim->add_subcommand("reset", "Back to the default profile; clears faults and the request log")
        ->callback([&ctx] {
            const json done = simops::reset([](const std::string& why) {
                std::cerr << "tavikctl: the old unit could not be used (" << why << "); making a new one\n";
            });
            emit(ctx, done, "unit reset to the default profile in " + done["home"].get<std::string>());
        });

    auto* load = sim->add_subcommand("load", "Load a unit profile (a shipped name or a JSON file)");
    static std::string profile;
    load->add_option("profile", profile, "Profile name or path")->required();
    load->callback([&ctx] {
        const json done = simops::loadProfile(profile);
        emit(ctx, done, "loaded profile " + done["profile"].get<std::string>());
    });

    sim->add_subcommand("profiles", "List the shipped unit profiles")->callback([&ctx] { listProfiles(ctx); });

    sim->add_subcommand("state", "Print the unit's whole state (JSON)")->callback([&ctx] {
        const json s = Unit::instance().snapshot();
        emit(ctx, s, s.dump(2));
    });

    auto* log = sim->add_subcommand("log", "Show the request log: device, code, bytes in and out, count, success");
    static simops::LogFilter logFilter;
    static bool clearLog = false;
    log->add_option("--target", logFilter.target, "Only this device or target");
    log->add_option("--code", logFilter.code, "Only this request code, control code or ordinal");
    log->add_option("--since", logFilter.since, "Only entries after this sequence number");
    log->add_option("--last", logFilter.last, "Only the last N entries (0: all)")->check(finiteRange(0, 1e9));
    log->add_flag("--clear", clearLog, "Empty the log");
    log->callback([&ctx] { showLog(ctx, logFilter, clearLog); });

    auto* fault = sim->add_subcommand("fault", "Inject, list and clear faults");
    fault->require_subcommand(1);
    auto* add = fault->add_subcommand("add", "Add a fault for one device and request code");
    add->footer(simops::kFaultHelp);
    static simops::FaultOptions fo;
    add->add_option("--target", fo.target, "Device (\\\\.\\TavikDrv, ...), \"service\", \"board\" or \"registry\"");
    add->add_option("--code", fo.code, "Request code, service code or board ordinal; 0 = any");
    add->add_option("--action", fo.action, "What happens (see the targets below)")->required();
    add->add_option("--count", fo.count, "Byte count the request returns (count, reply)");
    auto* reply = add->add_option("--reply", fo.reply, "Reply bytes in hex (reply); \"\" for none");
    add->add_option("--times", fo.times, "Apply to the next N matching requests only (N >= 1)");
    add->add_option("--skip", fo.skip, "Let the first N matching requests pass first");
    add->add_option("--address", fo.address, "I2C device address (board)");
    add->add_option("--value", fo.value, "What the board call returns (value)");
    add->callback([&ctx, reply] {
        fo.replyGiven = reply->count() > 0;
        const json f = asOption([] { return simops::addFault(fo); });
        emit(ctx, f, "fault added: " + f.dump());
    });
    fault->add_subcommand("list", "List the active faults")->callback([&ctx] {
        const json f = simops::faults();
        std::string text;
        for (const auto& x : f) text += x.dump() + "\n";
        emit(ctx, f, f.empty() ? "no faults" : text);
    });
    fault->add_subcommand("clear", "Remove every fault")->callback([&ctx] {
        simops::clearFaults();
        emit(ctx, json{{"cleared", true}}, "faults cleared");
    });

    auto* get = sim->add_subcommand("get", "Read a model value: MODEL.FIELD (e.g. driver.versions.ss)");
    static std::string getPath;
    get->add_option("path", getPath, "MODEL.FIELD")->required();
    get->callback([&ctx] {
        const json doc = simops::get(getPath);
        const json& v = doc["value"];
        emit(ctx, doc, v.is_string() ? v.get<std::string>() : v.dump());
    });
    auto* set = sim->add_subcommand("set", "Change a model value: MODEL.FIELD VALUE (checked by the model)");
    static std::string setPath, setText;
    set->add_option("path", setPath, "MODEL.FIELD")->required();
    set->add_option("value", setText, "The value (JSON, or a plain word for texts)")->required();
    set->callback([&ctx] {
        const json doc = simops::set(setPath, setText);
        const json& v = doc["value"];
        emit(ctx, doc, setPath + " = " + (v.is_string() ? v.get<std::string>() : v.dump()));
    });

    addSimServiceCommands(*sim, ctx);
    addSimEepromCommands(*sim, ctx);
    addSimPowerCommands(*sim, ctx);
    addSimRegistryCommands(*sim, ctx);
    addSimTouchCommands(*sim, ctx);
    addSimVideoCommands(*sim, ctx);
    addSimBootloaderCommands(*sim, ctx);
    addSimLockCommands(*sim, ctx);
    addSimLightCommands(*sim, ctx);
    addSimBuzzerCommands(*sim, ctx);
    addSimWordCommands(*sim, ctx);
    addSimServeCommands(*sim, ctx);
    addSimScenarioCommands(*sim, ctx);
    addSimReplayCommands(*sim, ctx);
    addSimPanelCommands(*sim, ctx);
}

} // namespace tavikctl
