// tavikctl sim ...: reset the simulated unit, load profiles, read the request log, inject faults.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "cli.h"
#include "frame/request_index.h"
#include "platform/host/time_scale.h"
#include "sim/unit.h"

namespace tavikctl {
namespace {

using tavik::sim::Unit;

std::string hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06X", v);
    return buf;
}

// Accepts decimal or 0x-prefixed hexadecimal.
uint32_t parseCode(const std::string& text) {
    size_t used = 0;
    const unsigned long v = std::stoul(text, &used, 0);
    if (used != text.size()) throw CLI::ValidationError("code", "not a number: " + text);
    return static_cast<uint32_t>(v);
}

std::string describeCode(const tavik::sim::LogEntry& e) {
    if (e.target.rfind("\\\\.\\", 0) == 0) {
        if (e.code == 0) return "open";
        if (const auto* r = tavik::frame::findRequest(e.code))
            return hex32(e.code) + " (fn " + hex32(r->function).substr(5) + " " + r->family + ")";
        return hex32(e.code);
    }
    return std::to_string(e.code);
}

struct FaultOptions {
    std::string target = "\\\\.\\TavikDrv";
    std::string code = "0";
    std::string action;
    int64_t count = -1;
    std::string reply;
    int64_t times = -1;
    int64_t address = -1;
};

struct LogOptions {
    std::string target;
    size_t last = 0;
    bool clear = false;
};

void showLog(Context& ctx, const LogOptions& o) {
    Unit& unit = Unit::instance();
    if (o.clear) {
        unit.clearLog();
        emit(ctx, json{{"cleared", true}}, "request log cleared");
        return;
    }
    std::vector<tavik::sim::LogEntry> entries;
    for (auto& e : unit.readLog())
        if (o.target.empty() || e.target == o.target) entries.push_back(std::move(e));
    if (o.last > 0 && entries.size() > o.last) entries.erase(entries.begin(), entries.end() - o.last);
    json doc = json::array();
    std::string text;
    for (const auto& e : entries) {
        doc.push_back(tavik::sim::logEntryToJson(e));
        text += "#" + std::to_string(e.seq) + " pid " + std::to_string(e.pid) + " " + e.target + " " +
                describeCode(e) + " in[" + tavik::sim::toHex(e.in.data(), e.in.size()) + "] out[" +
                tavik::sim::toHex(e.out.data(), e.out.size()) + "] returned " + std::to_string(e.returned) +
                (e.ok ? " ok" : " FAILED") + (e.note.empty() ? "" : " (" + e.note + ")") + "\n";
    }
    if (entries.empty()) text = "request log is empty";
    emit(ctx, doc, text);
}

void addFault(Context& ctx, const FaultOptions& o) {
    json f = {{"target", o.target}, {"code", parseCode(o.code)}, {"action", o.action}};
    if (o.count >= 0) f["count"] = o.count;
    if (!o.reply.empty()) {
        std::vector<uint8_t> bytes;
        if (!tavik::sim::fromHex(o.reply, bytes)) throw CLI::ValidationError("--reply", "not hex bytes");
        f["reply"] = tavik::sim::toHex(bytes.data(), bytes.size());
    }
    if (o.times > 0) f["remaining"] = o.times;
    if (o.address >= 0) f["address"] = o.address;
    Unit::instance().addFault(f);
    emit(ctx, f, "fault added: " + f.dump());
}

} // namespace

void addSimCommands(CLI::App& app, Context& ctx) {
    auto* sim = app.add_subcommand("sim", "Control the simulated unit (TAVIK_HOME)");
    sim->require_subcommand(1);

    sim->add_subcommand("reset", "Back to the default profile; clears faults and the request log")
        ->callback([&ctx] {
            Unit::instance().reset();
            tavik::platform::host::removeNamedSemaphores();
            emit(ctx, json{{"profile", "default"}, {"home", Unit::instance().home()}},
                 "unit reset to the default profile in " + Unit::instance().home());
        });

    auto* load = sim->add_subcommand("load", "Load a unit profile (a shipped name or a JSON file)");
    static std::string profile;
    load->add_option("profile", profile, "Profile name or path")->required();
    load->callback([&ctx] {
        const json p = Unit::readProfile(profile);
        Unit::instance().loadProfile(p);
        emit(ctx, json{{"profile", p.value("name", profile)}}, "loaded profile " + p.value("name", profile));
    });

    sim->add_subcommand("profiles", "List the shipped unit profiles")->callback([&ctx] {
        json doc = json::array();
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(Unit::profileDirectory())) {
            if (entry.path().extension() != ".json") continue;
            const json p = Unit::readProfile(entry.path().string());
            doc.push_back({{"name", p.value("name", "")}, {"description", p.value("description", "")}});
            text += p.value("name", "") + ": " + p.value("description", "") + "\n";
        }
        emit(ctx, doc, text);
    });

    sim->add_subcommand("state", "Print the unit's whole state (JSON)")->callback([&ctx] {
        const json s = Unit::instance().snapshot();
        emit(ctx, s, s.dump(2));
    });

    auto* log = sim->add_subcommand("log", "Show the request log: device, code, bytes in and out, count, success");
    static LogOptions logOptions;
    log->add_option("--target", logOptions.target, "Only this device or target");
    log->add_option("--last", logOptions.last, "Only the last N entries");
    log->add_flag("--clear", logOptions.clear, "Empty the log");
    log->callback([&ctx] { showLog(ctx, logOptions); });

    auto* fault = sim->add_subcommand("fault", "Inject, list and clear faults");
    fault->require_subcommand(1);
    auto* add = fault->add_subcommand("add", "Add a fault for one device and request code");
    static FaultOptions fo;
    add->add_option("--target", fo.target, "Device (\\\\.\\TavikDrv, ...), \"service\" or \"board\"");
    add->add_option("--code", fo.code, "Request code, service code or board ordinal; 0 = any");
    add->add_option("--action", fo.action, "absent | fail | count | reply (board and service have their own)")
        ->required();
    add->add_option("--count", fo.count, "Byte count the request returns (count, reply)");
    add->add_option("--reply", fo.reply, "Reply bytes in hex (reply)");
    add->add_option("--times", fo.times, "Apply to the next N requests only");
    add->add_option("--address", fo.address, "I2C device address (board)");
    add->callback([&ctx] { addFault(ctx, fo); });
    fault->add_subcommand("list", "List the active faults")->callback([&ctx] {
        const json f = Unit::instance().faults();
        std::string text;
        for (const auto& x : f) text += x.dump() + "\n";
        emit(ctx, f, f.empty() ? "no faults" : text);
    });
    fault->add_subcommand("clear", "Remove every fault")->callback([&ctx] {
        Unit::instance().clearFaults();
        emit(ctx, json{{"cleared", true}}, "faults cleared");
    });

    addSimServiceCommands(*sim, ctx);
    addSimEepromCommands(*sim, ctx);
    addSimLightCommands(*sim, ctx);
}

} // namespace tavikctl
