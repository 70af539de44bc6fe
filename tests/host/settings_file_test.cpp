// The settings store: file format byte for byte, location, typed conversions, the cross-process
// lock with real processes, and the atomic replace under SIGKILL.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "frame/settings_file.h"
#include "platform/files.h"
#include "platform/host/time_scale.h"
#include "platform/sync.h"
#include "support/sim_fixture.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using tavik::frame::SettingsEntries;
using tavik::frame::SettingsFile;

constexpr const char* kFolderPath = "C:\\ProgramData\\Varnholtstad\\Tavik.ini";

class SettingsFileTest : public tavik::test::SimTest {
protected:
    std::string iniHostPath() { return tavik::sim::hostPath(tavik::frame::settingsFilePath()); }

    void writeIni(const std::string& bytes) {
        const std::string path = iniHostPath();
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    std::string readIni() {
        std::ifstream in(iniHostPath(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // One whole operation: a store that sets one key.
    void setOnce(const std::string& key, const std::string& value) {
        SettingsFile store;
        store.load();
        store.set(key, value);
    }

    void setAppDataAvailable(bool available) {
        unit().transact([&](tavik::sim::Txn& t) {
            t.edit("files")["common_appdata"] = available;
        });
    }
};

// --- file format -----------------------------------------------------------------------------

TEST_F(SettingsFileTest, MissingFileReadsEmptyAndFirstSetAppendsSpacedLine) {
    {
        SettingsFile store;
        store.load();
        EXPECT_TRUE(store.entries().empty());
    }
    setOnce("ABL_status", "1");
    EXPECT_EQ(readIni(), "ABL_status = 1\r\n");
}

TEST_F(SettingsFileTest, GetOfAbsentKeyThenSetWritesSortedForm) {
    SettingsFile store;
    store.load();
    EXPECT_EQ(store.get("ABL_status"), "");
    EXPECT_EQ(store.entries().count("ABL_status"), 1u); // looked-up key is now an entry
    store.set("ABL_status", "1");
    EXPECT_EQ(readIni(), "ABL_status=1\r\n");
}

TEST_F(SettingsFileTest, LookedUpButUnsetKeyIsWrittenEmpty) {
    SettingsFile store;
    store.load();
    store.get("ABL_mode");
    store.set("ABL_k", "2");
    EXPECT_EQ(readIni(), "ABL_mode=\r\nABL_k = 2\r\n");
}

TEST_F(SettingsFileTest, RewriteSortsKeysAndNewKeyTakesItsPlaceNextTime) {
    writeIni("ABL_status=1\r\nABL_mode=2\r\n");
    setOnce("ABL_k", "50");
    EXPECT_EQ(readIni(), "ABL_mode=2\r\nABL_status=1\r\nABL_k = 50\r\n");
    setOnce("ABL_mode", "3");
    EXPECT_EQ(readIni(), "ABL_k=50\r\nABL_mode=3\r\nABL_status=1\r\n");
}

TEST_F(SettingsFileTest, SeveralSetsInOneStoreWriteFromItsEntries) {
    SettingsFile store;
    store.load();
    store.set("b", "1");
    store.set("a", "2");
    EXPECT_EQ(readIni(), "b=1\r\na = 2\r\n");
    store.set("b", "3");
    EXPECT_EQ(readIni(), "a=2\r\nb=3\r\n");
}

TEST_F(SettingsFileTest, KeysSortInUnsignedByteOrderAndAreCaseSensitive) {
    writeIni("b=1\r\n\xC3\xA9t\xC3\xA9=2\r\nB=3\r\n_x=4\r\na=5\r\nA=6\r\n");
    setOnce("a", "7");
    EXPECT_EQ(readIni(), "A=6\r\nB=3\r\n_x=4\r\na=7\r\nb=1\r\n\xC3\xA9t\xC3\xA9=2\r\n");
}

TEST_F(SettingsFileTest, CommentsEmptyLinesAndDuplicatesAreDropped) {
    writeIni("; comment\r\n\r\nABL_mode=1\r\n;ABL_k=9\r\nABL_mode=3\r\n\r\n");
    SettingsFile store;
    store.load();
    EXPECT_EQ(store.entries(), (SettingsEntries{{"ABL_mode", "3"}}));
    store.set("ABL_status", "0");
    EXPECT_EQ(readIni(), "ABL_mode=3\r\nABL_status = 0\r\n");
}

TEST_F(SettingsFileTest, TrimsSpacesOnlyAndKeepsEqualsInValues) {
    writeIni("  ABL_mode =  2 \r\nkey=a=b\r\n\tt\t=\tv\t\r\nsemi=x;y\r\nempty=\r\n  spaced key  = spaced value \r\n");
    SettingsFile store;
    store.load();
    const SettingsEntries want = {{"ABL_mode", "2"},  {"key", "a=b"},     {"\tt\t", "\tv\t"},
                                  {"semi", "x;y"},    {"empty", ""},       {"spaced key", "spaced value"}};
    EXPECT_EQ(store.entries(), want);
    store.set("key", "c=d");
    EXPECT_EQ(readIni(), "\tt\t=\tv\t\r\nABL_mode=2\r\nempty=\r\nkey=c=d\r\nsemi=x;y\r\nspaced key=spaced value\r\n");
}

TEST_F(SettingsFileTest, ReadsBareLineFeedsAndFinalLineWithoutEnd) {
    writeIni("b=2\na=1\r\nc=3");
    SettingsFile store;
    store.load();
    EXPECT_EQ(store.entries(), (SettingsEntries{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
    store.set("c", "4");
    EXPECT_EQ(readIni(), "a=1\r\nb=2\r\nc=4\r\n");
}

TEST_F(SettingsFileTest, LinesWithoutEqualsAreSkippedNotTurnedIntoBareEquals) {
    writeIni("[Section]\r\n/ slash comment\r\nstray\r\n   \r\n[\r\n/\r\n=kept\r\nk=v\r\n");
    SettingsFile store;
    store.load();
    // "=kept" has an "=", so it is a (keyless) entry; nothing else is.
    EXPECT_EQ(store.entries(), (SettingsEntries{{"", "kept"}, {"k", "v"}}));
    store.set("k", "w");
    EXPECT_EQ(readIni(), "=kept\r\nk=w\r\n");
}

TEST_F(SettingsFileTest, SetLeavesNoTemporaryFileBehind) {
    setOnce("a", "1");
    setOnce("b", "2");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(iniHostPath()).parent_path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Tavik.ini"});
}

TEST_F(SettingsFileTest, UnwritableFileKeepsOldContentButEntriesChange) {
    writeIni("a=1\r\n");
    // A folder where the temporary file would go makes every write fail, also for root.
    fs::create_directory(iniHostPath() + ".tmp");
    SettingsFile store;
    store.load();
    EXPECT_FALSE(store.set("a", "2"));
    EXPECT_EQ(store.get("a"), "2");
    EXPECT_EQ(readIni(), "a=1\r\n");
}

TEST_F(SettingsFileTest, FileHeldWithoutSharingIsNotOverwrittenFromAnEmptyRead) {
    writeIni("a=1\r\nb=2\r\n");
    const std::string path = tavik::frame::settingsFilePath();
    const tavik::platform::FileHandle holder = tavik::platform::openFileForRead(path, true);
    ASSERT_TRUE(holder);
    {
        SettingsFile store;
        store.load();
        EXPECT_TRUE(store.readFailed());
        EXPECT_TRUE(store.entries().empty());
        EXPECT_FALSE(store.set("c", "3"));
    }
    tavik::platform::closeFile(holder);
    EXPECT_EQ(readIni(), "a=1\r\nb=2\r\n");

    // Once the holder is gone the next store reads and writes it as usual.
    SettingsFile store;
    store.load();
    EXPECT_FALSE(store.readFailed());
    EXPECT_TRUE(store.set("c", "3"));
    EXPECT_EQ(readIni(), "a=1\r\nb=2\r\nc = 3\r\n");
}

TEST_F(SettingsFileTest, MissingFileIsNotAReadFailure) {
    SettingsFile store;
    store.load();
    EXPECT_FALSE(store.readFailed());
    EXPECT_TRUE(store.set("a", "1"));
}

// --- location --------------------------------------------------------------------------------

TEST_F(SettingsFileTest, LivesInTheCommonAppDataFolderWhichIsCreated) {
    EXPECT_EQ(tavik::frame::settingsFilePath(), kFolderPath);
    EXPECT_TRUE(fs::is_directory(tavik::sim::hostPath("C:\\ProgramData\\Varnholtstad")));
    setOnce("x", "1");
    EXPECT_TRUE(fs::is_regular_file(tavik::sim::hostPath(kFolderPath)));
}

TEST_F(SettingsFileTest, FallbackPathIsUsedAndNotCached) {
    setAppDataAvailable(false);
    EXPECT_EQ(tavik::frame::settingsFilePath(), "C:\\Tavik.ini");
    setOnce("x", "1");
    std::ifstream fallback(tavik::sim::hostPath("C:\\Tavik.ini"), std::ios::binary);
    std::string line;
    std::getline(fallback, line);
    EXPECT_EQ(line, "x = 1\r");

    setAppDataAvailable(true); // asked again: the folder is back
    EXPECT_EQ(tavik::frame::settingsFilePath(), kFolderPath);
}

TEST_F(SettingsFileTest, FolderPathIsCachedForTheProcess) {
    EXPECT_EQ(tavik::frame::settingsFilePath(), kFolderPath);
    setAppDataAvailable(false);
    EXPECT_EQ(tavik::frame::settingsFilePath(), kFolderPath);
}

// --- lock ------------------------------------------------------------------------------------

TEST_F(SettingsFileTest, StoreHoldsTheNamedLockForItsLife) {
    using namespace tavik::platform;
    const SemaphoreHandle probe = createSemaphore(tavik::frame::kSettingsLockName, 1, 1);
    ASSERT_TRUE(probe.valid());
    {
        SettingsFile store;
        EXPECT_TRUE(store.locked());
        EXPECT_EQ(waitSemaphore(probe, 0), WaitResult::Timeout);
    }
    EXPECT_EQ(waitSemaphore(probe, 0), WaitResult::Signaled);
    releaseSemaphore(probe, 1);
    closeSemaphore(probe);
}

TEST_F(SettingsFileTest, SecondStoreWaitsUntilTheFirstIsDestroyed) {
    std::string seen;
    std::thread other;
    {
        SettingsFile first;
        first.load();
        other = std::thread([&] {
            SettingsFile second; // blocks until `first` is gone
            second.load();
            seen = second.get("who");
            second.set("who", "second");
        });
        // Give the other thread every chance to run ahead if the lock did not hold it.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        first.set("who", "first");
    }
    other.join();
    EXPECT_EQ(seen, "first");
    EXPECT_EQ(readIni(), "who=second\r\n");
}

pid_t spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

int waitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SettingsFileTest, ProcessesIncrementingOneKeyLoseNoUpdate) {
    constexpr int kProcesses = 4;
    constexpr int kIncrements = 50;
    writeIni("other=kept\r\n");
    std::vector<pid_t> pids;
    for (int i = 0; i < kProcesses; ++i) {
        pids.push_back(spawn({tavik::test::binPath("settings_increment"), "counter", std::to_string(kIncrements)}));
        ASSERT_GT(pids.back(), 0);
    }
    for (pid_t pid : pids) EXPECT_EQ(waitExit(pid), 0);
    SettingsFile store;
    store.load();
    int32_t value = 0;
    ASSERT_EQ(store.getInt("counter", value), ERR_SUCCESS);
    EXPECT_EQ(value, kProcesses * kIncrements);
    EXPECT_EQ(store.get("other"), "kept");
}

// --- atomic replace --------------------------------------------------------------------------

// The canonical bytes of a file the store wrote after a key existed: sorted "key=value" lines.
std::string canonical(const SettingsEntries& entries) {
    std::string out;
    for (const auto& [k, v] : entries) out += k + "=" + v + "\r\n";
    return out;
}

TEST_F(SettingsFileTest, KilledWriterLeavesOldOrNewFileNeverAPart) {
    SettingsEntries initial;
    for (int i = 0; i < 200; ++i) initial["pad" + std::to_string(1000 + i)] = std::string(24, 'a' + i % 26);
    initial["gen"] = "0";
    writeIni(canonical(initial));

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayUs(0, 3000);
    int32_t previous = 0;
    for (int round = 0; round < 15; ++round) {
        const pid_t pid = spawn({tavik::test::binPath("settings_churn"), "gen"});
        ASSERT_GT(pid, 0);
        // Once the writer has written at least once, kill it at a random moment of its loop.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (readIni().find("gen=" + std::to_string(previous) + "\r\n") != std::string::npos &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(pid, SIGKILL);
        waitExit(pid);
        // A killed holder leaves the POSIX semaphore taken; Windows would drop it with the process.
        tavik::platform::host::removeNamedSemaphores();

        const std::string bytes = readIni();
        SettingsEntries parsed;
        std::istringstream lines(bytes);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            tavik::frame::parseSettingsLine(line, parsed);
        }
        ASSERT_EQ(bytes, canonical(parsed)) << "round " << round << ": not a whole file";
        ASSERT_EQ(parsed.size(), initial.size()) << "round " << round;
        for (const auto& [k, v] : initial) {
            if (k != "gen") {
                ASSERT_EQ(parsed[k], v) << "round " << round << " key " << k;
            }
        }
        int32_t gen = -1;
        ASSERT_EQ(tavik::frame::parseInt(parsed["gen"], gen), ERR_SUCCESS);
        EXPECT_GT(gen, previous) << "round " << round << ": the writer never got to write";
        previous = gen;
    }
}

// --- typed access ----------------------------------------------------------------------------

TEST(SettingsConversion, TextToInteger) {
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {"12", true, 12},          {"12abc", true, 12},       {"  7", true, 7},
        {"-5", true, -5},          {"+3", true, 3},           {"0x1F", true, 0},
        {"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN},
        {"", false, 0},            {" ", false, 0},           {"abc", false, 0},
        {"-", false, 0},           {"2147483648", false, 0},  {"-2147483649", false, 0},
        {"99999999999", false, 0},
    };
    for (const Case& c : cases) {
        int32_t v = 4242;
        const ErrorCode e = tavik::frame::parseInt(c.text, v);
        if (c.ok) {
            EXPECT_EQ(e, ERR_SUCCESS) << '"' << c.text << '"';
            EXPECT_EQ(v, c.value) << '"' << c.text << '"';
        } else {
            EXPECT_EQ(e, ERR_DATATYPE_MISMATCH) << '"' << c.text << '"';
            EXPECT_EQ(v, 4242) << '"' << c.text << "\" changed the target";
        }
    }
}

TEST(SettingsConversion, TextToFloat) {
    double v = 0;
    EXPECT_EQ(tavik::frame::parseDouble("36.0674", v), ERR_SUCCESS);
    EXPECT_DOUBLE_EQ(v, 36.0674);
    EXPECT_EQ(tavik::frame::parseDouble(" 1e3", v), ERR_SUCCESS);
    EXPECT_DOUBLE_EQ(v, 1000.0);
    EXPECT_EQ(tavik::frame::parseDouble("2.5abc", v), ERR_SUCCESS);
    EXPECT_DOUBLE_EQ(v, 2.5);
    EXPECT_EQ(tavik::frame::parseDouble("-0.125", v), ERR_SUCCESS);
    EXPECT_DOUBLE_EQ(v, -0.125);
    v = 7.5;
    for (const char* bad : {"", "x1", "-", ".", "1e999"}) {
        EXPECT_EQ(tavik::frame::parseDouble(bad, v), ERR_DATATYPE_MISMATCH) << '"' << bad << '"';
        EXPECT_EQ(v, 7.5) << '"' << bad << "\" changed the target";
    }
}

TEST(SettingsConversion, NumbersToText) {
    std::string t;
    const std::pair<double, const char*> floats[] = {
        {50.0, "50"}, {36.06744, "36.0674"}, {0.1, "0.1"}, {-2.5, "-2.5"}, {1e-7, "1e-07"},
        {1234567.0, "1.23457e+06"}, {123456.0, "123456"}, {0.0, "0"},
    };
    for (const auto& [value, text] : floats) {
        ASSERT_EQ(tavik::frame::formatDouble(value, t), ERR_SUCCESS);
        EXPECT_EQ(t, text);
    }
    const std::pair<int32_t, const char*> ints[] = {{0, "0"}, {-42, "-42"}, {1234567, "1234567"},
                                                   {INT32_MIN, "-2147483648"}, {INT32_MAX, "2147483647"}};
    for (const auto& [value, text] : ints) {
        ASSERT_EQ(tavik::frame::formatInt(value, t), ERR_SUCCESS);
        EXPECT_EQ(t, text);
    }
}

// A process that sets a global locale with a decimal comma and digit grouping must not change
// what the file holds, or other processes could no longer read it.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(SettingsConversion, IndependentOfTheGlobalLocale) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    std::string f, i;
    double d = 0;
    int32_t n = 0;
    const ErrorCode e1 = tavik::frame::formatDouble(1.5, f);
    const ErrorCode e2 = tavik::frame::formatInt(1234567, i);
    const ErrorCode e3 = tavik::frame::parseDouble("2.25", d);
    const ErrorCode e4 = tavik::frame::parseInt("1234567", n);
    std::locale::global(previous);
    EXPECT_EQ(e1, ERR_SUCCESS);
    EXPECT_EQ(f, "1.5");
    EXPECT_EQ(e2, ERR_SUCCESS);
    EXPECT_EQ(i, "1234567");
    EXPECT_EQ(e3, ERR_SUCCESS);
    EXPECT_DOUBLE_EQ(d, 2.25);
    EXPECT_EQ(e4, ERR_SUCCESS);
    EXPECT_EQ(n, 1234567);
}

TEST_F(SettingsFileTest, TypedValuesRoundTripThroughTheFile) {
    {
        SettingsFile store;
        store.load();
        EXPECT_EQ(store.setInt("ABL_mode", -3), ERR_SUCCESS);
        EXPECT_EQ(store.setDouble("ABL_k", 36.06744), ERR_SUCCESS);
    }
    EXPECT_EQ(readIni(), "ABL_mode=-3\r\nABL_k = 36.0674\r\n");
    SettingsFile store;
    store.load();
    int32_t mode = 0;
    double k = 0;
    EXPECT_EQ(store.getInt("ABL_mode", mode), ERR_SUCCESS);
    EXPECT_EQ(mode, -3);
    EXPECT_EQ(store.getDouble("ABL_k", k), ERR_SUCCESS);
    EXPECT_DOUBLE_EQ(k, 36.0674);
}

TEST_F(SettingsFileTest, TypedGetOfAbsentOrTextKeyFailsAndKeepsTarget) {
    writeIni("word=abc\r\n");
    SettingsFile store;
    store.load();
    int32_t n = 17;
    double d = 1.25;
    EXPECT_EQ(store.getInt("missing", n), ERR_DATATYPE_MISMATCH);
    EXPECT_EQ(store.getInt("word", n), ERR_DATATYPE_MISMATCH);
    EXPECT_EQ(store.getDouble("missing", d), ERR_DATATYPE_MISMATCH);
    EXPECT_EQ(n, 17);
    EXPECT_EQ(d, 1.25);
    store.setInt("n", 1);
    EXPECT_EQ(readIni(), "missing=\r\nword=abc\r\nn = 1\r\n");
}

// --- tavikctl --------------------------------------------------------------------------------

TEST_F(SettingsFileTest, TavikctlSetGetListGoThroughTheStore) {
    const std::string ctl = tavik::test::binPath("tavikctl");
    std::string out;
    ASSERT_EQ(run(ctl + " settings set ABL_k 50", &out), 0) << out;
    ASSERT_EQ(run(ctl + " settings set ABL_mode 2", &out), 0) << out;
    EXPECT_EQ(readIni(), "ABL_k=50\r\nABL_mode = 2\r\n");
    ASSERT_EQ(run(ctl + " settings get ABL_mode", &out), 0) << out;
    EXPECT_EQ(out, "2\n");
    EXPECT_EQ(run(ctl + " settings get nothing", &out), 1) << out;
    ASSERT_EQ(run(ctl + " --json settings list", &out), 0) << out;
    const auto doc = tavik::sim::json::parse(out);
    EXPECT_EQ(doc["path"], kFolderPath);
    EXPECT_EQ(doc["entries"], (tavik::sim::json{{"ABL_k", "50"}, {"ABL_mode", "2"}}));
    // A get through tavikctl does not write the looked-up key.
    EXPECT_EQ(readIni(), "ABL_k=50\r\nABL_mode = 2\r\n");
}

} // namespace
