// Change announcements of the panel server, from a reader connection on the unit's database.
#include "sim_panel_watch.h"

#include <sqlite3.h>

#include <stdexcept>

namespace tavikctl {
namespace sim_panel_watch_cmd {

constexpr size_t kKeptEvents = 256;
constexpr int kBusyTimeoutMs = 1000;

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Runs `sql` and calls `row` for each result row.
template <class Row>
bool query(sqlite3* db, const char* sql, Row row) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) return false;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) row(s);
    sqlite3_finalize(s);
    return rc == SQLITE_DONE;
}

std::string column(sqlite3_stmt* s, int i) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return t ? std::string(t, size_t(sqlite3_column_bytes(s, i))) : std::string();
}

} // namespace sim_panel_watch_cmd

UnitWatcher::UnitWatcher(const std::string& home, std::chrono::milliseconds period) : period_(period) {
    using namespace sim_panel_watch_cmd;
    const std::string path = home + "/sim/unit.db";
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close_v2(db_);
        throw std::runtime_error("cannot read " + path + ": " + why);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    look(); // the starting picture: no event
    history_.clear();
    latest_.id = 0;
    latest_.models.clear();
}

UnitWatcher::~UnitWatcher() { sqlite3_close_v2(db_); }

void UnitWatcher::look() {
    using namespace sim_panel_watch_cmd;
    int64_t version = -1;
    query(db_, "PRAGMA data_version", [&](sqlite3_stmt* s) { version = sqlite3_column_int64(s, 0); });
    if (version == dataVersion_) return;
    // One read transaction: the documents and the sequence number of one commit.
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return;
    std::map<std::string, std::string> docs;
    bool ok = query(db_, "SELECT name, doc FROM models", [&](sqlite3_stmt* s) { docs[column(s, 0)] = column(s, 1); });
    std::string faults;
    ok = ok && query(db_, "SELECT id, body FROM faults ORDER BY id", [&](sqlite3_stmt* s) {
             faults += column(s, 0) + " " + column(s, 1) + "\n";
         });
    docs["faults"] = faults;
    query(db_, "SELECT value FROM meta WHERE key='profile'", [&](sqlite3_stmt* s) { docs["profile"] = column(s, 0); });
    uint64_t seq = 0;
    ok = ok && query(db_, "SELECT ifnull((SELECT seq FROM sqlite_sequence WHERE name='log'), 0)",
                     [&](sqlite3_stmt* s) { seq = uint64_t(sqlite3_column_int64(s, 0)); });
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (!ok) return; // looked at during a rebuild of the unit: the next look sees it whole
    dataVersion_ = version;

    Event e;
    std::lock_guard<std::mutex> lock(mutex_); // docs_ is read by eventsAfter
    for (const auto& [name, doc] : docs) {
        auto it = docs_.find(name);
        if (it == docs_.end() || it->second != doc) e.models.push_back(name);
    }
    for (const auto& [name, doc] : docs_)
        if (docs.count(name) == 0) e.models.push_back(name);
    docs_ = std::move(docs);
    if (e.models.empty() && seq == latest_.seq) return;
    e.id = latest_.id + 1;
    e.seq = seq;
    e.timeUs = nowUs();
    latest_ = e;
    history_.push_back(std::move(e));
    if (history_.size() > kKeptEvents) history_.pop_front();
    changed_.notify_all();
}

void UnitWatcher::run() {
    using namespace sim_panel_watch_cmd;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        lock.unlock();
        look();
        lock.lock();
        changed_.wait_for(lock, period_, [this] { return stop_; });
    }
}

void UnitWatcher::stop() {
    using namespace sim_panel_watch_cmd;
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    changed_.notify_all();
}

bool UnitWatcher::stopping() {
    using namespace sim_panel_watch_cmd;
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

UnitWatcher::Event UnitWatcher::latest() {
    using namespace sim_panel_watch_cmd;
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

std::vector<UnitWatcher::Event> UnitWatcher::eventsAfter(uint64_t after, std::chrono::milliseconds wait) {
    using namespace sim_panel_watch_cmd;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return stop_ || latest_.id > after; });
    std::vector<Event> out;
    if (stop_ || latest_.id <= after) return out;
    if (history_.empty() || history_.front().id > after + 1) {
        Event all = latest_;
        all.models.clear();
        for (const auto& [name, doc] : docs_) all.models.push_back(name);
        out.push_back(std::move(all));
        return out;
    }
    for (const Event& e : history_)
        if (e.id > after) out.push_back(e);
    return out;
}

nlohmann::json eventJson(const UnitWatcher::Event& e) {
    using namespace sim_panel_watch_cmd;
    return {{"id", e.id}, {"seq", e.seq}, {"models", e.models}, {"time_us", e.timeUs}};
}

} // namespace tavikctl
