// Change announcements of the panel server: which models of the unit changed, and the newest log
// sequence number, for commits by any process. A reader connection of its own on the unit's
// database notices a commit from SQLite's data version (one cheap query per period) and only then
// compares the model documents with those it saw last. It never writes and never holds a
// transaction between looks, so the unit's requests do not wait for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct sqlite3;

namespace tavikctl {

class UnitWatcher {
public:
    struct Event {
        uint64_t id = 0;                 // counts up from 1 in this server
        uint64_t seq = 0;                // newest log sequence number
        std::vector<std::string> models; // changed models; "faults" and "profile" for those tables
        int64_t timeUs = 0;              // when the change was seen
    };

    // Opens <home>/sim/unit.db for reading; throws std::runtime_error when it cannot.
    UnitWatcher(const std::string& home, std::chrono::milliseconds period);
    ~UnitWatcher();
    UnitWatcher(const UnitWatcher&) = delete;
    UnitWatcher& operator=(const UnitWatcher&) = delete;

    // Looks every period until stop(); call from one thread.
    void run();
    void stop();
    // Looks once now (run() does this each period).
    void look();

    // The events after `after`, waiting up to `wait` for one; empty on time-out or stop. A reader
    // that fell behind the kept history gets one event naming every model.
    std::vector<Event> eventsAfter(uint64_t after, std::chrono::milliseconds wait);
    // The newest event id and log sequence number.
    Event latest();
    bool stopping();

private:
    sqlite3* db_ = nullptr;
    std::chrono::milliseconds period_;
    int64_t dataVersion_ = -1;
    std::map<std::string, std::string> docs_; // model documents (and "faults", "profile") as last seen
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Event> history_;
    Event latest_;
    bool stop_ = false;
};

nlohmann::json eventJson(const UnitWatcher::Event& e);

} // namespace tavikctl
