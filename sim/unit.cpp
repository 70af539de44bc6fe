#include "sim/unit.h"

#include <sqlite3.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "sim/profile_files.h"
#include "sim/profile_schema.h"

namespace fs = std::filesystem;

namespace tavik::sim {
namespace {

const char kDefaultProfileText[] =
#include "default_profile.inc"
    ;

constexpr int kSchemaVersion = 2;
constexpr uint64_t kChunk = 2048;       // bytes of one stored blob chunk
constexpr int kBusyTimeoutMs = 60000;   // how long a transaction waits for another process
constexpr uint64_t kPruneEvery = 1024;  // log pruning runs every this many entries

std::vector<Model>& models() {
    static std::vector<Model> m;
    return m;
}

const Model* findModel(const std::string& name) {
    for (const Model& m : models())
        if (name == m.name) return &m;
    return nullptr;
}

// Serialises the threads of this process; SQLite's write lock serialises processes.
std::recursive_mutex& processMutex() {
    static std::recursive_mutex m;
    return m;
}

int64_t nowUs() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    return int64_t(tv.tv_sec) * 1000000 + tv.tv_usec;
}

} // namespace

// ---- the database ---------------------------------------------------------------------------

// A prepared statement, reset after each use.
class Stmt {
public:
    Stmt() = default;
    Stmt(sqlite3* db, const char* sql);
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    Stmt& operator=(Stmt&& o) noexcept {
        std::swap(s_, o.s_);
        db_ = o.db_;
        return *this;
    }

    Stmt& bind(int i, int64_t v) { return check(sqlite3_bind_int64(s_, i, v)); }
    Stmt& bind(int i, const std::string& v) {
        return check(sqlite3_bind_text(s_, i, v.data(), int(v.size()), SQLITE_TRANSIENT));
    }
    Stmt& bindBlob(int i, const uint8_t* p, size_t n) {
        return check(sqlite3_bind_blob(s_, i, n ? p : reinterpret_cast<const uint8_t*>(""), int(n), SQLITE_TRANSIENT));
    }
    // True while a row is there.
    bool step();
    void run() {
        while (step()) {
        }
    }
    int64_t integer(int c) const { return sqlite3_column_int64(s_, c); }
    std::string text(int c) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, c));
        return p ? std::string(p, size_t(sqlite3_column_bytes(s_, c))) : std::string();
    }
    std::vector<uint8_t> blob(int c) const {
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s_, c));
        return p ? std::vector<uint8_t>(p, p + sqlite3_column_bytes(s_, c)) : std::vector<uint8_t>();
    }
    const uint8_t* blobData(int c, size_t& n) const {
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s_, c));
        n = size_t(sqlite3_column_bytes(s_, c));
        return p;
    }
    sqlite3_stmt* handle() const { return s_; }
    void reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }

private:
    Stmt& check(int rc);
    sqlite3* db_ = nullptr;
    sqlite3_stmt* s_ = nullptr;
};

// What a failed SQLite call means for the unit.
UnitError::Kind errorKind(sqlite3* db, int rc) {
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return UnitError::Kind::Busy;
    case SQLITE_FULL: return UnitError::Kind::Full;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return UnitError::Kind::Damaged;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN: return db != nullptr && sqlite3_system_errno(db) == ENOSPC ? UnitError::Kind::Full
                                                                                     : UnitError::Kind::Other;
    default: return UnitError::Kind::Other;
    }
}

[[noreturn]] void dbFail(sqlite3* db, const std::string& what) {
    throw UnitError("simulated unit database: " + what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"),
                    db ? errorKind(db, sqlite3_extended_errcode(db)) : UnitError::Kind::Other);
}

// The message for a unit that cannot be used now. Only a unit that cannot be read as one is
// advised a reset: a busy or full one is sound and a reset would throw it away.
std::string unusable(const std::string& path, const UnitError& e) {
    switch (e.kind) {
    case UnitError::Kind::Busy:
        return "simulated unit: " + path + " is busy: another process held it longer than " +
               std::to_string(kBusyTimeoutMs / 1000) + " s (" + e.what() + "); try again";
    case UnitError::Kind::Full:
        return "simulated unit: no space left on the device of " + path + " (" + e.what() + "); nothing was changed";
    case UnitError::Kind::Damaged:
        return "simulated unit: " + path + " cannot be used (" + e.what() + "); `tavikctl sim reset` starts a new unit";
    case UnitError::Kind::Other: break;
    }
    return "simulated unit: " + path + " cannot be used (" + e.what() + ")";
}

Stmt::Stmt(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr) != SQLITE_OK)
        dbFail(db, std::string("cannot prepare \"") + sql + "\"");
}

Stmt& Stmt::check(int rc) {
    if (rc != SQLITE_OK) dbFail(db_, "cannot bind a value");
    return *this;
}

bool Stmt::step() {
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
        return false;
    }
    const std::string msg = sqlite3_errmsg(db_);
    const UnitError::Kind kind = errorKind(db_, rc);
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
    throw UnitError("simulated unit database: " + msg, kind);
}

// Resets a statement when a scope ends (after an early exit from a row loop).
struct Done {
    Stmt& s;
    ~Done() { s.reset(); }
};

class Database {
public:
    explicit Database(const std::string& path);
    ~Database() {
        stmts_.reset();
        sqlite3_close_v2(db_);
    }

    // Logs made before remote clients existed have no client column; it is added in place
    // (older builds name their columns and keep working on the database).
    void addLogClientColumn() {
        Stmt columns(db_, "PRAGMA table_info(log)");
        bool found = false;
        while (columns.step())
            if (columns.text(1) == "client") found = true;
        if (!found) exec("ALTER TABLE log ADD COLUMN client TEXT");
    }

    void exec(const char* sql) {
        char* err = nullptr;
        if (const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &err); rc != SQLITE_OK) {
            std::string msg = err ? err : "?";
            sqlite3_free(err);
            throw UnitError("simulated unit database: " + msg, errorKind(db_, rc));
        }
    }

    // Model documents as of the last transaction of this connection; dropped when another
    // connection committed since.
    std::map<std::string, json> cache;
    void checkCache();

    sqlite3* db_ = nullptr;
    Txn* current = nullptr; // the running transaction, for nested calls
    int64_t dataVersion = -1;
    int64_t logChanges = 0; // rows the running transaction's log appends changed
    bool readOnly = false;  // the running transaction could not start writing (full disk)

private:
    void setUp();
    void prepare();
    bool ready();

public:

    struct Statements {
        Stmt dataVersion, getDoc, putDoc, blobInfo, newBlob, setBlobSize, delBlobSize, getChunk, updChunk,
            insChunk, delChunksFrom, chunkRange, faultsFor, faultUpdate, faultDelete, logInsert, logPrune,
            begin, beginRead, commit, rollback;
    };
    std::unique_ptr<Statements> stmts_;
    Statements& st() { return *stmts_; }
};

Database::Database(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr); rc != SQLITE_OK) {
        const UnitError e(db_ ? sqlite3_errmsg(db_) : "out of memory", errorKind(db_, rc));
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw UnitError(unusable(path, e), e.kind);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // The journal's files stay beside the database when the last process closes it (the WAL cut
    // to nothing): a later process opens the unit without allocating them, so reads still work
    // on a full disk.
    int persist = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // Every step of opening waits for other processes as a request does. SQLite's own wait does
    // not cover them all: a new database's switch to WAL, or a read while another process sets
    // up the journal, answers "locked" at once. Those steps are tried again until the same limit.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        try {
            setUp();
            prepare();
            return;
        } catch (const UnitError& e) {
            stmts_.reset();
            if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            if (e.kind != UnitError::Kind::Busy || std::chrono::steady_clock::now() >= deadline) {
                sqlite3_close_v2(db_);
                db_ = nullptr;
                throw UnitError(unusable(path, e), e.kind);
            }
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

// Whether the tables are there as this build writes them (then opening writes nothing, and
// works on a full disk).
bool Database::ready() {
    Stmt columns(db_, "PRAGMA table_info(log)");
    bool client = false;
    while (columns.step())
        if (columns.text(1) == "client") client = true;
    return client;
}

void Database::setUp() {
    {
        Stmt mode(db_, "PRAGMA journal_mode=WAL");
        // The mode it is in afterwards: anything but WAL means another process held the file.
        const std::string now = mode.step() ? mode.text(0) : std::string();
        mode.reset();
        if (now != "wal") throw UnitError("cannot switch the journal to WAL (database is locked)", UnitError::Kind::Busy);
    }
    // No fsync: a killed process loses nothing committed (the kernel holds the pages); only
    // a crash of the machine itself could lose the last transactions of a simulated unit.
    exec("PRAGMA synchronous=OFF");
    exec("PRAGMA journal_size_limit=0");
    if (ready()) return;
    exec("BEGIN IMMEDIATE");
    exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value);"
         "CREATE TABLE IF NOT EXISTS models(name TEXT PRIMARY KEY, doc TEXT NOT NULL);"
         // A blob's chunks are keyed id * 2^32 + chunk number: one b-tree, and a chunk
         // rewritten in place touches one page.
         "CREATE TABLE IF NOT EXISTS blob_sizes(name TEXT PRIMARY KEY, id INTEGER NOT NULL UNIQUE,"
         " size INTEGER NOT NULL);"
         "CREATE TABLE IF NOT EXISTS blobs(key INTEGER PRIMARY KEY, data BLOB NOT NULL);"
         "CREATE TABLE IF NOT EXISTS faults(id INTEGER PRIMARY KEY AUTOINCREMENT, target TEXT NOT NULL,"
         " body TEXT NOT NULL);"
         "CREATE INDEX IF NOT EXISTS faults_target ON faults(target, id);"
         "CREATE TABLE IF NOT EXISTS log(seq INTEGER PRIMARY KEY AUTOINCREMENT, time_us INTEGER, pid INTEGER,"
         " target TEXT, code INTEGER, in_data BLOB, in_len INTEGER, in_crc INTEGER, out_data BLOB,"
         " out_len INTEGER, out_crc INTEGER, returned INTEGER, ok INTEGER, note TEXT);");
    addLogClientColumn();
    exec("COMMIT");
}

void Database::prepare() {
    stmts_ = std::make_unique<Statements>();
    Statements& s = *stmts_;
    s.dataVersion = Stmt(db_, "PRAGMA data_version");
    s.getDoc = Stmt(db_, "SELECT doc FROM models WHERE name=?1");
    s.putDoc = Stmt(db_, "INSERT OR REPLACE INTO models(name, doc) VALUES(?1, ?2)");
    s.blobInfo = Stmt(db_, "SELECT id, size FROM blob_sizes WHERE name=?1");
    s.newBlob = Stmt(db_, "INSERT INTO blob_sizes(name, id, size) VALUES(?1, (SELECT ifnull(max(id), 0) + 1 FROM blob_sizes), 0)");
    s.setBlobSize = Stmt(db_, "UPDATE blob_sizes SET size=?2 WHERE name=?1");
    s.delBlobSize = Stmt(db_, "DELETE FROM blob_sizes WHERE name=?1");
    s.getChunk = Stmt(db_, "SELECT data FROM blobs WHERE key=?1");
    s.updChunk = Stmt(db_, "UPDATE blobs SET data=?2 WHERE key=?1");
    s.insChunk = Stmt(db_, "INSERT INTO blobs(key, data) VALUES(?1, ?2)");
    s.delChunksFrom = Stmt(db_, "DELETE FROM blobs WHERE key>=?1 AND key<?2");
    s.chunkRange = Stmt(db_, "SELECT key, data FROM blobs WHERE key>=?1 AND key<=?2 ORDER BY key");
    s.faultsFor = Stmt(db_, "SELECT id, body FROM faults WHERE target=?1 ORDER BY id");
    s.faultUpdate = Stmt(db_, "UPDATE faults SET body=?2 WHERE id=?1");
    s.faultDelete = Stmt(db_, "DELETE FROM faults WHERE id=?1");
    s.logInsert = Stmt(db_,
                       "INSERT INTO log(time_us, pid, target, code, in_data, in_len, in_crc, out_data, out_len,"
                       " out_crc, returned, ok, note, client) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14)");
    s.logPrune = Stmt(db_, "DELETE FROM log WHERE seq<=?1");
    s.begin = Stmt(db_, "BEGIN IMMEDIATE");
    s.beginRead = Stmt(db_, "BEGIN");
    s.commit = Stmt(db_, "COMMIT");
    s.rollback = Stmt(db_, "ROLLBACK");
}

void Database::checkCache() {
    Stmt& s = st().dataVersion;
    int64_t v = -1;
    if (s.step()) v = s.integer(0);
    s.reset();
    if (v != dataVersion) {
        cache.clear();
        dataVersion = v;
    }
}

// ---- Txn ------------------------------------------------------------------------------------

Txn::Doc& Txn::load(const std::string& model) {
    auto it = docs_.find(model);
    if (it != docs_.end()) return it->second;
    Doc d;
    auto c = db_.cache.find(model);
    if (c != db_.cache.end()) {
        d.value = c->second;
    } else {
        Stmt& s = db_.st().getDoc;
        s.bind(1, model);
        if (s.step()) {
            const std::string text = s.text(0);
            s.reset();
            try {
                d.value = json::parse(text);
            } catch (const json::exception& e) {
                throw UnitError("simulated unit: the state of model \"" + model + "\" is damaged (" + e.what() +
                                    "); `tavikctl sim reset` starts a new unit",
                                UnitError::Kind::Damaged);
            }
        } else {
            d.value = json::object();
        }
        db_.cache[model] = d.value;
    }
    return docs_.emplace(model, std::move(d)).first->second;
}

const json& Txn::get(const std::string& model) {
    auto it = docs_.find(model);
    if (it != docs_.end()) return it->second.value;
    // Unchanged documents are read straight from the cache, without a copy.
    auto c = db_.cache.find(model);
    if (c != db_.cache.end()) return c->second;
    load(model);
    return db_.cache[model];
}

json& Txn::edit(const std::string& model) {
    Doc& d = load(model);
    d.changed = true;
    return d.value;
}

namespace {

int64_t chunkKey(int64_t id, uint64_t chunk) { return id * (int64_t(1) << 32) + int64_t(chunk); }

} // namespace

Txn::BlobInfo Txn::blobInfo(const std::string& name, bool create) {
    Stmt& s = db_.st().blobInfo;
    s.bind(1, name);
    BlobInfo b;
    if (s.step()) {
        b.id = s.integer(0);
        b.size = uint64_t(s.integer(1));
    }
    s.reset();
    if (b.id == 0 && create) {
        db_.st().newBlob.bind(1, name);
        db_.st().newBlob.run();
        return blobInfo(name, false);
    }
    return b;
}

void Txn::setBlobSize(const std::string& name, uint64_t size) {
    db_.st().setBlobSize.bind(1, name).bind(2, int64_t(size));
    db_.st().setBlobSize.run();
}

void Txn::putChunk(int64_t key, const std::vector<uint8_t>& chunk, bool exists) {
    Stmt& s = exists ? db_.st().updChunk : db_.st().insChunk;
    s.bind(1, key).bindBlob(2, chunk.data(), chunk.size());
    s.run();
}

uint64_t Txn::blobSize(const std::string& name) { return blobInfo(name, false).size; }

bool Txn::blobExists(const std::string& name) { return blobInfo(name, false).id != 0; }

void Txn::blobRead(const std::string& name, uint64_t offset, uint8_t* data, size_t size, uint8_t fill) {
    if (size == 0) return;
    const BlobInfo b = blobInfo(name, false);
    std::memset(data, fill, size);
    if (offset >= b.size) return;
    const uint64_t end = std::min<uint64_t>(b.size, offset + size);
    // Chunks that were never written read as 0xFF (erased memory).
    std::memset(data, 0xFF, size_t(end - offset));
    Stmt& s = db_.st().chunkRange;
    s.bind(1, chunkKey(b.id, offset / kChunk)).bind(2, chunkKey(b.id, (end - 1) / kChunk));
    Done done{s};
    while (s.step()) {
        const uint64_t base = uint64_t(s.integer(0) - chunkKey(b.id, 0)) * kChunk;
        size_t n = 0;
        const uint8_t* p = s.blobData(1, n);
        const uint64_t from = std::max(base, offset), to = std::min<uint64_t>(base + n, end);
        if (from < to) std::memcpy(data + (from - offset), p + (from - base), size_t(to - from));
    }
}

std::vector<uint8_t> Txn::blobRead(const std::string& name, uint64_t offset, size_t size) {
    const uint64_t total = blobSize(name);
    const size_t n = offset >= total ? 0 : size_t(std::min<uint64_t>(size, total - offset));
    std::vector<uint8_t> out(n);
    blobRead(name, offset, out.data(), n);
    return out;
}

void Txn::blobWrite(const std::string& name, uint64_t offset, const uint8_t* data, size_t size) {
    const BlobInfo b = blobInfo(name, true);
    if (size == 0) return;
    const uint64_t end = offset + size;
    const uint64_t newSize = std::max(b.size, end);
    Stmt& get = db_.st().getChunk;
    for (uint64_t c = offset / kChunk; c <= (end - 1) / kChunk; ++c) {
        const uint64_t base = c * kChunk;
        const uint64_t from = std::max(base, offset), to = std::min(base + kChunk, end);
        std::vector<uint8_t> chunk;
        get.bind(1, chunkKey(b.id, c));
        const bool exists = get.step();
        if (exists) chunk = get.blob(0);
        get.reset();
        chunk.resize(size_t(std::min(base + kChunk, newSize) - base), 0xFF);
        std::memcpy(chunk.data() + (from - base), data + (from - offset), size_t(to - from));
        putChunk(chunkKey(b.id, c), chunk, exists);
    }
    if (end > b.size) setBlobSize(name, end);
}

void Txn::blobResize(const std::string& name, uint64_t size, uint8_t fill) {
    const BlobInfo b = blobInfo(name, true);
    if (size < b.size) {
        db_.st().delChunksFrom.bind(1, chunkKey(b.id, (size + kChunk - 1) / kChunk)).bind(2, chunkKey(b.id + 1, 0));
        db_.st().delChunksFrom.run();
        if (size % kChunk != 0) {
            Stmt& get = db_.st().getChunk;
            get.bind(1, chunkKey(b.id, size / kChunk));
            std::vector<uint8_t> chunk;
            const bool found = get.step();
            if (found) chunk = get.blob(0);
            get.reset();
            if (found && chunk.size() > size % kChunk) {
                chunk.resize(size % kChunk);
                putChunk(chunkKey(b.id, size / kChunk), chunk, true);
            }
        }
        setBlobSize(name, size);
    } else if (size > b.size) {
        if (fill != 0xFF) {
            std::vector<uint8_t> pad(size_t(std::min<uint64_t>(size - b.size, 1 << 20)), fill);
            for (uint64_t at = b.size; at < size; at += pad.size())
                blobWrite(name, at, pad.data(), size_t(std::min<uint64_t>(pad.size(), size - at)));
        }
        // Erased memory needs no chunks: missing chunks read as 0xFF.
        setBlobSize(name, size);
    }
}

void Txn::blobAssign(const std::string& name, const std::vector<uint8_t>& data) {
    blobRemove(name);
    blobResize(name, 0);
    blobWrite(name, 0, data.data(), data.size());
}

void Txn::blobRemove(const std::string& name) {
    const BlobInfo b = blobInfo(name, false);
    if (b.id == 0) return;
    db_.st().delChunksFrom.bind(1, chunkKey(b.id, 0)).bind(2, chunkKey(b.id + 1, 0));
    db_.st().delChunksFrom.run();
    db_.st().delBlobSize.bind(1, name);
    db_.st().delBlobSize.run();
}

// ---- helpers --------------------------------------------------------------------------------

void registerModel(const Model& model) { models().push_back(model); }

std::string homeDirectory() {
    // One canonical path per home, so every spelling of it (trailing slashes, relative paths,
    // symlinks) names the same unit, locks and files.
    static std::mutex m;
    static std::string lastRaw, lastHome;
    std::string raw;
    if (const char* h = std::getenv("TAVIK_HOME"); h != nullptr && *h != '\0') {
        raw = h;
    } else {
        const char* user = std::getenv("HOME");
        raw = std::string(user != nullptr ? user : "/tmp") + "/.tavik";
    }
    std::lock_guard<std::mutex> guard(m);
    if (raw == lastRaw && !lastHome.empty()) return lastHome;
    std::error_code ec;
    fs::create_directories(raw, ec);
    fs::path canonical = fs::canonical(raw, ec);
    if (ec) canonical = fs::absolute(raw, ec).lexically_normal();
    std::string home = canonical.string();
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    // A relative TAVIK_HOME depends on the working folder: cache only absolute spellings.
    if (!raw.empty() && raw[0] == '/') {
        lastRaw = raw;
        lastHome = home;
    }
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
    out.reserve(t.size() / 2);
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

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bool parseVersion(const std::string& text, std::vector<uint8_t>& parts) {
    std::vector<uint8_t> out;
    size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
        unsigned v = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            v = v * 10 + unsigned(text[i] - '0');
            if (v > 255) return false;
            ++i;
            ++digits;
        }
        if (digits == 0) return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    if (i != text.size()) return false;
    parts = std::move(out);
    return true;
}

json logEntryToJson(const LogEntry& e) {
    json j = {{"seq", e.seq},       {"time_us", e.timeUs}, {"pid", e.pid},   {"target", e.target},
              {"code", e.code},     {"in", toHex(e.in.data(), e.in.size())},
              {"out", toHex(e.out.data(), e.out.size())},
              {"returned", e.returned}, {"ok", e.ok}};
    if (e.inLength > e.in.size()) j["in_truncated"] = {{"length", e.inLength}, {"crc32", e.inCrc}};
    if (e.outLength > e.out.size()) j["out_truncated"] = {{"length", e.outLength}, {"crc32", e.outCrc}};
    if (!e.note.empty()) j["note"] = e.note;
    if (!e.client.empty()) j["client"] = e.client;
    return j;
}

namespace {
thread_local const Client* tCurrentClient = nullptr;
std::atomic<uint64_t> gNextClientId{1};
} // namespace

const Client* currentClient() { return tCurrentClient; }

ClientScope::ClientScope(const Client* client) : previous_(tCurrentClient) { tCurrentClient = client; }
ClientScope::~ClientScope() { tCurrentClient = previous_; }

uint64_t newClientId() { return gNextClientId.fetch_add(1); }

// ---- Unit -----------------------------------------------------------------------------------

namespace {

std::string dbPath(const std::string& home) { return home + "/sim/unit.db"; }

// Builds every model's state from a profile in the running transaction.
void buildUnit(Database& db, Txn& txn, const json& profile) {
    db.exec("DELETE FROM models; DELETE FROM blobs; DELETE FROM blob_sizes; DELETE FROM faults;");
    db.cache.clear();
    for (const Model& m : models()) m.init(profile, txn);
    Stmt s(db.db_, "INSERT OR REPLACE INTO meta(key, value) VALUES('profile', ?1)");
    s.bind(1, profile.value("name", std::string("custom")));
    s.run();
}

// Old homes kept the state in sim/state.json and the log in sim/requests.log.
void convertOldHome(Database& db, Txn& txn, const std::string& home) {
    const std::string statePath = home + "/sim/state.json";
    std::ifstream in(statePath, std::ios::binary);
    json old;
    try {
        old = json::parse(in);
    } catch (const json::exception& e) {
        throw UnitError("simulated unit: " + statePath + " is damaged (" + e.what() +
                            "); `tavikctl sim reset` starts a new unit",
                        UnitError::Kind::Damaged);
    }
    if (!old.is_object()) throw UnitError("simulated unit: " + statePath + " is not a unit state");
    buildUnit(db, txn, Unit::defaultProfile());
    for (auto it = old.begin(); it != old.end(); ++it) {
        const std::string& key = it.key();
        if (key == "profile" || key == "faults" || key == "seq") continue;
        json doc = it.value();
        if (key == "board" && doc.contains("eeprom")) {
            // EEPROM images become blobs.
            for (const char* which : {"main", "addon"}) {
                json& e = doc["eeprom"][which];
                std::vector<uint8_t> bytes;
                if (e.is_object() && fromHex(e.value("data", std::string()), bytes)) {
                    bytes.resize(4096, 0xFF);
                    txn.blobAssign(std::string("board.eeprom.") + which + ".data", bytes);
                }
                if (e.is_object()) e.erase("data");
            }
        }
        if (key == "driver" && doc.contains("versions") && doc["versions"].is_object()) {
            for (auto& v : doc["versions"].items()) {
                if (v.value().is_array() && v.value().size() == 4) {
                    std::string s;
                    for (size_t i = 0; i < 4; ++i) s += (i ? "." : "") + std::to_string(v.value()[i].get<int>());
                    v.value() = s;
                }
            }
        }
        txn.edit(key) = doc;
    }
    Stmt meta(db.db_, "INSERT OR REPLACE INTO meta(key, value) VALUES('profile', ?1)");
    meta.bind(1, old.value("profile", std::string("default")));
    meta.run();
    if (old.contains("faults") && old["faults"].is_array())
        for (const json& f : old["faults"]) {
            Stmt s(db.db_, "INSERT INTO faults(target, body) VALUES(?1, ?2)");
            s.bind(1, f.value("target", std::string())).bind(2, f.dump());
            s.run();
        }
    // The old log, kept with its sequence numbers.
    std::ifstream logIn(home + "/sim/requests.log", std::ios::binary);
    std::string line;
    Stmt ins(db.db_,
             "INSERT INTO log(seq, pid, target, code, in_data, in_len, in_crc, out_data, out_len, out_crc, returned,"
             " ok, note) VALUES(?1,?2,?3,?4,?5,?6,0,?7,?8,0,?9,?10,?11)");
    while (std::getline(logIn, line)) {
        try {
            const json j = json::parse(line);
            std::vector<uint8_t> inB, outB;
            fromHex(j.value("in", std::string()), inB);
            fromHex(j.value("out", std::string()), outB);
            ins.bind(1, j.value("seq", int64_t(0))).bind(2, j.value("pid", int64_t(0)));
            ins.bind(3, j.value("target", std::string())).bind(4, j.value("code", int64_t(0)));
            ins.bindBlob(5, inB.data(), inB.size()).bind(6, int64_t(inB.size()));
            ins.bindBlob(7, outB.data(), outB.size()).bind(8, int64_t(outB.size()));
            ins.bind(9, j.value("returned", int64_t(0))).bind(10, j.value("ok", false) ? 1 : 0);
            ins.bind(11, j.value("note", std::string()));
            ins.run();
        } catch (const std::exception&) {
            ins.reset(); // a line cut by a killed writer, or a duplicate: skipped
        }
    }
    // The sequence continues after the old one.
    const int64_t seq = old.value("seq", int64_t(0));
    Stmt q(db.db_, "INSERT OR REPLACE INTO sqlite_sequence(name, seq) VALUES('log', max(?1, ifnull((SELECT max(seq) FROM log), 0)))");
    q.bind(1, seq);
    q.run();
}

} // namespace

Unit& Unit::instance() {
    static std::unique_ptr<Unit> unit;
    std::lock_guard<std::recursive_mutex> guard(processMutex());
    const std::string home = homeDirectory();
    if (!unit || unit->home() != home) {
        unit.reset();
        unit = std::make_unique<Unit>(home);
    }
    return *unit;
}

Unit::Unit(std::string home) : home_(std::move(home)) {
    std::error_code ec;
    fs::create_directories(home_ + "/sim", ec);
    db_ = std::make_unique<Database>(dbPath(home_));
    // A new database gets a unit: converted from an old home, or the default one.
    bool empty = false;
    {
        Stmt s(db_->db_, "SELECT value FROM meta WHERE key='schema'");
        if (s.step()) {
            const int64_t v = s.integer(0);
            s.reset();
            if (v != kSchemaVersion)
                throw UnitError("simulated unit: " + dbPath(home_) + " has schema " + std::to_string(v) +
                                ", this build reads " + std::to_string(kSchemaVersion) +
                                    "; `tavikctl sim reset` starts a new unit",
                                UnitError::Kind::Damaged);
        } else {
            empty = true;
        }
    }
    if (empty) {
        transact([&](Txn& txn) {
            Stmt again(db_->db_, "SELECT value FROM meta WHERE key='schema'");
            if (again.step()) return; // another process made it meanwhile
            if (fs::exists(home_ + "/sim/state.json")) {
                convertOldHome(*db_, txn, home_);
            } else {
                buildUnit(*db_, txn, defaultProfile());
            }
            Stmt s(db_->db_, "INSERT OR REPLACE INTO meta(key, value) VALUES('schema', ?1)");
            s.bind(1, kSchemaVersion);
            s.run();
        });
        if (fs::exists(home_ + "/sim/state.json")) {
            fs::rename(home_ + "/sim/state.json", home_ + "/sim/state.json.converted", ec);
            fs::rename(home_ + "/sim/requests.log", home_ + "/sim/requests.log.converted", ec);
        }
        // Temporary files of the old engine's killed writers.
        for (const auto& entry : fs::directory_iterator(home_ + "/sim", ec))
            if (entry.path().filename().string().rfind("state.json.tmp.", 0) == 0) fs::remove(entry.path(), ec);
    }
}

Unit::~Unit() = default;

void Unit::removeDatabase(const std::string& home) {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(dbPath(home) + suffix, ec);
    fs::remove(home + "/sim/state.json", ec);
    fs::remove(home + "/sim/requests.log", ec);
    fs::remove(home + "/sim/requests.log.old", ec);
    // Leftovers of the old engine's writers.
    for (const auto& entry : fs::directory_iterator(home + "/sim", ec))
        if (entry.path().filename().string().rfind("state.json.tmp.", 0) == 0) fs::remove(entry.path(), ec);
}

void Unit::transact(const std::function<void(Txn&)>& f) {
    std::lock_guard<std::recursive_mutex> guard(processMutex());
    Database& db = *db_;
    if (db.current != nullptr) {
        f(*db.current);
        return;
    }
    db.readOnly = false;
    try {
        db.st().begin.run();
    } catch (const UnitError& e) {
        if (e.kind != UnitError::Kind::Full) throw UnitError(unusable(dbPath(home_), e), e.kind);
        // No room even to start writing: the request is served in a read transaction, without
        // its log entry; a change it tries fails as "no space left".
        try {
            db.st().beginRead.run();
        } catch (const UnitError& again) {
            throw UnitError(unusable(dbPath(home_), again), again.kind);
        }
        db.readOnly = true;
    }
    Txn txn(db);
    db.current = &txn;
    db.logChanges = 0;
    const int64_t changesBefore = sqlite3_total_changes64(db.db_);
    bool served = false, stateChanged = false;
    try {
        db.checkCache();
        f(txn);
        served = true;
        stateChanged = sqlite3_total_changes64(db.db_) - changesBefore != db.logChanges;
        for (auto& [name, doc] : txn.docs_) {
            if (!doc.changed) continue;
            stateChanged = true;
            db.st().putDoc.bind(1, name).bind(2, doc.value.dump());
            db.st().putDoc.run();
        }
        db.st().commit.run();
    } catch (const UnitError& e) {
        rollback(db);
        // A request that changed nothing but the log was served: on a full disk only its log
        // entries are lost.
        if (e.kind == UnitError::Kind::Full && served && !stateChanged) return;
        if (e.kind == UnitError::Kind::Full || e.kind == UnitError::Kind::Busy)
            throw UnitError(unusable(dbPath(home_), e), e.kind);
        throw;
    } catch (...) {
        rollback(db);
        throw;
    }
    db.current = nullptr;
    for (auto& [name, doc] : txn.docs_)
        if (doc.changed) db.cache[name] = std::move(doc.value);
}

void Unit::rollback(Database& db) {
    db.current = nullptr;
    if (sqlite3_get_autocommit(db.db_) == 0) {
        try {
            db.st().rollback.run();
        } catch (const UnitError&) {
        }
    }
    db.cache.clear();
}

void Unit::loadProfile(const json& profile) {
    validateProfile(profile, profile.value("name", std::string("profile")));
    transact([&](Txn& txn) { buildUnit(*db_, txn, profile); });
}

void Unit::reset() {
    loadProfile(defaultProfile());
    clearLog();
}

json Unit::snapshot() {
    json state = json::object();
    transact([&](Txn& txn) {
        Stmt names(db_->db_, "SELECT name FROM models ORDER BY name");
        std::vector<std::string> list;
        while (names.step()) list.push_back(names.text(0));
        for (const std::string& n : list) state[n] = txn.get(n);
        Stmt blobs(db_->db_, "SELECT name, size FROM blob_sizes ORDER BY name");
        std::vector<std::pair<std::string, uint64_t>> bl;
        while (blobs.step()) bl.emplace_back(blobs.text(0), uint64_t(blobs.integer(1)));
        for (const auto& [name, size] : bl) {
            json value;
            const std::vector<uint8_t> data = txn.blobRead(name);
            if (size <= kLogPayloadLimit)
                value = toHex(data.data(), data.size());
            else
                value = {{"length", size}, {"crc32", crc32(data.data(), data.size())}};
            // "board.eeprom.main.data" sits at /board/eeprom/main/data.
            json::json_pointer ptr;
            std::stringstream parts(name);
            std::string part;
            while (std::getline(parts, part, '.')) ptr /= part;
            try {
                state[ptr] = value;
            } catch (const json::exception&) {
                state["blobs"][name] = value;
            }
        }
        Stmt meta(db_->db_, "SELECT value FROM meta WHERE key='profile'");
        if (meta.step()) state["profile"] = meta.text(0);
        meta.reset();
        Stmt seq(db_->db_, "SELECT ifnull((SELECT seq FROM sqlite_sequence WHERE name='log'), 0)");
        if (seq.step()) state["seq"] = seq.integer(0);
        seq.reset();
        state["faults"] = faults(); // joins this transaction: one consistent picture
    });
    return state;
}

std::string Unit::profileName() {
    std::string name;
    transact([&](Txn&) {
        Stmt meta(db_->db_, "SELECT value FROM meta WHERE key='profile'");
        if (meta.step()) name = meta.text(0);
        meta.reset();
    });
    return name;
}

void Unit::appendLog(Txn& txn, LogEntry e) {
    Database& db = *db_;
    if (db.readOnly) return; // no room for it
    Stmt& s = db.st().logInsert;
    auto bindPayload = [&](int at, const std::vector<uint8_t>& p) {
        if (p.size() <= kLogPayloadLimit) {
            s.bindBlob(at, p.data(), p.size()).bind(at + 1, int64_t(p.size())).bind(at + 2, 0);
        } else {
            s.bindBlob(at, p.data(), kLogPrefixBytes).bind(at + 1, int64_t(p.size()));
            s.bind(at + 2, int64_t(crc32(p.data(), p.size())));
        }
    };
    if (const Client* c = currentClient()) {
        e.pid = c->pid;
        e.client = c->name;
    }
    s.bind(1, e.timeUs ? e.timeUs : nowUs()).bind(2, e.pid || currentClient() ? e.pid : int64_t(::getpid()));
    s.bind(3, e.target).bind(4, e.code);
    bindPayload(5, e.in);
    bindPayload(8, e.out);
    s.bind(11, e.returned).bind(12, e.ok ? 1 : 0).bind(13, e.note);
    if (e.client.empty())
        sqlite3_bind_null(s.handle(), 14);
    else
        s.bind(14, e.client);
    s.run();
    db.logChanges += 1;
    const uint64_t seq = uint64_t(sqlite3_last_insert_rowid(db.db_));
    if (seq % kPruneEvery == 0 && seq > kLogKeepEntries) {
        db.st().logPrune.bind(1, int64_t(seq - kLogKeepEntries));
        db.st().logPrune.run();
        db.logChanges += sqlite3_changes64(db.db_);
    }
}

std::vector<LogEntry> Unit::readLog(const LogQuery& q) {
    // A read transaction of its own: writers are not held up while the log is read.
    std::lock_guard<std::recursive_mutex> guard(processMutex());
    std::string sql =
        "SELECT seq, time_us, pid, target, code, in_data, in_len, in_crc, out_data, out_len, out_crc, returned, ok, "
        "note, client FROM log WHERE seq>?1";
    if (!q.target.empty()) sql += " AND target=?2";
    if (q.code >= 0) sql += " AND code=?3";
    sql += q.last ? " ORDER BY seq DESC LIMIT ?4" : " ORDER BY seq";
    Stmt s(db_->db_, sql.c_str());
    s.bind(1, int64_t(q.since));
    if (!q.target.empty()) s.bind(2, q.target);
    if (q.code >= 0) s.bind(3, q.code);
    if (q.last) s.bind(4, int64_t(q.last));
    std::vector<LogEntry> out;
    while (s.step()) {
        LogEntry e;
        e.seq = uint64_t(s.integer(0));
        e.timeUs = s.integer(1);
        e.pid = uint32_t(s.integer(2));
        e.target = s.text(3);
        e.code = uint32_t(s.integer(4));
        e.in = s.blob(5);
        e.inLength = uint64_t(s.integer(6));
        e.inCrc = uint32_t(s.integer(7));
        e.out = s.blob(8);
        e.outLength = uint64_t(s.integer(9));
        e.outCrc = uint32_t(s.integer(10));
        e.returned = uint32_t(s.integer(11));
        e.ok = s.integer(12) != 0;
        e.note = s.text(13);
        e.client = s.text(14);
        out.push_back(std::move(e));
    }
    if (q.last) std::reverse(out.begin(), out.end());
    return out;
}

void Unit::clearLog() {
    transact([&](Txn&) { db_->exec("DELETE FROM log"); });
}

void Unit::addFault(const json& fault) {
    transact([&](Txn&) {
        Stmt s(db_->db_, "INSERT INTO faults(target, body) VALUES(?1, ?2)");
        s.bind(1, fault.value("target", std::string())).bind(2, fault.dump());
        s.run();
    });
}

void Unit::clearFaults() {
    transact([&](Txn&) { db_->exec("DELETE FROM faults"); });
}

json Unit::faults() {
    json list = json::array();
    transact([&](Txn&) {
        Stmt s(db_->db_, "SELECT body FROM faults ORDER BY id");
        while (s.step()) list.push_back(json::parse(s.text(0)));
    });
    return list;
}

namespace {

// "model.a.b" into the model and a pointer into its document.
std::pair<std::string, json::json_pointer> splitPath(const std::string& path) {
    const size_t dot = path.find('.');
    const std::string model = path.substr(0, dot);
    if (model.empty() || findModel(model) == nullptr) {
        std::string names;
        for (const Model& m : models()) names += std::string(names.empty() ? "" : ", ") + m.name;
        throw std::invalid_argument("no model \"" + model + "\" (models: " + names + ")");
    }
    json::json_pointer ptr;
    if (dot != std::string::npos) {
        std::stringstream parts(path.substr(dot + 1));
        std::string part;
        while (std::getline(parts, part, '.')) {
            if (part.empty()) throw std::invalid_argument("empty field name in \"" + path + "\"");
            ptr /= part;
        }
    }
    return {model, ptr};
}

} // namespace

json Unit::getValue(const std::string& path) {
    auto [model, ptr] = splitPath(path);
    json value;
    transact([&](Txn& txn) {
        const json& doc = txn.get(model);
        if (!doc.contains(ptr)) throw std::invalid_argument("no field \"" + path + "\"");
        value = doc.at(ptr);
    });
    return value;
}

void Unit::setValue(const std::string& path, const std::string& text) {
    auto [model, ptr] = splitPath(path);
    if (ptr.empty()) throw std::invalid_argument("name a field of the model: MODEL.FIELD");
    json value;
    try {
        value = json::parse(text);
    } catch (const json::exception&) {
        value = text; // a plain word is a string
    }
    const Model* m = findModel(model);
    transact([&](Txn& txn) {
        json doc = txn.get(model);
        if (!doc.contains(ptr)) throw std::invalid_argument("no field \"" + path + "\"");
        const json& old = doc.at(ptr);
        if (old.is_string() && !value.is_string()) value = text;
        if (old.type() != value.type() && !(old.is_number() && value.is_number()))
            throw std::invalid_argument("\"" + path + "\" takes a " + std::string(old.type_name()) + ", not a " +
                                        value.type_name());
        doc[ptr] = value;
        std::string error;
        if (m->validate != nullptr && !m->validate(doc, error))
            throw std::invalid_argument("\"" + path + "\": " + error);
        txn.edit(model) = std::move(doc);
    });
}

json Unit::defaultProfile() { return json::parse(kDefaultProfileText); }

std::string Unit::profileDirectory() { return shippedProfileDirectory(); }

json Unit::readProfile(const std::string& nameOrPath) { return readProfileFile(nameOrPath); }

json takeFault(Txn& txn, const std::string& target, uint32_t code,
               const std::function<bool(const json&)>& accepts) {
    Database& db = txn.db_;
    Stmt& s = db.st().faultsFor;
    s.bind(1, target);
    std::vector<std::pair<int64_t, std::string>> rows;
    while (s.step()) rows.emplace_back(s.integer(0), s.text(1));
    for (auto& [id, body] : rows) {
        json f = json::parse(body);
        const uint32_t fc = f.value("code", 0u);
        if (fc != 0 && fc != code) continue;
        if (accepts && !accepts(f)) continue;
        if (const int64_t skip = f.value("skip", int64_t{0}); skip > 0) {
            f["skip"] = skip - 1;
            db.st().faultUpdate.bind(1, id).bind(2, f.dump());
            db.st().faultUpdate.run();
            continue;
        }
        const int64_t remaining = f.value("remaining", int64_t{-1});
        if (remaining == 1) {
            db.st().faultDelete.bind(1, id);
            db.st().faultDelete.run();
        } else if (remaining > 1) {
            json next = f;
            next["remaining"] = remaining - 1;
            db.st().faultUpdate.bind(1, id).bind(2, next.dump());
            db.st().faultUpdate.run();
        }
        return f;
    }
    return nullptr;
}

} // namespace tavik::sim
