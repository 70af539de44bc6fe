#include "sim/unit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tavik::sim {
namespace {

const char kDefaultProfileText[] =
#include "default_profile.inc"
    ;

std::vector<Model>& models() {
    static std::vector<Model> m;
    return m;
}

// Serialises the threads of this process; the file lock serialises processes.
std::recursive_mutex& processMutex() {
    static std::recursive_mutex m;
    return m;
}

constexpr size_t kLogRotateBytes = 8u << 20;

} // namespace

void registerModel(const Model& model) { models().push_back(model); }

std::string homeDirectory() {
    std::string home;
    if (const char* h = std::getenv("TAVIK_HOME"); h != nullptr && *h != '\0') {
        home = h;
    } else {
        const char* user = std::getenv("HOME");
        home = std::string(user != nullptr ? user : "/tmp") + "/.tavik";
    }
    std::error_code ec;
    fs::create_directories(home, ec);
    return home;
}

std::string hostPath(const std::string& windowsPath) {
    std::string p = windowsPath;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
        std::string rest = p.substr(2);
        if (rest.empty() || rest[0] != '/') rest = "/" + rest;
        const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
        return homeDirectory() + "/" + std::string(1, drive) + rest;
    }
    return p;
}

std::string toHex(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        s.push_back(digits[data[i] >> 4]);
        s.push_back(digits[data[i] & 15]);
    }
    return s;
}

bool fromHex(const std::string& text, std::vector<uint8_t>& bytes) {
    std::string t;
    for (char c : text)
        if (c != ' ' && c != ':' && c != '-') t.push_back(c);
    if (t.size() % 2 != 0) return false;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < t.size(); i += 2) {
        auto nib = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        const int hi = nib(t[i]), lo = nib(t[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    bytes = std::move(out);
    return true;
}

bool parseVersion(const std::string& text, std::vector<uint8_t>& parts) {
    unsigned v[4];
    char extra;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &v[0], &v[1], &v[2], &v[3], &extra) != 4)
        return false;
    parts.clear();
    for (unsigned x : v) {
        if (x > 255) return false;
        parts.push_back(static_cast<uint8_t>(x));
    }
    return true;
}

json logEntryToJson(const LogEntry& e) {
    json j = {{"seq", e.seq},       {"pid", e.pid},   {"target", e.target},
              {"code", e.code},     {"in", toHex(e.in.data(), e.in.size())},
              {"out", toHex(e.out.data(), e.out.size())},
              {"returned", e.returned}, {"ok", e.ok}};
    if (!e.note.empty()) j["note"] = e.note;
    return j;
}

LogEntry logEntryFromJson(const json& j) {
    LogEntry e;
    e.seq = j.value("seq", uint64_t{0});
    e.pid = j.value("pid", 0u);
    e.target = j.value("target", std::string());
    e.code = j.value("code", 0u);
    fromHex(j.value("in", std::string()), e.in);
    fromHex(j.value("out", std::string()), e.out);
    e.returned = j.value("returned", 0u);
    e.ok = j.value("ok", false);
    e.note = j.value("note", std::string());
    return e;
}

Unit& Unit::instance() {
    static std::unique_ptr<Unit> unit;
    std::lock_guard<std::recursive_mutex> guard(processMutex());
    const std::string home = homeDirectory();
    if (!unit || unit->home() != home) unit = std::make_unique<Unit>(home);
    return *unit;
}

Unit::Unit(std::string home) : home_(std::move(home)) {
    std::error_code ec;
    fs::create_directories(home_ + "/sim", ec);
    lockFd_ = ::open((home_ + "/sim/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

Unit::~Unit() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

std::string Unit::statePath() const { return home_ + "/sim/state.json"; }
std::string Unit::logPath() const { return home_ + "/sim/requests.log"; }

void Unit::lockFile() {
    if (lockFd_ < 0) throw std::runtime_error("simulated unit: cannot open " + home_ + "/sim/lock");
    while (::flock(lockFd_, LOCK_EX) != 0)
        if (errno != EINTR) throw std::runtime_error("simulated unit: lock failed");
}

void Unit::unlockFile() { ::flock(lockFd_, LOCK_UN); }

void Unit::loadStateLocked() {
    struct stat st {};
    if (::stat(statePath().c_str(), &st) != 0) {
        // First use of this home: a fully fitted unit.
        cached_ = false;
        json profile = defaultProfile();
        state_ = json::object();
        for (const Model& m : models()) m.init(profile, state_);
        state_["profile"] = profile.value("name", std::string("default"));
        state_["faults"] = json::array();
        state_["seq"] = 0;
        saveStateLocked();
        return;
    }
    const int64_t mtime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (cached_ && cacheIno_ == st.st_ino && cacheSize_ == uint64_t(st.st_size) && cacheMtimeNs_ == mtime)
        return;
    std::ifstream in(statePath(), std::ios::binary);
    try {
        state_ = json::parse(in);
    } catch (const json::exception&) {
        // A damaged state file is replaced by a fresh unit rather than failing every request.
        ::unlink(statePath().c_str());
        loadStateLocked();
        return;
    }
    cached_ = true;
    cacheIno_ = st.st_ino;
    cacheSize_ = uint64_t(st.st_size);
    cacheMtimeNs_ = mtime;
}

void Unit::saveStateLocked() {
    const std::string tmp = statePath() + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << state_.dump(1);
        if (!out.flush()) throw std::runtime_error("simulated unit: cannot write " + tmp);
    }
    if (std::rename(tmp.c_str(), statePath().c_str()) != 0)
        throw std::runtime_error("simulated unit: cannot replace " + statePath());
    struct stat st {};
    if (::stat(statePath().c_str(), &st) == 0) {
        cached_ = true;
        cacheIno_ = st.st_ino;
        cacheSize_ = uint64_t(st.st_size);
        cacheMtimeNs_ = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
}

void Unit::transact(const std::function<void(Txn&)>& f) {
    std::lock_guard<std::recursive_mutex> guard(processMutex());
    lockFile();
    struct Unlock {
        Unit* u;
        ~Unlock() { u->unlockFile(); }
    } unlock{this};
    loadStateLocked();
    json working = state_;
    Txn txn{working};
    f(txn);
    if (txn.dirty) {
        state_ = std::move(working);
        saveStateLocked();
    }
}

void Unit::loadProfile(const json& profile) {
    transact([&](Txn& txn) {
        const uint64_t seq = txn.state.value("seq", uint64_t{0});
        json fresh = json::object();
        for (const Model& m : models()) m.init(profile, fresh);
        fresh["profile"] = profile.value("name", std::string("custom"));
        fresh["faults"] = json::array();
        fresh["seq"] = seq;
        txn.state = std::move(fresh);
        txn.touch();
    });
}

void Unit::reset() {
    loadProfile(defaultProfile());
    clearLog();
}

json Unit::snapshot() {
    json copy;
    transact([&](Txn& txn) { copy = txn.state; });
    return copy;
}

void Unit::appendLog(Txn& txn, LogEntry entry) {
    entry.seq = txn.state.value("seq", uint64_t{0}) + 1;
    txn.state["seq"] = entry.seq;
    txn.touch();
    std::error_code ec;
    if (fs::file_size(logPath(), ec) > kLogRotateBytes && !ec)
        fs::rename(logPath(), logPath() + ".old", ec);
    std::ofstream out(logPath(), std::ios::app | std::ios::binary);
    out << logEntryToJson(entry).dump() << '\n';
}

std::vector<LogEntry> Unit::readLog() {
    std::vector<LogEntry> entries;
    transact([&](Txn&) {
        std::ifstream in(logPath(), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty()) continue;
            try {
                entries.push_back(logEntryFromJson(json::parse(line)));
            } catch (const json::exception&) {
                // a line cut by a killed writer is skipped
            }
        }
    });
    return entries;
}

void Unit::clearLog() {
    transact([&](Txn&) {
        std::ofstream out(logPath(), std::ios::trunc | std::ios::binary);
    });
}

void Unit::addFault(const json& fault) {
    transact([&](Txn& txn) {
        if (!txn.state["faults"].is_array()) txn.state["faults"] = json::array();
        txn.state["faults"].push_back(fault);
        txn.touch();
    });
}

void Unit::clearFaults() {
    transact([&](Txn& txn) {
        txn.state["faults"] = json::array();
        txn.touch();
    });
}

json Unit::faults() {
    json f;
    transact([&](Txn& txn) { f = txn.state.value("faults", json::array()); });
    return f;
}

json Unit::defaultProfile() { return json::parse(kDefaultProfileText); }

std::string Unit::profileDirectory() {
    if (const char* d = std::getenv("TAVIK_PROFILE_DIR"); d != nullptr && *d != '\0') return d;
    return TAVIK_PROFILE_DIR;
}

json Unit::readProfile(const std::string& nameOrPath) {
    std::string path = nameOrPath;
    if (!fs::exists(path)) path = profileDirectory() + "/" + nameOrPath + ".json";
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("no such profile: " + nameOrPath);
    return json::parse(in);
}

json takeFault(Txn& txn, const std::string& target, uint32_t code,
               const std::function<bool(const json&)>& accepts) {
    json& faults = txn.state["faults"];
    if (!faults.is_array()) return nullptr;
    for (size_t i = 0; i < faults.size(); ++i) {
        json& f = faults[i];
        if (f.value("target", std::string()) != target) continue;
        const uint32_t fc = f.value("code", 0u);
        if (fc != 0 && fc != code) continue;
        if (accepts && !accepts(f)) continue;
        if (const int64_t skip = f.value("skip", int64_t{0}); skip > 0) {
            f["skip"] = skip - 1;
            txn.touch();
            continue;
        }
        json taken = f;
        const int64_t remaining = f.value("remaining", int64_t{-1});
        if (remaining > 0) {
            if (remaining == 1)
                faults.erase(i);
            else
                f["remaining"] = remaining - 1;
            txn.touch();
        }
        return taken;
    }
    return nullptr;
}

} // namespace tavik::sim
