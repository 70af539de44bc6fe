// tavikctl sim replay ... / sim trace ...: the unit answering from a recorded trace, and traces
// made readable and compared.
#include <cstdio>

#include "cli.h"
#include "frame/request_index.h"
#include "sim/replay.h"
#include "sim/replay_trace.h"

namespace tavikctl {
namespace sim_replay_cmd {

namespace sim = tavik::sim;

// Fields shown apart (or not at all) when a request is described.
bool bookkeeping(const std::string& key) { return key == "seq" || key == "pid" || key == "t" || key == "kind"; }

// What a request is, for people: the request index's name of a driver request, the board
// library's ordinal, the service control code.
std::string requestName(const json& r) {
    const std::string kind = r.value("kind", std::string());
    if (kind == "ioctl") {
        const uint32_t code = r.value("code", 0u);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%06X", code);
        const auto* info = tavik::frame::findRequest(code);
        return info != nullptr ? std::string(info->family) + " " + info->name + " (" + hex + ")"
                               : std::string("unknown request ") + hex;
    }
    if (kind == "board") return "board library ordinal " + std::to_string(r.value("ord", 0u));
    if (kind == "service") return "service control " + std::to_string(r.value("code", 0u));
    return kind;
}

// One line of text: where, when, what, then the other fields (bytes in hex as recorded).
std::string describe(const sim::TraceRequest& r) {
    const json& d = r.data;
    char head[96];
    std::snprintf(head, sizeof head, "line %-5zu %10.6fs pid %-6u ", r.line, d.value("t", 0.0) / 1e6,
                  d.value("pid", 0u));
    std::string text = std::string(head) + r.stream + ": " + requestName(d);
    for (auto it = d.begin(); it != d.end(); ++it) {
        if (bookkeeping(it.key()) || it.key() == "dev" || it.key() == "port" || it.key() == "key" ||
            (it.key() == "name" && d.value("kind", "") == "service") || it.key() == "ord" ||
            (it.key() == "code" && d.value("kind", "") != "reg_set"))
            continue;
        const json& v = it.value();
        if (v.is_boolean()) text += " " + std::string(v.get<bool>() ? "ok" : "failed");
        else if (v.is_string()) text += " " + it.key() + "=" + (v.get<std::string>().empty() ? "-" : v.get<std::string>());
        else text += " " + it.key() + "=" + v.dump();
    }
    return text;
}

json describeJson(const sim::TraceRequest& r) {
    json j = r.data;
    j["line"] = r.line;
    j["stream"] = r.stream;
    j["name"] = requestName(r.data);
    return j;
}

void show(Context& ctx, const std::string& path) {
    const sim::Trace trace = sim::readTraceFile(path);
    if (ctx.json) {
        json requests = json::array();
        for (const auto& r : trace.requests) requests.push_back(describeJson(r));
        emit(ctx, json{{"headers", trace.headers}, {"requests", requests}}, "");
        return;
    }
    for (const json& h : trace.headers)
        std::cout << "recording of process " << h.value("pid", 0u) << " at " << h.value("time", std::string("?"))
                  << ", library " << h.value("library", std::string("?"))
                  << (h.contains("unit") ? ", unit " + h["unit"].dump() : std::string()) << '\n';
    for (const auto& r : trace.requests) std::cout << describe(r) << '\n';
    std::cout << trace.requests.size() << " requests\n";
}

// The request without what differs between two recordings of the same calls.
json essence(const json& r) {
    json e = json::object();
    for (auto it = r.begin(); it != r.end(); ++it)
        if (it.key() != "seq" && it.key() != "pid" && it.key() != "t") e[it.key()] = it.value();
    return e;
}

void diff(Context& ctx, const std::string& a, const std::string& b) {
    const sim::Trace ta = sim::readTraceFile(a), tb = sim::readTraceFile(b);
    const size_t n = std::min(ta.requests.size(), tb.requests.size());
    size_t i = 0;
    while (i < n && essence(ta.requests[i].data) == essence(tb.requests[i].data)) ++i;
    if (i == n && ta.requests.size() == tb.requests.size()) {
        emit(ctx, json{{"same", true}, {"requests", n}}, "the traces make the same " + std::to_string(n) + " requests");
        return;
    }
    json doc = {{"same", false}, {"request", i + 1}};
    std::string text = "first difference at request " + std::to_string(i + 1) + ":\n";
    for (const auto* t : {&ta, &tb}) {
        const char* which = t == &ta ? "a" : "b";
        const std::string& file = t == &ta ? a : b;
        if (i < t->requests.size()) {
            doc[which] = describeJson(t->requests[i]);
            text += "  " + file + " " + describe(t->requests[i]) + "\n";
        } else {
            doc[which] = nullptr;
            text += "  " + file + ": no more requests\n";
        }
    }
    emit(ctx, doc, text);
    ctx.fail(kExitRefused); // the traces differ
}

std::string statusText(const json& s) {
    if (!s.value("active", false)) return "no replay: the models answer";
    std::string text = "replaying " + s.value("trace", std::string("?")) + " (" + s.value("mode", std::string("?")) +
                       "): " + std::to_string(s.value("matched", 0u)) + " of " +
                       std::to_string(s.value("requests", 0u)) + " requests answered, " +
                       std::to_string(s.value("fallbacks", 0u)) + " by the models, " +
                       std::to_string(s.value("failed", 0u)) + " refused";
    const json& d = s.value("first_difference", json());
    if (d.is_object())
        text += "\nfirst difference: " +
                (d.value("line", 0u) != 0 ? "trace line " + std::to_string(d.value("line", 0u)) : std::string("end of the trace")) +
                ": " + d.value("what", std::string());
    return text;
}

// A trace that cannot be read: its message (naming the line), exit status 1.
template <class F>
void onTrace(Context& ctx, F f) {
    try {
        f();
    } catch (const sim::TraceError& e) {
        if (ctx.json) std::cout << json{{"error", e.what()}, {"line", e.line}}.dump(2) << '\n';
        else std::cerr << "tavikctl: " << e.what() << '\n';
        ctx.fail(kExitUsage); // a trace that cannot be read is a wrong input file
    }
}

} // namespace sim_replay_cmd

void addSimReplayCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_replay_cmd;
    auto* replay = simApp.add_subcommand("replay", "Make the unit answer as a recorded trace says (--off: the models "
                                                   "again; --status: how far it got)");
    static std::string trace;
    static bool loose = false, strict = false, off = false, status = false;
    replay->add_option("trace", trace, "The trace (TAVIK_RECORD's file)");
    auto* strictFlag = replay->add_flag("--strict", strict, "A request that differs from the trace fails (default)");
    replay->add_flag("--loose", loose, "A request that differs from the trace is answered by the models")
        ->excludes(strictFlag);
    replay->add_flag("--off", off, "End the replay");
    replay->add_flag("--status", status, "How far the replay got");
    replay->callback([&ctx] {
        if ((off ? 1 : 0) + (status ? 1 : 0) + (trace.empty() ? 0 : 1) != 1)
            throw CLI::ValidationError("replay", "give a TRACE, --off or --status");
        if (off) {
            sim::stopReplay();
            emit(ctx, sim::replayStatus(), "replay ended: the models answer");
        } else if (status) {
            const json s = sim::replayStatus();
            emit(ctx, s, statusText(s));
        } else {
            onTrace(ctx, [&] {
                sim::startReplay(trace, loose ? sim::ReplayMode::Loose : sim::ReplayMode::Strict);
                const json s = sim::replayStatus();
                emit(ctx, s, statusText(s));
            });
        }
    });

    auto* traceCmd = simApp.add_subcommand("trace", "Read recorded traces");
    traceCmd->require_subcommand(1);
    auto* showCmd = traceCmd->add_subcommand("show", "Every request of a trace, decoded");
    static std::string showPath;
    showCmd->add_option("trace", showPath, "The trace")->required();
    showCmd->callback([&ctx] { onTrace(ctx, [&] { show(ctx, showPath); }); });
    auto* diffCmd = traceCmd->add_subcommand("diff", "The first request where two traces differ (exit status 1)");
    static std::string diffA, diffB;
    diffCmd->add_option("a", diffA, "The first trace")->required();
    diffCmd->add_option("b", diffB, "The second trace")->required();
    diffCmd->callback([&ctx] { onTrace(ctx, [&] { diff(ctx, diffA, diffB); }); });
}

} // namespace tavikctl
