// The replaying unit: the trace copy in the home, its parse cached per process, and each request
// matched in one transaction on the unit's "replay" document.
#include "sim/replay.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "sim/replay_trace.h"
#include "sim/unit.h"

namespace tavik::sim {
namespace {

using json = nlohmann::json;
constexpr const char* kReplayModel = "replay";

std::string tracePath(const std::string& home) { return home + "/sim/replay.jsonl"; }

void initReplay(const json&, Txn& txn) { txn.edit(kReplayModel) = {{"active", false}}; }

bool validateReplay(json&, std::string& error) {
    error = "the replay is changed with `tavikctl sim replay`";
    return false;
}

const bool replayRegistered = (registerModel({kReplayModel, &initReplay, &validateReplay}), true);

// The parsed copy of the home's trace, reread when the file is replaced.
struct Cached {
    std::string path;
    struct stat st{};
    std::shared_ptr<const Trace> trace;
};

// `parsed`, when given, is the file's contents already read (by startReplay).
std::shared_ptr<const Trace> loadedTrace(const std::string& path, std::shared_ptr<const Trace> parsed = nullptr) {
    static std::mutex m;
    static Cached cache;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return nullptr;
    std::lock_guard<std::mutex> guard(m);
    const bool same = cache.trace && cache.path == path && cache.st.st_ino == st.st_ino &&
                      cache.st.st_size == st.st_size && cache.st.st_mtim.tv_sec == st.st_mtim.tv_sec &&
                      cache.st.st_mtim.tv_nsec == st.st_mtim.tv_nsec;
    if (parsed) cache.trace = std::move(parsed);
    else if (same) return cache.trace;
    else cache.trace = std::make_shared<const Trace>(readTraceFile(path));
    cache.path = path;
    cache.st = st;
    return cache.trace;
}

// What differs between a request and the recorded line; empty when it matches. Payloads that
// were recorded as length and CRC-32 match on those.
std::string difference(const json& request, const json& recorded) {
    for (auto it = request.begin(); it != request.end(); ++it) {
        const std::string& key = it.key();
        if (recorded.contains(key)) {
            if (recorded[key] != it.value())
                return key + " " + it.value().dump() + " where the trace has " + recorded[key].dump();
            continue;
        }
        const std::string len = key + "_len", crc = key + "_crc";
        if (recorded.contains(len) && it.value().is_string()) {
            std::vector<uint8_t> bytes;
            fromHex(it.value().get<std::string>(), bytes);
            if (recorded[len] != bytes.size() || recorded[crc] != crc32(bytes.data(), bytes.size()))
                return key + " (" + std::to_string(bytes.size()) + " bytes) differs from the trace's";
            continue;
        }
        return key + " " + it.value().dump() + " where the trace has none";
    }
    return {};
}

// Outputs recorded as length and CRC-32 cannot be given back.
bool exactOutputs(const json& recorded) { return !recorded.contains("out_len") && !recorded.contains("data_len"); }

void logDifference(Txn& txn, const json& request, const std::string& note) {
    LogEntry e;
    e.pid = static_cast<uint32_t>(::getpid());
    e.target = "replay";
    e.code = request.value("code", 0u);
    e.note = note;
    Unit::instance().appendLog(txn, std::move(e));
}

} // namespace

// Also what replayRequest looks at first: a request without replay costs this one file look-up.
bool replayOn() {
    struct stat st{};
    return ::stat(tracePath(homeDirectory()).c_str(), &st) == 0;
}

void startReplay(const std::string& source, ReplayMode mode) {
    auto trace = std::make_shared<const Trace>(readTraceFile(source)); // a bad trace changes nothing
    Unit& unit = Unit::instance();
    const std::string path = tracePath(unit.home());
    const std::string temporary = path + ".new";
    {
        std::ifstream in(source, std::ios::binary);
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
        out.flush();
        if (!in || !out) throw UnitError("cannot copy the trace into " + temporary);
    }
    // Kept small: it is rewritten by every replayed request. What the trace holds is counted
    // from the trace when the status is asked.
    unit.transact([&](Txn& txn) {
        txn.edit(kReplayModel) = {{"active", true},
                            {"mode", mode == ReplayMode::Strict ? "strict" : "loose"},
                            {"trace", std::filesystem::absolute(source).string()},
                            {"fallbacks", 0},
                            {"failed", 0},
                            {"first_difference", nullptr},
                            {"cursors", json::object()}};
        // Inside the transaction: no process sees the new trace with the old progress.
        if (std::rename(temporary.c_str(), path.c_str()) != 0) throw UnitError("cannot place the trace at " + path);
    });
    loadedTrace(path, trace);
}

void stopReplay() {
    Unit& unit = Unit::instance();
    unit.transact([&](Txn& txn) { txn.edit(kReplayModel) = {{"active", false}}; });
    std::remove(tracePath(unit.home()).c_str());
}

json replayStatus() {
    json status;
    Unit& unit = Unit::instance();
    unit.transact([&](Txn& txn) { status = txn.get(kReplayModel); });
    if (!status.is_object() || !status.value("active", false)) return {{"active", false}};
    const std::shared_ptr<const Trace> trace = loadedTrace(tracePath(unit.home()));
    json streams = json::object();
    size_t matched = 0;
    for (const auto& [name, list] : trace ? trace->streams : std::map<std::string, std::vector<size_t>>{}) {
        streams[name] = list.size();
        const json position = status["cursors"].is_object() ? status["cursors"].value(name, json()) : json();
        if (position.is_number_unsigned()) matched += position.get<size_t>();
    }
    status["requests"] = trace ? trace->requests.size() : 0;
    status["matched"] = matched;
    status["streams"] = streams;
    return status;
}

ReplayAnswer replayRequest(const json& request) {
    ReplayAnswer answer;
    const std::shared_ptr<const Trace> trace = loadedTrace(tracePath(homeDirectory()));
    if (!trace) return answer;
    Unit& unit = Unit::instance();
    const std::string stream = streamOf(request);
    unit.transact([&](Txn& txn) {
        if (!txn.get(kReplayModel).value("active", false)) return;
        json& doc = txn.edit(kReplayModel);
        const bool strict = doc.value("mode", std::string("strict")) == "strict";
        json& cursors = doc["cursors"];
        const json position = cursors.is_object() ? cursors.value(stream, json()) : json();
        const size_t at = position.is_number_unsigned() ? position.get<size_t>() : 0;
        const auto s = trace->streams.find(stream);
        std::string why;
        size_t line = 0;
        if (s == trace->streams.end() || at >= s->second.size()) {
            why = "one request more than the trace has for " + stream + ": " + request.dump();
        } else {
            const TraceRequest& recorded = trace->requests[s->second[at]];
            line = recorded.line;
            why = difference(request, recorded.data);
            if (why.empty() && !exactOutputs(recorded.data))
                why = "its reply was recorded as length and CRC-32 only (above the recording limit)";
            if (why.empty()) {
                cursors[stream] = at + 1;
                answer.kind = ReplayAnswer::Answer;
                answer.entry = recorded.data;
                return;
            }
            why = request.value("kind", std::string()) + " on " + stream + ": " + why;
        }
        const std::string where = line != 0 ? "trace line " + std::to_string(line) : "end of the trace";
        if (doc["first_difference"].is_null()) doc["first_difference"] = {{"line", line}, {"stream", stream}, {"what", why}};
        if (strict) {
            doc["failed"] = doc.value("failed", 0u) + 1;
            answer.kind = ReplayAnswer::Fail;
            logDifference(txn, request, where + ": " + why + "; the request fails");
        } else {
            doc["fallbacks"] = doc.value("fallbacks", 0u) + 1;
            logDifference(txn, request, where + ": " + why + "; the models answer");
        }
    });
    return answer;
}

} // namespace tavik::sim
