// The simulated unit: one per TAVIK_HOME. Its hardware state lives in a file under the home,
// shared by every process at once (each access takes an exclusive file lock) and kept between
// runs, as real hardware keeps its state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavik::sim {

using json = nlohmann::json;

// TAVIK_HOME, or ~/.tavik when it is unset; created when missing.
std::string homeDirectory();

// Maps a Windows path ("c:\Windows\System32\oeminfo.ini") to its place in the home
// (<home>/c/Windows/System32/oeminfo.ini). Paths without a drive are only re-separated.
std::string hostPath(const std::string& windowsPath);

// One access to the unit's state, under the unit's cross-process lock.
struct Txn {
    json& state;
    bool dirty = false;
    void touch() { dirty = true; }
};

// One served request as the log keeps it.
struct LogEntry {
    uint64_t seq = 0;
    uint32_t pid = 0;
    std::string target; // device name, "service:<name>" or "board"
    uint32_t code = 0;  // request code, service control code or board ordinal
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    uint32_t returned = 0;
    bool ok = false;
    std::string note; // what the unit made of it (fault applied, reason for a failure)
};

json logEntryToJson(const LogEntry& e);
LogEntry logEntryFromJson(const json& j);

// A part of the unit (driver, board, service, ...): builds its state from a profile.
struct Model {
    const char* name;
    void (*init)(const json& profile, json& state);
};

// Registers a model; called from static initialisers of the model files.
void registerModel(const Model& model);

class Unit {
public:
    // The unit of the current TAVIK_HOME (re-resolved when the variable changes).
    static Unit& instance();

    const std::string& home() const { return home_; }

    // Runs f on the state under the cross-process lock; saves the state when f touched it.
    void transact(const std::function<void(Txn&)>& f);

    // Replaces the whole state by one built from the profile and writes the profile's files.
    void loadProfile(const json& profile);
    // Loads the built-in default profile (a fully fitted unit); the log is cleared.
    void reset();
    // A copy of the current state.
    json snapshot();

    // Appends to the request log; call inside transact (the sequence number lives in the state).
    void appendLog(Txn& txn, LogEntry entry);
    std::vector<LogEntry> readLog();
    void clearLog();

    // Faults: objects with "target", "code" (0: any), "action" and action arguments;
    // "remaining" counts the requests it still applies to (-1 or absent: every one).
    void addFault(const json& fault);
    void clearFaults();
    json faults();

    // The built-in default profile and the folder of the shipped profiles.
    static json defaultProfile();
    static std::string profileDirectory();
    // A profile by file path or by the name of a shipped profile.
    static json readProfile(const std::string& nameOrPath);

    explicit Unit(std::string home);
    ~Unit();
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

private:
    void lockFile();
    void unlockFile();
    void loadStateLocked();
    void saveStateLocked();
    std::string statePath() const;
    std::string logPath() const;

    std::string home_;
    int lockFd_ = -1;
    json state_;
    bool cached_ = false;
    uint64_t cacheIno_ = 0, cacheSize_ = 0;
    int64_t cacheMtimeNs_ = 0;
};

// Finds the first fault for (target, code) in the state that `accepts` (when given) and that is
// past its "skip" count, counts one use of it and returns it; a null json when none applies.
// Faults with code 0 match any code of the target.
json takeFault(Txn& txn, const std::string& target, uint32_t code,
               const std::function<bool(const json&)>& accepts = {});

// Hex text of bytes ("0a1b") and back; false when the text is not hex.
std::string toHex(const uint8_t* data, size_t size);
bool fromHex(const std::string& text, std::vector<uint8_t>& bytes);

// "a.b.c.d" into four bytes (each 0..255).
bool parseVersion(const std::string& text, std::vector<uint8_t>& parts);

} // namespace tavik::sim
