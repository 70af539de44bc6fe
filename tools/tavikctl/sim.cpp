// tavikctl sim ...: reset the simulated unit, load profiles, read the request log, inject faults.
#include <algorithm>
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

// A 32-bit number in decimal or 0x-prefixed hexadecimal (no sign, no octal).
uint32_t parseCode(const std::string& option, const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const bool ok = !digits.empty() && digits.size() <= (hex ? 8u : 10u) &&
                    digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos &&
                    (hex || digits.size() == 1 || digits[0] != '0');
    const unsigned long long v = ok ? std::stoull(digits, nullptr, hex ? 16 : 10) : 0;
    if (!ok || v > 0xFFFFFFFFull)
        throw CLI::ValidationError(option, "\"" + text + "\" is not a 32-bit number (decimal, or hexadecimal with 0x)");
    return static_cast<uint32_t>(v);
}

// What each kind of target accepts as a fault.
struct TargetKind {
    const char* what;
    std::vector<std::string> actions;
    bool driverDevice = false; // a device of the drivers: counts, replies and opens apply
};

const TargetKind* targetKind(const std::string& target) {
    static const TargetKind device{"driver device", {"absent", "fail", "count", "reply"}, true};
    static const TargetKind board{"board library", {"fail", "no_answer", "value"}};
    static const TargetKind service{"platform service", {"absent", "refusing", "accepting"}};
    static const TargetKind bootloader{"bootloader", {"silent", "nack"}};
    if (target == "bootloader:ss" || target == "bootloader:front") return &bootloader;
    if (target == "board") return &board;
    if (target == "service") return &service;
    static const TargetKind registry{"registry", {"fail"}};
    if (target == "registry") return &registry;
    if (target.rfind("\\\\.\\", 0) == 0 && target.size() > 4) return &device;
    return nullptr;
}

const char* kFaultHelp =
    "Targets and their actions:\n"
    "  \\\\.\\<device>  absent (opens fail; code 0), fail, count (--count), reply (--reply, --count)\n"
    "  board          fail, no_answer, value (--value; --address limits it to one I2C device)\n"
    "  service        absent, refusing, accepting (the answer to one control code)\n"
    "  registry       fail (code 1 open to read, 2 open to write, 3 read, 4 write; 0 any)\n"
    "  bootloader:ss, bootloader:front  silent, nack (--code: 0x7F synchronisation or a command byte)";

std::string describeCode(const tavik::sim::LogEntry& e) {
    if (e.target.rfind("\\\\.\\", 0) == 0) {
        if (e.code == 0) return e.note.rfind("read", 0) == 0 ? "read" : "open"; // plain reads log code 0 too
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
    std::string count, reply, times, skip, address, value;
    bool replyGiven = false; // --reply "" is a reply of no bytes, not a missing option
};

struct LogOptions {
    std::string target;
    std::string code, since;
    size_t last = 0;
    bool clear = false;
};

std::string payloadText(const std::vector<uint8_t>& kept, uint64_t length, uint32_t crc) {
    std::string t = tavik::sim::toHex(kept.data(), kept.size());
    if (length > kept.size()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "... %llu bytes, crc32 %08x", static_cast<unsigned long long>(length), crc);
        t += buf;
    }
    return t;
}

void showLog(Context& ctx, const LogOptions& o) {
    Unit& unit = Unit::instance();
    if (o.clear) {
        unit.clearLog();
        emit(ctx, json{{"cleared", true}}, "request log cleared");
        return;
    }
    tavik::sim::LogQuery q;
    q.target = o.target;
    if (!o.code.empty()) q.code = parseCode("--code", o.code);
    if (!o.since.empty()) {
        if (o.since.find_first_not_of("0123456789") != std::string::npos || o.since.size() > 19)
            throw CLI::ValidationError("--since", "\"" + o.since + "\" is not a sequence number");
        q.since = std::stoull(o.since);
    }
    q.last = o.last;
    const std::vector<tavik::sim::LogEntry> entries = unit.readLog(q);
    json doc = json::array();
    std::string text;
    for (const auto& e : entries) {
        doc.push_back(tavik::sim::logEntryToJson(e));
        text += "#" + std::to_string(e.seq) + " pid " + std::to_string(e.pid) +
                (e.client.empty() ? "" : " [" + e.client + "]") + " " + e.target + " " +
                describeCode(e) + " in[" + payloadText(e.in, e.inLength, e.inCrc) + "] out[" +
                payloadText(e.out, e.outLength, e.outCrc) + "] returned " + std::to_string(e.returned) +
                (e.ok ? " ok" : " FAILED") + (e.note.empty() ? "" : " (" + e.note + ")") + "\n";
    }
    if (entries.empty()) text = "request log is empty";
    emit(ctx, doc, text);
}

void addFault(Context& ctx, const FaultOptions& o) {
    const TargetKind* kind = targetKind(o.target);
    if (kind == nullptr)
        throw CLI::ValidationError("--target", "unknown target \"" + o.target + "\"\n" + kFaultHelp);
    if (std::find(kind->actions.begin(), kind->actions.end(), o.action) == kind->actions.end())
        throw CLI::ValidationError("--action", "a " + std::string(kind->what) + " has no action \"" + o.action +
                                                   "\"\n" + kFaultHelp);
    const bool device = kind->driverDevice;
    auto refuse = [&](const char* option, const char* why) { throw CLI::ValidationError(option, why); };
    json f = {{"target", o.target}, {"code", parseCode("--code", o.code)}, {"action", o.action}};
    if (!o.count.empty()) {
        if (!device || (o.action != "count" && o.action != "reply")) refuse("--count", "only with --action count or reply");
        f["count"] = parseCode("--count", o.count);
    } else if (o.action == "count") {
        refuse("--count", "--action count needs --count N");
    }
    if (o.replyGiven || o.action == "reply") {
        std::vector<uint8_t> bytes;
        if (o.action != "reply") refuse("--reply", "only with --action reply");
        // An empty reply is kept: the request succeeds and writes nothing.
        if (!o.replyGiven || !tavik::sim::fromHex(o.reply, bytes))
            refuse("--reply", "needs hex bytes, e.g. 01020304 (\"\" for none)");
        f["reply"] = tavik::sim::toHex(bytes.data(), bytes.size());
    }
    if (o.action == "absent" && device && f["code"] != 0) refuse("--code", "absent applies to opens: leave --code 0");
    if (!o.times.empty()) {
        const uint32_t n = parseCode("--times", o.times);
        if (n == 0) refuse("--times", "at least 1 (leave it out for every request)");
        f["remaining"] = n;
    }
    if (!o.skip.empty()) f["skip"] = parseCode("--skip", o.skip);
    if (!o.address.empty()) {
        if (o.target != "board") refuse("--address", "only for the board target");
        const uint32_t a = parseCode("--address", o.address);
        if (a > 0xFF) refuse("--address", "an I2C address byte, 0..0xFF");
        f["address"] = a;
    }
    if (!o.value.empty()) {
        if (o.action != "value") refuse("--value", "only with --action value");
        f["value"] = parseCode("--value", o.value);
    } else if (o.action == "value") {
        refuse("--value", "--action value needs --value N");
    }
    Unit::instance().addFault(f);
    emit(ctx, f, "fault added: " + f.dump());
}

} // namespace

void addSimCommands(CLI::App& app, Context& ctx) {
    auto* sim = app.add_subcommand("sim", "Control the simulated unit (TAVIK_HOME)");
    sim->require_subcommand(1);

    sim->add_subcommand("reset", "Back to the default profile; clears faults and the request log")
        ->callback([&ctx] {
            // Nothing stops a reset: a unit that cannot be opened is thrown away and made anew.
            try {
                Unit::instance().reset();
            } catch (const std::exception& e) {
                std::cerr << "tavikctl: the old unit could not be used (" << e.what() << "); making a new one\n";
                Unit::removeDatabase(tavik::sim::homeDirectory());
                Unit::instance().reset();
            }
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

    sim->add_subcommand("profiles", "List the shipped unit profiles")->callback([&ctx] { listProfiles(ctx); });

    sim->add_subcommand("state", "Print the unit's whole state (JSON)")->callback([&ctx] {
        const json s = Unit::instance().snapshot();
        emit(ctx, s, s.dump(2));
    });

    auto* log = sim->add_subcommand("log", "Show the request log: device, code, bytes in and out, count, success");
    static LogOptions logOptions;
    log->add_option("--target", logOptions.target, "Only this device or target");
    log->add_option("--code", logOptions.code, "Only this request code, control code or ordinal");
    log->add_option("--since", logOptions.since, "Only entries after this sequence number");
    log->add_option("--last", logOptions.last, "Only the last N entries (0: all)")->check(finiteRange(0, 1e9));
    log->add_flag("--clear", logOptions.clear, "Empty the log");
    log->callback([&ctx] { showLog(ctx, logOptions); });

    auto* fault = sim->add_subcommand("fault", "Inject, list and clear faults");
    fault->require_subcommand(1);
    auto* add = fault->add_subcommand("add", "Add a fault for one device and request code");
    add->footer(kFaultHelp);
    static FaultOptions fo;
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
        addFault(ctx, fo);
    });
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

    auto* get = sim->add_subcommand("get", "Read a model value: MODEL.FIELD (e.g. driver.versions.ss)");
    static std::string getPath;
    get->add_option("path", getPath, "MODEL.FIELD")->required();
    get->callback([&ctx] {
        const json v = Unit::instance().getValue(getPath);
        emit(ctx, json{{"path", getPath}, {"value", v}}, v.is_string() ? v.get<std::string>() : v.dump());
    });
    auto* set = sim->add_subcommand("set", "Change a model value: MODEL.FIELD VALUE (checked by the model)");
    static std::string setPath, setText;
    set->add_option("path", setPath, "MODEL.FIELD")->required();
    set->add_option("value", setText, "The value (JSON, or a plain word for texts)")->required();
    set->callback([&ctx] {
        Unit::instance().setValue(setPath, setText);
        const json v = Unit::instance().getValue(setPath);
        emit(ctx, json{{"path", setPath}, {"value", v}},
             setPath + " = " + (v.is_string() ? v.get<std::string>() : v.dump()));
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
}

} // namespace tavikctl
