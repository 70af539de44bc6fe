// The replaying unit: the trace copy in the home, parsed once per process; the streams' positions
// in a small file every process maps and advances with one atomic step per matched request; what
// differed counted and logged in one transaction on the unit's "replay" document.
#include "sim/replay.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "sim/unit.h"

namespace tavik::sim {

// A replay as one process sees it: the mapped positions file and the trace it belongs to.
struct RunningReplay {
    dev_t dev = 0; // of the positions file: a new replay is a new file
    ino_t ino = 0;
    std::string home;
    void* map = MAP_FAILED;
    size_t mapSize = 0;
    bool strict = true;
    uint32_t* cursors = nullptr; // one per stream, in the order of trace->streams
    std::shared_ptr<const Trace> trace;
    std::unordered_map<std::string, uint32_t> streamIndex;
    std::vector<const std::vector<size_t>*> streamRequests; // by stream index

    RunningReplay() = default;
    RunningReplay(const RunningReplay&) = delete;
    RunningReplay& operator=(const RunningReplay&) = delete;
    ~RunningReplay() {
        if (map != MAP_FAILED) ::munmap(map, mapSize);
    }
};

namespace sim_replay {

using json = nlohmann::json;
constexpr const char* kModel = "replay";

// The positions file: this header, then one 32-bit position per stream. Positions only grow
// while a replay runs; each is advanced with a compare-and-swap, which needs no lock and cannot
// be left half done by a killed process. The header names the trace copy it belongs to, so that
// a process never pairs one replay's positions with another's trace.
constexpr char kMagic[8] = {'t', 'v', 'k', 'r', 'p', 'l', 'y', '1'};
struct Header {
    char magic[8];
    uint32_t strict;
    uint32_t streams;
    uint64_t traceDev, traceIno, traceSize;
    int64_t traceMtimeNs;
};
static_assert(sizeof(Header) % alignof(uint32_t) == 0, "positions follow the header aligned");

std::string tracePath(const std::string& home) { return home + "/sim/replay.jsonl"; }
std::string cursorsPath(const std::string& home) { return home + "/sim/replay.cursors"; }

int64_t mtimeNs(const struct stat& st) { return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

bool sameFile(const Header& h, const struct stat& st) {
    return h.traceDev == uint64_t(st.st_dev) && h.traceIno == uint64_t(st.st_ino) &&
           h.traceSize == uint64_t(st.st_size) && h.traceMtimeNs == mtimeNs(st);
}

// Removes the replay's files: positions first, so that no process starts on a trace going away.
void removeFiles(const std::string& home) {
    std::remove(cursorsPath(home).c_str());
    std::remove(tracePath(home).c_str());
}

void initReplay(const json&, Txn& txn) {
    txn.edit(kModel) = {{"active", false}};
    removeFiles(homeDirectory()); // a new unit ends the replay in every process at once
}

bool validateReplay(json&, std::string& error) {
    error = "the replay is changed with `tavikctl sim replay`";
    return false;
}

const bool registered = (registerModel({kModel, &initReplay, &validateReplay}), true);

// The parsed trace copy, kept per process and reread only when another file is in its place.
std::mutex& traceMutex() {
    static std::mutex m;
    return m;
}
struct ParsedTrace {
    Header identity{};
    std::shared_ptr<const Trace> trace;
};
ParsedTrace& parsedTrace() {
    static ParsedTrace p;
    return p;
}

std::shared_ptr<const Trace> traceFor(const Header& h, const std::string& path) {
    std::lock_guard<std::mutex> guard(traceMutex());
    ParsedTrace& p = parsedTrace();
    if (p.trace && p.identity.traceDev == h.traceDev && p.identity.traceIno == h.traceIno &&
        p.identity.traceSize == h.traceSize && p.identity.traceMtimeNs == h.traceMtimeNs)
        return p.trace;
    p.trace = std::make_shared<const Trace>(readTraceFile(path));
    p.identity = h;
    return p.trace;
}

// Maps the home's positions file and finds its trace; null when no replay runs. A replay being
// started meanwhile (its trace already in place, its positions not yet) is waited for briefly.
std::shared_ptr<RunningReplay> openRunning(const std::string& home) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int fd = ::open(cursorsPath(home).c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT) return nullptr;
            throw UnitError("replay: cannot open " + cursorsPath(home) + ": " + std::strerror(errno));
        }
        auto r = std::make_shared<RunningReplay>();
        struct stat st{};
        if (::fstat(fd, &st) == 0 && size_t(st.st_size) >= sizeof(Header)) {
            r->mapSize = size_t(st.st_size);
            r->map = ::mmap(nullptr, r->mapSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        }
        ::close(fd);
        Header h{};
        if (r->map != MAP_FAILED) std::memcpy(&h, r->map, sizeof h);
        if (r->map == MAP_FAILED || std::memcmp(h.magic, kMagic, sizeof kMagic) != 0 ||
            r->mapSize != sizeof(Header) + size_t(h.streams) * sizeof(uint32_t))
            throw UnitError("replay: " + cursorsPath(home) + " is damaged (`tavikctl sim replay --off` ends it)");
        struct stat ts{};
        if (::stat(tracePath(home).c_str(), &ts) != 0 || !sameFile(h, ts)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        r->dev = st.st_dev;
        r->ino = st.st_ino;
        r->home = home;
        r->strict = h.strict != 0;
        r->cursors = reinterpret_cast<uint32_t*>(static_cast<char*>(r->map) + sizeof(Header));
        r->trace = traceFor(h, tracePath(home));
        if (r->trace->streams.size() != h.streams)
            throw UnitError("replay: " + cursorsPath(home) + " does not belong to its trace");
        for (const auto& [name, requests] : r->trace->streams) {
            r->streamIndex.emplace(name, uint32_t(r->streamRequests.size()));
            r->streamRequests.push_back(&requests);
        }
        return r;
    }
    throw UnitError("replay: the trace in " + home + " keeps changing");
}

// What differs between a request and the recorded line; empty when it matches. Payloads that
// were recorded as length and CRC-32 match on those.
std::string difference(const TraceJson& request, const TraceJson& recorded) {
    for (auto it = request.begin(); it != request.end(); ++it) {
        const std::string& key = it.key();
        const auto found = recorded.find(key);
        if (found != recorded.end()) {
            if (*found != it.value()) return key + " " + it.value().dump() + " where the trace has " + found->dump();
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
bool exactOutputs(const TraceJson& recorded) { return !recorded.contains("out_len") && !recorded.contains("data_len"); }

void logDifference(Txn& txn, const TraceJson& request, const std::string& note) {
    LogEntry e;
    e.pid = static_cast<uint32_t>(::getpid());
    e.target = "replay";
    e.code = request.value("code", 0u);
    e.note = note;
    Unit::instance().appendLog(txn, std::move(e));
}

uint32_t load(const uint32_t* cursor) { return cursor != nullptr ? __atomic_load_n(cursor, __ATOMIC_ACQUIRE) : 0; }

} // namespace sim_replay

bool replayOn() {
    struct stat st{};
    return ::stat(sim_replay::cursorsPath(homeDirectory()).c_str(), &st) == 0;
}

std::shared_ptr<RunningReplay> runningReplay() {
    const std::string home = homeDirectory();
    struct stat st{};
    if (::stat(sim_replay::cursorsPath(home).c_str(), &st) != 0) return nullptr;
    static std::mutex m;
    static std::shared_ptr<RunningReplay> current;
    std::lock_guard<std::mutex> guard(m);
    if (!current || current->dev != st.st_dev || current->ino != st.st_ino || current->home != home)
        current = sim_replay::openRunning(home);
    return current;
}

void startReplay(const std::string& source, ReplayMode mode) {
    const std::string text = readTraceText(source);
    auto trace = std::make_shared<const Trace>(parseTrace(text)); // a bad trace changes nothing
    Unit& unit = Unit::instance();
    const std::string path = sim_replay::tracePath(unit.home()), cursors = sim_replay::cursorsPath(unit.home());
    const std::string newTrace = path + ".new", newCursors = cursors + ".new";
    {
        std::ofstream out(newTrace, std::ios::binary | std::ios::trunc);
        out.write(text.data(), std::streamsize(text.size()));
        out.flush();
        if (!out) throw UnitError("cannot copy the trace into " + newTrace);
    }
    struct stat ts{};
    if (::stat(newTrace.c_str(), &ts) != 0) throw UnitError("cannot copy the trace into " + newTrace);
    sim_replay::Header h{};
    std::memcpy(h.magic, sim_replay::kMagic, sizeof sim_replay::kMagic);
    h.strict = mode == ReplayMode::Strict;
    h.streams = uint32_t(trace->streams.size());
    h.traceDev = uint64_t(ts.st_dev);
    h.traceIno = uint64_t(ts.st_ino);
    h.traceSize = uint64_t(ts.st_size);
    h.traceMtimeNs = sim_replay::mtimeNs(ts);
    {
        std::ofstream out(newCursors, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(&h), sizeof h);
        const std::vector<uint32_t> zero(h.streams, 0);
        out.write(reinterpret_cast<const char*>(zero.data()), std::streamsize(zero.size() * sizeof(uint32_t)));
        out.flush();
        if (!out) throw UnitError("cannot write " + newCursors);
    }
    {
        std::lock_guard<std::mutex> guard(sim_replay::traceMutex());
        sim_replay::parsedTrace() = {h, trace}; // this process need not read it again
    }
    unit.transact([&](Txn& txn) {
        txn.edit(sim_replay::kModel) = {{"active", true},
                                        {"mode", mode == ReplayMode::Strict ? "strict" : "loose"},
                                        {"trace", std::filesystem::absolute(source).string()},
                                        {"fallbacks", 0},
                                        {"failed", 0},
                                        {"first_difference", nullptr}};
        // Inside the transaction: no process counts a difference of the new replay as the old
        // one's. The trace first: positions without their trace are never found.
        if (std::rename(newTrace.c_str(), path.c_str()) != 0) throw UnitError("cannot place the trace at " + path);
        if (std::rename(newCursors.c_str(), cursors.c_str()) != 0) throw UnitError("cannot place " + cursors);
    });
}

void stopReplay() {
    Unit& unit = Unit::instance();
    unit.transact([&](Txn& txn) {
        txn.edit(sim_replay::kModel) = {{"active", false}};
        sim_replay::removeFiles(unit.home());
    });
}

json replayStatus() {
    json status;
    Unit& unit = Unit::instance();
    unit.transact([&](Txn& txn) { status = txn.get(sim_replay::kModel); });
    const std::shared_ptr<RunningReplay> r = runningReplay();
    if (!status.is_object() || !status.value("active", false) || !r) return {{"active", false}};
    json streams = json::object(), cursors = json::object();
    size_t matched = 0;
    for (const auto& [name, index] : r->streamIndex) {
        streams[name] = r->streamRequests[index]->size();
        const uint32_t at = sim_replay::load(&r->cursors[index]);
        if (at != 0) cursors[name] = at;
        matched += at;
    }
    status["cursors"] = cursors;
    status["requests"] = r->trace->requests.size();
    status["matched"] = matched;
    status["streams"] = streams;
    return status;
}

ReplayAnswer replayRequest(const TraceJson& request) { return replayRequest(runningReplay(), request); }

ReplayAnswer replayRequest(const std::shared_ptr<RunningReplay>& r, const TraceJson& request) {
    ReplayAnswer answer;
    if (!r) return answer;
    const std::string stream = streamOf(request);
    const auto s = r->streamIndex.find(stream);
    uint32_t* cursor = s != r->streamIndex.end() ? &r->cursors[s->second] : nullptr;
    const std::vector<size_t>* requests = s != r->streamIndex.end() ? r->streamRequests[s->second] : nullptr;
    // Another process or thread may take the stream's next request meanwhile: then this one is
    // matched against the request after it. Bounded: each retry means another request matched.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        uint32_t at = sim_replay::load(cursor);
        std::string why;
        size_t line = 0;
        if (requests == nullptr || at >= requests->size()) {
            why = "one request more than the trace has for " + stream + ": " + request.dump();
        } else {
            const TraceRequest& recorded = r->trace->requests[(*requests)[at]];
            line = recorded.line;
            why = sim_replay::difference(request, recorded.data);
            if (why.empty() && !sim_replay::exactOutputs(recorded.data))
                why = "its reply was recorded as length and CRC-32 only (above the recording limit)";
            if (why.empty()) {
                if (!__atomic_compare_exchange_n(cursor, &at, at + 1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
                    continue;
                answer.kind = ReplayAnswer::Answer;
                answer.entry = &recorded.data;
                answer.trace = r->trace;
                return answer;
            }
            why = request.value("kind", std::string()) + " on " + stream + ": " + why;
        }
        bool moved = false;
        Unit::instance().transact([&](Txn& txn) {
            if (!txn.get(sim_replay::kModel).value("active", false)) return; // ended meanwhile: the models answer
            if (sim_replay::load(cursor) != at) { // compared with a request another process has taken since
                moved = true;
                return;
            }
            json& doc = txn.edit(sim_replay::kModel);
            const std::string where = line != 0 ? "trace line " + std::to_string(line) : "end of the trace";
            if (doc["first_difference"].is_null())
                doc["first_difference"] = {{"line", line}, {"stream", stream}, {"what", why}};
            if (r->strict) {
                doc["failed"] = doc.value("failed", 0u) + 1;
                answer.kind = ReplayAnswer::Fail;
                sim_replay::logDifference(txn, request, where + ": " + why + "; the request fails");
            } else {
                doc["fallbacks"] = doc.value("fallbacks", 0u) + 1;
                sim_replay::logDifference(txn, request, where + ": " + why + "; the models answer");
            }
        });
        if (!moved) return answer;
    }
    throw UnitError("replay: the stream " + stream + " keeps moving");
}

} // namespace tavik::sim
