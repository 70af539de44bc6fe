// The operations of `tavikctl sim` shared by the command line and the panel server.
#include "sim_ops.h"

#include <algorithm>

#include "platform/host/time_scale.h"
#include "powermgr_service.h"

namespace tavikctl::simops {
using tavik::sim::Unit;

namespace sim_ops_cmd {

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
    static const TargetKind registry{"registry", {"fail"}};
    if (target == "bootloader:ss" || target == "bootloader:front") return &bootloader;
    if (target == "board") return &board;
    if (target == "service") return &service;
    if (target == "registry") return &registry;
    if (target.rfind("\\\\.\\", 0) == 0 && target.size() > 4) return &device;
    return nullptr;
}

} // namespace sim_ops_cmd

const char* const kFaultHelp =
    "Targets and their actions:\n"
    "  \\\\.\\<device>  absent (opens fail; code 0), fail, count (--count), reply (--reply, --count)\n"
    "  board          fail, no_answer, value (--value; --address limits it to one I2C device)\n"
    "  service        absent, refusing, accepting (the answer to one control code)\n"
    "  registry       fail (code 1 open to read, 2 open to write, 3 read, 4 write; 0 any)\n"
    "  bootloader:ss, bootloader:front  silent, nack (--code: 0x7F synchronisation or a command byte)";

uint32_t parseNumber(const std::string& option, const std::string& text) {
    using namespace sim_ops_cmd;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const bool ok = !digits.empty() && digits.size() <= (hex ? 8u : 10u) &&
                    digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos &&
                    (hex || digits.size() == 1 || digits[0] != '0');
    const unsigned long long v = ok ? std::stoull(digits, nullptr, hex ? 16 : 10) : 0;
    if (!ok || v > 0xFFFFFFFFull)
        throw Refused(option, "\"" + text + "\" is not a 32-bit number (decimal, or hexadecimal with 0x)");
    return static_cast<uint32_t>(v);
}

json get(const std::string& path) { return {{"path", path}, {"value", Unit::instance().getValue(path)}}; }

json set(const std::string& path, const std::string& value) {
    using namespace sim_ops_cmd;
    Unit::instance().setValue(path, value);
    return get(path);
}

json addFault(const FaultOptions& o) {
    using namespace sim_ops_cmd;
    const TargetKind* kind = targetKind(o.target);
    if (kind == nullptr) throw Refused("--target", "unknown target \"" + o.target + "\"\n" + kFaultHelp);
    if (std::find(kind->actions.begin(), kind->actions.end(), o.action) == kind->actions.end())
        throw Refused("--action", "a " + std::string(kind->what) + " has no action \"" + o.action + "\"\n" + kFaultHelp);
    const bool device = kind->driverDevice;
    json f = {{"target", o.target}, {"code", parseNumber("--code", o.code)}, {"action", o.action}};
    if (!o.count.empty()) {
        if (!device || (o.action != "count" && o.action != "reply")) throw Refused("--count", "only with --action count or reply");
        f["count"] = parseNumber("--count", o.count);
    } else if (o.action == "count") {
        throw Refused("--count", "--action count needs --count N");
    }
    if (o.replyGiven || !o.reply.empty() || o.action == "reply") {
        std::vector<uint8_t> bytes;
        if (o.action != "reply") throw Refused("--reply", "only with --action reply");
        // An empty reply is kept: the request succeeds and writes nothing.
        if ((!o.replyGiven && o.reply.empty()) || !tavik::sim::fromHex(o.reply, bytes))
            throw Refused("--reply", "needs hex bytes, e.g. 01020304 (\"\" for none)");
        f["reply"] = tavik::sim::toHex(bytes.data(), bytes.size());
    }
    if (o.action == "absent" && device && f["code"] != 0) throw Refused("--code", "absent applies to opens: leave --code 0");
    if (!o.times.empty()) {
        const uint32_t n = parseNumber("--times", o.times);
        if (n == 0) throw Refused("--times", "at least 1 (leave it out for every request)");
        f["remaining"] = n;
    }
    if (!o.skip.empty()) f["skip"] = parseNumber("--skip", o.skip);
    if (!o.address.empty()) {
        if (o.target != "board") throw Refused("--address", "only for the board target");
        const uint32_t a = parseNumber("--address", o.address);
        if (a > 0xFF) throw Refused("--address", "an I2C address byte, 0..0xFF");
        f["address"] = a;
    }
    if (!o.value.empty()) {
        if (o.action != "value") throw Refused("--value", "only with --action value");
        f["value"] = parseNumber("--value", o.value);
    } else if (o.action == "value") {
        throw Refused("--value", "--action value needs --value N");
    }
    Unit::instance().addFault(f);
    return f;
}

json faults() { return Unit::instance().faults(); }

void clearFaults() { Unit::instance().clearFaults(); }

std::vector<tavik::sim::LogEntry> readLog(const LogFilter& o) {
    using namespace sim_ops_cmd;
    tavik::sim::LogQuery q;
    q.target = o.target;
    if (!o.code.empty()) q.code = parseNumber("--code", o.code);
    if (!o.since.empty()) {
        if (o.since.find_first_not_of("0123456789") != std::string::npos || o.since.size() > 19)
            throw Refused("--since", "\"" + o.since + "\" is not a sequence number");
        q.since = std::stoull(o.since);
    }
    q.last = o.last;
    return Unit::instance().readLog(q);
}

json logJson(const std::vector<tavik::sim::LogEntry>& entries) {
    using namespace sim_ops_cmd;
    json doc = json::array();
    for (const auto& e : entries) doc.push_back(tavik::sim::logEntryToJson(e));
    return doc;
}

void clearLog() { Unit::instance().clearLog(); }

json loadProfile(const std::string& nameOrPath) {
    using namespace sim_ops_cmd;
    const json p = Unit::readProfile(nameOrPath);
    Unit::instance().loadProfile(p);
    return {{"profile", p.value("name", nameOrPath)}};
}

json reset(void (*warn)(const std::string&)) {
    using namespace sim_ops_cmd;
    // Nothing stops a reset: a unit that cannot be opened is thrown away and made anew.
    try {
        Unit::instance().reset();
    } catch (const std::exception& e) {
        if (warn != nullptr) warn(e.what());
        Unit::removeDatabase(tavik::sim::homeDirectory());
        Unit::instance().reset();
    }
    tavik::platform::host::removeNamedSemaphores();
    return {{"profile", "default"}, {"home", Unit::instance().home()}};
}

void buttonDown() { set("power.buttonTransition", std::to_string(kTransitionHeld)); }

int buttonUp(bool longPress) {
    using namespace sim_ops_cmd;
    const int action = get(longPress ? "startup.longPressAction" : "startup.shortPressAction")["value"].get<int>();
    const int transition = action == kPowerMgrSuspend    ? kTransitionSuspend
                           : action == kPowerMgrShutdown ? kTransitionShutdown
                                                         : 0;
    Unit::instance().transact([&](tavik::sim::Txn& txn) { // one commit: the service sees both
        tavik::sim::json& power = txn.edit("power");
        power["buttonTransition"] = transition;
        if (transition != 0) power["powerRequest"] = 1;
    });
    return transition;
}

} // namespace tavikctl::simops
