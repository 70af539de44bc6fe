// The simulated unit's engine: processes at once, killed writers, fault order, the log's filters
// and payload limits, damaged and old homes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "frame/settings_file.h"
#include "support/sim_fixture.h"
#include "tavik2/aux_version.h"

namespace tavik::test {
namespace {

using sim::json;
using sim::LogEntry;
using sim::Txn;

class SimEngineTest : public SimTest {
protected:
    int64_t writerCount() {
        int64_t n = 0;
        unit().transact([&](Txn& t) { n = t.get("writer").value("count", int64_t{0}); });
        return n;
    }
    size_t writerLogEntries() { return unit().readLog({"writer"}).size(); }
};

TEST_F(SimEngineTest, ConcurrentWritersLoseAndDuplicateNothing) {
    constexpr int kProcesses = 4, kEach = 150;
    std::vector<FILE*> pipes;
    for (int i = 0; i < kProcesses; ++i)
        pipes.push_back(::popen(("TAVIK_HOME='" + home() + "' " + binPath("unit_writer") + " " +
                                 std::to_string(kEach) + " >/dev/null").c_str(), "r"));
    for (FILE* p : pipes) EXPECT_EQ(::pclose(p), 0);

    EXPECT_EQ(writerCount(), kProcesses * kEach);
    const auto log = unit().readLog();
    std::set<uint64_t> seqs;
    for (const LogEntry& e : log) EXPECT_TRUE(seqs.insert(e.seq).second) << "sequence " << e.seq << " twice";
    EXPECT_EQ(writerLogEntries(), size_t(kProcesses * kEach));
    // Numbers are handed out without gaps: the log's entries are consecutive.
    EXPECT_EQ(*seqs.rbegin() - *seqs.begin() + 1, seqs.size());
}

TEST_F(SimEngineTest, KilledWritersLeaveEveryCommittedChange) {
    std::mt19937 rng(7);
    int64_t committed = 0; // known to be committed: the last count seen
    for (int round = 0; round < 25; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::execl(binPath("unit_writer").c_str(), "unit_writer", "100000", nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 30000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::string out;
        char buf[4096];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
        ::close(fds[0]);
        int64_t reported = committed;
        if (const size_t end = out.rfind('\n'); end != std::string::npos) {
            const size_t start = out.rfind('\n', end - 1);
            reported = std::atoll(out.c_str() + (start == std::string::npos ? 0 : start + 1));
        }
        ASSERT_GE(reported, committed);
        // A fresh opening of the unit, as the next process would do.
        sim::Unit fresh(home());
        int64_t count = 0;
        fresh.transact([&](Txn& t) { count = t.get("writer").value("count", int64_t{0}); });
        ASSERT_GE(count, reported) << "round " << round << ": a committed change was lost";
        ASSERT_LE(count, reported + 1) << "round " << round;
        // State and log change together or not at all.
        ASSERT_EQ(fresh.readLog({"writer"}).size(), size_t(count)) << "round " << round;
        committed = count;
    }
}

TEST_F(SimEngineTest, FaultsApplyInTheOrderAddedEachUntilItsCountRunsOut) {
    const uint32_t ss = 0x2224F4;
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", ss}, {"action", "reply"}, {"reply", "01010101"},
                     {"skip", 1}, {"remaining", 1}});
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", ss}, {"action", "reply"}, {"reply", "02020202"},
                     {"remaining", 2}});
    auto* h = GetAuxVersion();
    std::vector<int> majors;
    for (int i = 0; i < 5; ++i) {
        uint8_t v[4] = {};
        ASSERT_EQ(AuxVersion_getSSVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_SUCCESS);
        majors.push_back(v[0]);
    }
    AuxVersion_release(h);
    // The first fault lets one request pass to the second, then answers once; the second then
    // answers its remaining one; then the model answers again.
    EXPECT_EQ(majors, (std::vector<int>{2, 1, 2, 1, 1}));
    EXPECT_TRUE(unit().faults().empty());
}

TEST_F(SimEngineTest, LogFiltersAndPayloadLimit) {
    unit().clearLog();
    for (size_t size : {size_t(4096), size_t(4097)}) {
        unit().transact([&](Txn& t) {
            LogEntry e;
            e.target = "probe";
            e.code = uint32_t(size);
            e.in.assign(size, 0xA5);
            unit().appendLog(t, std::move(e));
        });
    }
    const auto whole = unit().readLog({"probe", 4096});
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].in.size(), 4096u);
    const auto cut = unit().readLog({"", 4097});
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].in.size(), 64u);
    EXPECT_EQ(cut[0].inLength, 4097u);
    const std::vector<uint8_t> payload(4097, 0xA5);
    EXPECT_EQ(cut[0].inCrc, sim::crc32(payload.data(), payload.size()));
    EXPECT_EQ(unit().readLog({"", -1, whole[0].seq}).size(), 1u); // --since: after that entry
    EXPECT_EQ(unit().readLog({"", -1, 0, 1})[0].seq, cut[0].seq); // --last 1

    std::string out;
    ASSERT_EQ(run(binPath("tavikctl") + " --json sim log --code 4097", &out), 0) << out;
    const json doc = json::parse(out);
    ASSERT_EQ(doc.size(), 1u);
    EXPECT_EQ(doc[0]["in_truncated"]["length"], 4097);
    for (const char* field : {"seq", "pid", "target", "code", "in", "out", "returned", "ok"})
        EXPECT_TRUE(doc[0].contains(field)) << field;
}

TEST_F(SimEngineTest, BlobRangesReadAndWriteOnlyWhatTheyTouch) {
    unit().transact([](Txn& t) {
        t.blobResize("probe.mem", 10000);
        const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
        t.blobWrite("probe.mem", 2046, bytes.data(), bytes.size()); // across a chunk boundary
        t.blobWrite("probe.mem", 10001, bytes.data(), 1);           // grows, leaving an erased gap
    });
    unit().transact([](Txn& t) {
        EXPECT_EQ(t.blobSize("probe.mem"), 10002u);
        EXPECT_EQ(t.blobRead("probe.mem", 2045, 7), (std::vector<uint8_t>{0xFF, 1, 2, 3, 4, 5, 0xFF}));
        EXPECT_EQ(t.blobRead("probe.mem", 10000, 8), (std::vector<uint8_t>{0xFF, 1}));
        t.blobResize("probe.mem", 2048);
        EXPECT_EQ(t.blobRead("probe.mem", 2045, 7), (std::vector<uint8_t>{0xFF, 1, 2}));
    });
}

TEST_F(SimEngineTest, DamagedUnitIsNeverReplacedSilently) {
    unit().setValue("driver.versions.ss", "1.2.9.9");
    EXPECT_THROW(unit().setValue("driver.versions.ss", "1.2.300.0"), std::invalid_argument);
    EXPECT_THROW(unit().setValue("driver.present", "\"yes\""), std::invalid_argument);
    EXPECT_EQ(unit().getValue("driver.versions.ss"), "1.2.9.9");

    // Another spelling of the home is the same unit.
    ::setenv("TAVIK_HOME", (home() + "//").c_str(), 1);
    EXPECT_EQ(unit().getValue("driver.versions.ss"), "1.2.9.9");

    std::string out;
    for (const char* suffix : {"-wal", "-shm"}) ::unlink((home() + "/sim/unit.db" + suffix).c_str());
    std::ofstream(home() + "/sim/unit.db", std::ios::trunc) << std::string(8192, 'x');
    EXPECT_THROW(sim::Unit broken(home()), sim::UnitError);
    EXPECT_NE(run(binPath("tavikctl") + " versions", &out), 0);
    EXPECT_NE(out.find("sim reset"), std::string::npos) << out;
    ASSERT_EQ(run(binPath("tavikctl") + " sim reset", &out), 0) << out;
    EXPECT_EQ(sim::Unit(home()).getValue("driver.versions.ss"), "1.3.0.0");
}

// Processes started at once on a new home wait for each other at every step of opening, as
// requests do: none fails with "locked", none is told to reset a sound unit.
TEST_F(SimEngineTest, ConcurrentFirstUseOfANewHomeNeverFails) {
    constexpr int kHomes = 6, kProcesses = 9;
    for (int h = 0; h < kHomes; ++h) {
        const std::string fresh = home() + "/fresh" + std::to_string(h);
        std::vector<FILE*> pipes;
        for (int i = 0; i < kProcesses; ++i)
            pipes.push_back(::popen(("TAVIK_HOME='" + fresh + "' " + binPath("tavikctl") +
                                     " sim get driver.versions.fpga 2>&1").c_str(), "r"));
        for (FILE* p : pipes) {
            std::string text;
            char buf[512];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
            EXPECT_EQ(::pclose(p), 0) << text;
        }
    }
}

// On a full disk the unit answers reads; a change fails saying there is no space left, without
// advice to reset, and loses nothing. Runs in a mount namespace of its own on a small tmpfs;
// skipped where that cannot be made.
TEST_F(SimEngineTest, FullDiskServesReadsAndNamesTheLackOfSpace) {
    const std::string script = home() + "/full-disk.sh";
    std::ofstream(script) << R"(
dir=$(mktemp -d /tmp/tavik-full-XXXXXX) || exit 77
unshare --mount --propagation private sh -c '
    mount -t tmpfs -o size=2m tmpfs "$1" 2>/dev/null || exit 77
    export TAVIK_HOME="$1/home" ctl="$2"
    "$ctl" sim set driver.versions.ss 1.2.9.9 >/dev/null || exit 3
    for c in "sim get driver.versions.ss" "versions" "backlight" "settings list"; do
        echo "== before $c"; $ctl $c 2>&1; echo "exit $?"
    done
    dd if=/dev/zero of="$1/fill" bs=4k 2>/dev/null
    for c in "sim get driver.versions.ss" "versions" "backlight" "settings list" "sim set driver.versions.ss 1.2.8.8"; do
        echo "== $c"; $ctl $c 2>&1; echo "exit $?"
    done
    rm "$1/fill"
    echo "== after"; "$ctl" sim get driver.versions.ss 2>&1
' sh "$dir" ")" + binPath("tavikctl") + R"("
status=$?
rmdir "$dir"
exit $status
)";
    std::string out;
    const int status = run("sh '" + script + "'", &out);
    if (status == 77) GTEST_SKIP() << "no mount namespace with a tmpfs here";
    ASSERT_EQ(status, 0) << out;
    auto section = [&](const std::string& name) {
        const size_t at = out.find("== " + name + "\n");
        return at == std::string::npos ? std::string() : out.substr(at, out.find("== ", at + 3) - at);
    };
    // Reads answer on the full disk as they did before it filled.
    auto body = [&](const std::string& name) {
        const std::string text = section(name);
        return text.empty() ? "(missing)" : text.substr(text.find('\n') + 1);
    };
    for (const std::string read : {"sim get driver.versions.ss", "versions", "backlight", "settings list"})
        EXPECT_EQ(body(read), body("before " + read)) << out;
    EXPECT_NE(section("sim get driver.versions.ss").find("1.2.9.9"), std::string::npos) << out;
    const std::string write = section("sim set driver.versions.ss 1.2.8.8");
    EXPECT_EQ(write.find("exit 0"), std::string::npos) << out;
    EXPECT_NE(write.find("no space left"), std::string::npos) << out;
    EXPECT_EQ(write.find("reset"), std::string::npos) << out;
    EXPECT_NE(section("after").find("1.2.9.9"), std::string::npos) << out;
}

TEST_F(SimEngineTest, OldHomeIsConvertedKeepingItsState) {
    const std::string other = home() + "/old";
    ASSERT_EQ(::mkdir(other.c_str(), 0777) | ::mkdir((other + "/sim").c_str(), 0777), 0);
    json old = {{"profile", "old-firmware"},
                {"seq", 41},
                {"driver", {{"present", true}, {"video_devices", true},
                            {"versions", {{"fpga", {0, 3, 0, 0}}, {"ss", {1, 0, 5, 0}}, {"front", {1, 0, 0, 0}},
                                          {"driver", {2, 1, 0, 0}}}}}},
                {"board", {{"eeprom", {{"main", {{"present", true}, {"data", "554e49543a31"}}}}}}},
                {"faults", json::array({{{"target", "board"}, {"code", 33}, {"action", "fail"}}})}};
    std::ofstream(other + "/sim/state.json") << old.dump();
    std::ofstream(other + "/sim/state.json.tmp.4242") << "{";
    std::ofstream(other + "/sim/requests.log") << R"({"seq":41,"pid":1,"target":"board","code":3,"in":"","out":"","returned":1,"ok":true})" "\n";

    sim::Unit converted(other);
    const json s = converted.snapshot();
    EXPECT_EQ(s["profile"], "old-firmware");
    EXPECT_EQ(s["driver"]["versions"]["ss"], "1.0.5.0");
    EXPECT_EQ(s["board"]["eeprom"]["main"]["data"].get<std::string>().substr(0, 14), "554e49543a31ff");
    EXPECT_EQ(s["faults"].size(), 1u);
    EXPECT_EQ(converted.readLog().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(other + "/sim/state.json.tmp.4242"));
    converted.transact([&](Txn& t) {
        LogEntry e;
        e.target = "probe";
        converted.appendLog(t, std::move(e));
    });
    EXPECT_EQ(converted.readLog().back().seq, 42u);
}

} // namespace
} // namespace tavik::test

namespace tavik::test {
namespace {

// Every spelling of one home is one unit: the same files and the same named locks.
TEST_F(SimEngineTest, SpellingsOfOneHomeShareTheirLocks) {
    ASSERT_EQ(::symlink(home().c_str(), (home() + ".link").c_str()), 0);
    {
        frame::SettingsFile store;
        store.load();
        store.set("Other", "kept");
    }
    const std::string spellings[] = {home(), home() + "/", home() + ".link"};
    std::vector<FILE*> pipes;
    for (const std::string& h : spellings)
        pipes.push_back(::popen(("TAVIK_HOME='" + h + "' " + binPath("settings_increment") + " Count 60").c_str(), "r"));
    for (FILE* p : pipes) EXPECT_EQ(::pclose(p), 0);
    ::unlink((home() + ".link").c_str());
    frame::SettingsFile store;
    store.load();
    int32_t count = 0;
    EXPECT_EQ(store.getInt("Count", count), ERR_SUCCESS);
    EXPECT_EQ(count, 180);
    EXPECT_EQ(store.get("Other"), "kept");
}

// A model document of the wrong shape makes its requests fail, never the tool's reset.
TEST_F(SimEngineTest, WrongShapedStateFailsRequestsButNotReset) {
    unit().transact([](Txn& t) { t.edit("driver") = 5; });
    auto* h = GetAuxVersion();
    uint8_t v[4];
    EXPECT_NE(AuxVersion_getSSVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_SUCCESS);
    AuxVersion_release(h);
    std::string out;
    ASSERT_EQ(run(binPath("tavikctl") + " sim reset", &out), 0) << out;
    EXPECT_EQ(run(binPath("tavikctl") + " sim get driver.versions.ss", &out), 0) << out;
}

TEST_F(SimEngineTest, FaultOptionsAreCheckedAgainstTheirTarget) {
    const char* bad[] = {
        "--action fial",
        "--target '\\\\.\\TavikDrv' --action no_answer",
        "--target bord --action fail",
        "--action fail --times 0",
        "--action fail --times -1",
        "--action fail --code -1",
        "--action fail --code 0x100000000",
        "--action fail --code 010",
        "--action count",
        "--action reply --reply xyz",
        "--target board --action fail --address 0x1FF",
        "--target service --action fail",
    };
    std::string out;
    for (const char* args : bad) {
        EXPECT_NE(run(binPath("tavikctl") + " sim fault add " + args, &out), 0) << args;
        EXPECT_FALSE(out.empty()) << args;
    }
    EXPECT_TRUE(unit().faults().empty());
    EXPECT_EQ(run(binPath("tavikctl") + " sim fault add --code 0x2224F4 --action fail --skip 2 --times 1", &out), 0)
        << out;
    ASSERT_EQ(unit().faults().size(), 1u);
    EXPECT_EQ(unit().faults()[0]["skip"], 2);
}

} // namespace
} // namespace tavik::test
