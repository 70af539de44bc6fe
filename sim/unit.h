// The simulated unit: one per TAVIK_HOME, kept in an SQLite database (<home>/sim/unit.db, WAL
// journal) shared by every process at once and kept between runs, as real hardware keeps its
// state. Each access is one short write transaction: a process killed at any instant leaves the
// last committed state.
//
// Model contract (every part of the unit: driver, board, service, each family's hardware):
// - A model registers itself once from a static initialiser with registerModel(): a name, an
//   `init` that builds its state from a profile, and optionally a `validate` that checks (and may
//   normalise) its document after a generic change (`tavikctl sim set MODEL.FIELD VALUE`).
// - Its small state is one JSON document (registers, flags, settings), read with Txn::get() and
//   changed with Txn::edit(); only edited documents are written back at commit.
// - Its large memories (EEPROM images, flash, configuration memory, frames) are blobs named
//   "<model>.<name>", read and written over the range a request touches (Txn::blobRead/Write);
//   they never pass through the JSON document.
// - A handler runs inside the transaction of one request: it reads and changes its own model's
//   state and blobs, and nothing else of the unit, except where the hardware links two models (a
//   new FPGA configuration changes the version the driver reports); it says so where it does. It must not start another transaction, block,
//   sleep, or keep references to documents after it returns. Exceptions it throws roll the whole
//   transaction back (the request then fails).
// - Models follow the hardware: they keep registers and memories and answer requests as the
//   device would; they never imitate a library result code.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavik::sim {

using json = nlohmann::json;

// A unit that cannot be opened, read or written: the message says what and where.
struct UnitError : std::runtime_error {
    enum class Kind {
        Other,
        Busy,    // another process held the unit longer than the wait
        Full,    // no space left for a change; what was there is intact
        Damaged, // the database cannot be read as a unit: only a reset helps
    };
    explicit UnitError(const std::string& what, Kind kind = Kind::Other) : std::runtime_error(what), kind(kind) {}
    Kind kind;
};

// TAVIK_HOME (resolved to one canonical path), or ~/.tavik when it is unset; created when missing.
std::string homeDirectory();

// Maps a Windows path ("c:\Windows\System32\oeminfo.ini") to its place in the home
// (<home>/c/Windows/System32/oeminfo.ini). Paths without a drive are only re-separated.
std::string hostPath(const std::string& windowsPath);

class Database;
class Txn;

// Finds the first fault for (target, code) that `accepts` (when given) and that is past its
// "skip" count, counts one use of it and returns it; a null json when none applies. Faults with
// code 0 match any code of the target; several that match are used in the order they were added.
json takeFault(Txn& txn, const std::string& target, uint32_t code,
               const std::function<bool(const json&)>& accepts = {});

// One transaction on the unit. Documents and blobs read through it are those of this transaction;
// changes become visible to other processes at commit, all together or not at all.
class Txn {
public:
    // The model's document (an empty object when the model has none).
    const json& get(const std::string& model);
    // The same, for changing; written back at commit.
    json& edit(const std::string& model);

    // Blobs: absent blobs have size 0. Reads beyond the end fill with `fill`; writes beyond the
    // end grow the blob (the gap reads as 0xFF). Ranges touch only the stored chunks they cover.
    uint64_t blobSize(const std::string& name);
    bool blobExists(const std::string& name);
    void blobRead(const std::string& name, uint64_t offset, uint8_t* data, size_t size, uint8_t fill = 0xFF);
    std::vector<uint8_t> blobRead(const std::string& name, uint64_t offset = 0, size_t size = SIZE_MAX);
    void blobWrite(const std::string& name, uint64_t offset, const uint8_t* data, size_t size);
    // Sets the size: cut, or grown with `fill`.
    void blobResize(const std::string& name, uint64_t size, uint8_t fill = 0xFF);
    // Replaces the whole contents.
    void blobAssign(const std::string& name, const std::vector<uint8_t>& data);
    void blobRemove(const std::string& name);

    // Compatibility: marks nothing; documents are written when taken with edit().
    void touch() {}

private:
    friend class Unit;
    friend json takeFault(Txn&, const std::string&, uint32_t, const std::function<bool(const json&)>&);
    explicit Txn(Database& db) : db_(db) {}
    struct Doc {
        json value;
        bool changed = false;
    };
    Doc& load(const std::string& model);
    struct BlobInfo {
        int64_t id = 0; // 0: no such blob
        uint64_t size = 0;
    };
    BlobInfo blobInfo(const std::string& name, bool create);
    void setBlobSize(const std::string& name, uint64_t size);
    void putChunk(int64_t key, const std::vector<uint8_t>& chunk, bool exists);
    Database& db_;
    std::map<std::string, Doc> docs_;
};

// One served request as the log keeps it. A payload above 4 KiB is kept as its length, its first
// 64 bytes and its CRC-32 (inLength/outLength and inCrc/outCrc; `in`/`out` then hold the prefix).
struct LogEntry {
    uint64_t seq = 0;
    int64_t timeUs = 0; // microseconds since the epoch
    uint32_t pid = 0;
    std::string target; // device name, "service:<name>" or "board"
    uint32_t code = 0;  // request code, service control code or board ordinal
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    uint64_t inLength = 0, outLength = 0; // whole payload lengths
    uint32_t inCrc = 0, outCrc = 0;       // CRC-32 of truncated payloads (0 when kept whole)
    uint32_t returned = 0;
    bool ok = false;
    std::string note; // what the unit made of it (fault applied, reason for a failure)
    std::string client; // the remote client it was served for ("remote 127.0.0.1:53122 ..."); empty: local
};

json logEntryToJson(const LogEntry& e);

// Who a request is served for. Requests of this process's own callers have no client; the remote
// server (sim/remote_server.h) names the client of a connection on the thread serving it, and
// appendLog then records that client's process id and name instead of this process's.
struct Client {
    uint64_t id = 0;  // unique in this process for its lifetime
    uint32_t pid = 0; // the client's process id, as it gave it
    std::string name; // "remote 127.0.0.1:53122 (what the client says it is)"
};

// The calling thread's client; null for the process itself.
const Client* currentClient();

// Makes `client` the calling thread's client while the scope lives (null: the process itself).
class ClientScope {
public:
    explicit ClientScope(const Client* client);
    ~ClientScope();
    ClientScope(const ClientScope&) = delete;
    ClientScope& operator=(const ClientScope&) = delete;

private:
    const Client* previous_;
};

// A fresh client id.
uint64_t newClientId();

// Log filters of `tavikctl sim log` and readLog().
struct LogQuery {
    std::string target; // empty: every target
    int64_t code = -1;  // -1: every code
    uint64_t since = 0; // entries with seq > since
    size_t last = 0;    // 0: all (after the other filters), else only the newest `last`
};

constexpr size_t kLogPayloadLimit = 4096; // payloads up to this many bytes are kept whole
constexpr size_t kLogPrefixBytes = 64;
constexpr uint64_t kLogKeepEntries = 100000;

// A part of the unit (driver, board, service, ...).
struct Model {
    const char* name;
    // Builds the model's initial state (document and blobs) from a profile.
    void (*init)(const json& profile, Txn& txn);
    // Checks the document after a generic change; may normalise it. False with a reason refuses.
    bool (*validate)(json& doc, std::string& error) = nullptr;
};

// Registers a model; called from static initialisers of the model files.
void registerModel(const Model& model);

class Unit {
public:
    // The unit of the current TAVIK_HOME (re-resolved when the variable changes). Throws
    // UnitError when the unit's database cannot be opened or is damaged.
    static Unit& instance();

    const std::string& home() const { return home_; }
    // The name of the profile the unit was built from ("default", "no-display", "custom", ...).
    std::string profileName();

    // Runs f in one write transaction (BEGIN IMMEDIATE, committed when f returns, rolled back
    // when it throws). Nested calls from f join the running transaction. Throws UnitError when the
    // database fails. A transaction that changed nothing but the log still succeeds on a full
    // disk: its log entries are then lost, the request itself was served.
    void transact(const std::function<void(Txn&)>& f);

    // Replaces the whole state by one built from the profile and writes the profile's files.
    void loadProfile(const json& profile);
    // Loads the built-in default profile (a fully fitted unit); the log is cleared.
    void reset();
    // The whole state as one document: model documents by name, "profile", "faults", "seq", and
    // blobs placed at their name's path (whole hex up to 4 KiB, else {"length","crc32"}).
    json snapshot();

    // Appends to the request log; call inside transact. Sets entry.seq.
    void appendLog(Txn& txn, LogEntry entry);
    std::vector<LogEntry> readLog(const LogQuery& query = {});
    void clearLog();

    // Faults: objects with "target", "code" (0: any), "action" and action arguments; "skip"
    // requests are let through first; "remaining" counts the requests it then applies to (-1 or
    // absent: every one). Several faults that match are used in the order they were added.
    void addFault(const json& fault);
    void clearFaults();
    json faults();

    // Generic access to model values: "driver.versions.ss" is field /versions/ss of model "driver".
    json getValue(const std::string& path);
    // Sets a value (JSON text, or a plain string) and runs the model's validation; throws
    // std::invalid_argument with the reason when refused (nothing is changed then).
    void setValue(const std::string& path, const std::string& value);

    // The built-in default profile and the folder of the shipped profiles.
    static json defaultProfile();
    static std::string profileDirectory();
    // A profile by file path or by the name of a shipped profile.
    static json readProfile(const std::string& nameOrPath);

    // Opens the unit's database (creating a default unit, or converting an old home); throws
    // UnitError when it cannot.
    explicit Unit(std::string home);
    ~Unit();
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    // Removes the database files of a home (used by reset when the database is damaged).
    static void removeDatabase(const std::string& home);

private:
    // Ends the running transaction without its changes.
    static void rollback(Database& db);

    std::string home_;
    std::unique_ptr<Database> db_;
};


// Hex text of bytes ("0a1b") and back; false when the text is not hex.
std::string toHex(const uint8_t* data, size_t size);
bool fromHex(const std::string& text, std::vector<uint8_t>& bytes);
uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// "a.b.c.d" into four bytes (each 0..255).
bool parseVersion(const std::string& text, std::vector<uint8_t>& parts);

} // namespace tavik::sim
