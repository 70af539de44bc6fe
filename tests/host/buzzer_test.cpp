// The Buzzer family against the simulated unit: ranges, the trigger's tone correction, the
// machine-wide buzz lock, buzz timing under compressed time, and units without a buzzer.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "frame/cross_process_lock.h"
#include "lighting_test_support.h"
#include "platform/host/time_scale.h"
#include "platform/sync.h"
#include "signals/buzzer.h"
#include "support/sim_fixture.h"
#include "tavik2/buzzer.h"

namespace {

using tavik::sim::json;
using tavik::test::driverRequests;
using tavik::test::lastLogSeq;
using tavik::test::waitUntil;
namespace sig = tavik::signals;

const std::vector<uint8_t> bytes(std::initializer_list<uint8_t> b) { return b; }

class BuzzerTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        h_ = GetBuzzer();
        ASSERT_NE(h_, nullptr);
    }
    void TearDown() override {
        Buzzer_release(h_);
        SimTest::TearDown();
    }

    json buzzer() { return unit().getValue("buzzer"); }
    void fault(uint32_t code, const json& action) {
        json f = {{"target", "\\\\.\\TavikDrv"}, {"code", code}, {"remaining", 1}};
        f.update(action);
        unit().addFault(f);
    }
    // Requests of the buzzer's four codes since `since`.
    std::vector<tavik::sim::LogEntry> buzzerRequests(uint64_t since) {
        std::vector<tavik::sim::LogEntry> out;
        for (uint32_t code : {sig::kReqToneRead, sig::kReqToneWrite, sig::kReqTriggerRead, sig::kReqTriggerWrite})
            for (auto& e : driverRequests(code, since)) out.push_back(e);
        return out;
    }

    Varnholtstad::Buzzer* h_ = nullptr;
};

TEST_F(BuzzerTest, RangesAreCheckedBeforeAnyRequest) {
    struct Case {
        bool frequency; // else volume
        uint32_t value;
        ErrorCode expected;
        int stored; // -1: unchanged
    } cases[] = {
        {true, 699, ERR_INVALID_PARAMETER, -1},  {true, 10001, ERR_INVALID_PARAMETER, -1},
        {true, 0, ERR_INVALID_PARAMETER, -1},    {true, 700, ERR_SUCCESS, 700},
        {true, 10000, ERR_SUCCESS, 10000},       {true, 0x102BC, ERR_SUCCESS, 700}, // low 16 bits
        {false, 52, ERR_INVALID_PARAMETER, -1},  {false, 0xFFFF, ERR_INVALID_PARAMETER, -1},
        {false, 51, ERR_SUCCESS, 51},            {false, 0, ERR_SUCCESS, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.frequency ? "frequency " : "volume ") + std::to_string(c.value));
        const json before = buzzer();
        const uint64_t seq = lastLogSeq();
        const ErrorCode e = c.frequency ? Buzzer_setFrequency(h_, static_cast<uint16_t>(c.value))
                                        : Buzzer_setVolume(h_, static_cast<uint16_t>(c.value));
        EXPECT_EQ(e, c.expected);
        const char* field = c.frequency ? "frequency" : "volume";
        if (c.stored < 0) {
            EXPECT_TRUE(buzzerRequests(seq).empty());
            EXPECT_EQ(buzzer()[field], before[field]);
        } else {
            EXPECT_EQ(buzzer()[field], c.stored);
            EXPECT_EQ(buzzer()[c.frequency ? "volume" : "frequency"], before[c.frequency ? "volume" : "frequency"]);
        }
    }
    uint16_t f = 0, v = 0;
    ASSERT_EQ(Buzzer_getFrequency(h_, &f), ERR_SUCCESS);
    ASSERT_EQ(Buzzer_getVolume(h_, &v), ERR_SUCCESS);
    EXPECT_EQ(f, 700);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(Buzzer_getFrequency(h_, nullptr), ERR_INVALID_PARAMETER);

    // A negative time is refused before the lock is taken: the next buzz still runs.
    const uint64_t seq = lastLogSeq();
    EXPECT_EQ(Buzzer_buzze(h_, -1, true), ERR_INVALID_PARAMETER);
    EXPECT_TRUE(buzzerRequests(seq).empty());
    EXPECT_EQ(Buzzer_buzze(h_, 10, true), ERR_SUCCESS);
}

TEST_F(BuzzerTest, TriggerCorrectsAnOutOfRangeToneFirstAndIgnoresWriteCounts) {
    for (bool on : {true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        fault(sig::kReqToneRead, {{"action", "reply"}, {"reply", "f4013c00"}}); // 500 Hz, volume 60
        fault(sig::kReqToneWrite, {{"action", "count"}, {"count", 0}});
        fault(sig::kReqTriggerWrite, {{"action", "count"}, {"count", 1}});
        const uint64_t seq = lastLogSeq();
        EXPECT_EQ(Buzzer_setTrigger(h_, on), ERR_SUCCESS);
        const auto log = buzzerRequests(seq);
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[0].code, sig::kReqToneRead);
        EXPECT_EQ(log[1].in, bytes({0xBC, 0x02, 0x33, 0x00})); // 700 Hz, volume 51
        EXPECT_EQ(log[2].code, sig::kReqTriggerWrite);
        EXPECT_EQ(log[2].in, bytes({static_cast<uint8_t>(on ? 1 : 0), 0, 0, 0}));
    }
    // An in-range tone is not rewritten.
    const uint64_t seq = lastLogSeq();
    EXPECT_EQ(Buzzer_setTrigger(h_, true), ERR_SUCCESS);
    EXPECT_EQ(buzzerRequests(seq).size(), 2u);
    EXPECT_TRUE(buzzer()["on"].get<bool>());
}

TEST_F(BuzzerTest, TriggerReadsAsSignedByteAndReadsCheckTheirCount) {
    struct Case {
        const char* reply;
        int count;
        ErrorCode expected;
        bool on;
    } cases[] = {{"01", 1, ERR_SUCCESS, true}, {"7f", 1, ERR_SUCCESS, true}, {"81", 1, ERR_SUCCESS, false},
                 {"00", 1, ERR_SUCCESS, false}, {"01", 0, ERR_BUFFER_SIZE, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        fault(sig::kReqTriggerRead, {{"action", "reply"}, {"reply", c.reply}, {"count", c.count}});
        bool on = !c.on;
        EXPECT_EQ(Buzzer_getTrigger(h_, &on), c.expected);
        EXPECT_EQ(on, c.expected == ERR_SUCCESS ? c.on : !c.on); // untouched on failure
    }
    fault(sig::kReqToneRead, {{"action", "fail"}});
    uint16_t f = 1;
    EXPECT_EQ(Buzzer_getFrequency(h_, &f), ERR_IOCTRL_FAILED);
    EXPECT_EQ(f, 1);
}

TEST_F(BuzzerTest, OneBuzzAtATimeAcrossProcesses) {
    // A background buzz holds the lock against this object and any other.
    ASSERT_EQ(Buzzer_buzze(h_, 3000000, false), ERR_SUCCESS);
    Varnholtstad::Buzzer* other = GetBuzzer();
    EXPECT_EQ(Buzzer_buzze(h_, 10, true), ERR_IN_PROGRESS);
    EXPECT_EQ(Buzzer_buzze(other, 10, false), ERR_IN_PROGRESS);
    Buzzer_release(h_); // ends its own buzz early
    h_ = other;
    EXPECT_FALSE(buzzer()["on"].get<bool>());

    // Another process's blocking buzz: refused here while it sounds.
    auto beeping = std::async(std::launch::async, [&] {
        return run(tavik::test::binPath("tavikctl") + " buzzer beep 500000 --wait");
    });
    ASSERT_TRUE(waitUntil([&] { return buzzer()["on"].get<bool>(); }));
    EXPECT_EQ(Buzzer_buzze(h_, 10, true), ERR_IN_PROGRESS);
    EXPECT_EQ(beeping.get(), 0);

    // The lock is the named semaphore every process opens.
    auto lock = tavik::frame::createCrossProcessLock(sig::kBuzzLockName);
    ASSERT_EQ(tavik::platform::waitSemaphore(lock, 0), tavik::platform::WaitResult::Signaled);
    EXPECT_EQ(Buzzer_buzze(h_, 10, true), ERR_IN_PROGRESS);
    tavik::platform::releaseSemaphore(lock);
    tavik::platform::closeSemaphore(lock);
    EXPECT_EQ(Buzzer_buzze(h_, 10, true), ERR_SUCCESS);
}

// A blocking buzz whose switch-off fails has not ended as asked: the buzzer sounds on.
TEST_F(BuzzerTest, BlockingBuzzReportsAFailedSwitchOff) {
    fault(sig::kReqTriggerWrite, {{"action", "fail"}, {"skip", 1}});
    EXPECT_EQ(Buzzer_buzze(h_, 10, true), ERR_IOCTRL_FAILED);
    EXPECT_TRUE(buzzer()["on"].get<bool>());
    EXPECT_EQ(Buzzer_buzze(h_, 10, true), ERR_SUCCESS); // the lock was given back
    EXPECT_FALSE(buzzer()["on"].get<bool>());
}

TEST_F(BuzzerTest, BuzzLengthsInCompressedTime) {
    constexpr double kScale = 5; // slow enough to measure under a loaded machine, still fast
    tavik::platform::host::setTimeScale(kScale);
    auto unitMs = [&](auto since) {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count() * kScale;
    };
    auto lastDuration = [&] { return buzzer()["history"].back()["duration_ms"].get<double>(); };

    // Blocking: returns after the time with the buzzer off.
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Buzzer_buzze(h_, 1000, true), ERR_SUCCESS);
    EXPECT_GE(unitMs(start), 1000);
    EXPECT_FALSE(buzzer()["on"].get<bool>());
    EXPECT_GE(lastDuration(), 1000);

    // Background: ten slices of 2000 / 10 ms.
    ASSERT_EQ(Buzzer_buzze(h_, 2005, false), ERR_SUCCESS);
    ASSERT_TRUE(waitUntil([&] { return buzzer()["history"].size() == 2; }));
    EXPECT_GE(lastDuration(), 2000);
    EXPECT_LT(lastDuration(), 4000);

    // Release during an own 10 s buzz ends it after the current slice: about 1 to 2.25 s.
    // The thread gives the lock back just after the buzzer goes off, so the next buzz may
    // briefly still find it held.
    ErrorCode started = ERR_IN_PROGRESS;
    ASSERT_TRUE(waitUntil([&] { return (started = Buzzer_buzze(h_, 10000, false)) != ERR_IN_PROGRESS; }));
    ASSERT_EQ(started, ERR_SUCCESS);
    start = std::chrono::steady_clock::now();
    Buzzer_release(h_);
    h_ = GetBuzzer();
    EXPECT_GE(unitMs(start), 1000);
    EXPECT_LT(unitMs(start), 9000); // not the whole 10 s
    EXPECT_FALSE(buzzer()["on"].get<bool>());
    EXPECT_LT(lastDuration(), 5000);
}

TEST_F(BuzzerTest, UnitsWithoutBuzzerSupportNothing) {
    auto withArticle = [](const std::string& article) {
        json profile = tavik::sim::Unit::defaultProfile();
        for (json& record : profile["eeprom"]["main"])
            if (record.get<std::string>().rfind("PROD_ART:", 0) == 0) record = "PROD_ART:" + article;
        return profile;
    };
    for (const json& profile : {withArticle("K104573-21"), withArticle("K104573-20"),
                                tavik::sim::Unit::readProfile("no-display")}) {
        unit().loadProfile(profile);
        const uint64_t seq = lastLogSeq();
        Varnholtstad::Buzzer* h = GetBuzzer();
        uint16_t v = 0;
        bool on = false;
        EXPECT_EQ(Buzzer_getFrequency(h, &v), ERR_NOT_SUPPORTED);
        EXPECT_EQ(Buzzer_getVolume(h, &v), ERR_NOT_SUPPORTED);
        EXPECT_EQ(Buzzer_getTrigger(h, &on), ERR_NOT_SUPPORTED);
        EXPECT_EQ(Buzzer_setFrequency(h, 1000), ERR_NOT_SUPPORTED);
        EXPECT_EQ(Buzzer_setVolume(h, 10), ERR_NOT_SUPPORTED);
        EXPECT_EQ(Buzzer_setTrigger(h, true), ERR_NOT_SUPPORTED);
        EXPECT_EQ(Buzzer_buzze(h, 10, true), ERR_NOT_SUPPORTED);
        Buzzer_release(h);
        EXPECT_TRUE(buzzerRequests(seq).empty());
    }
    // Without driver and buzzer, each operation reports the check it makes first.
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", 0}, {"action", "absent"}});
    Varnholtstad::Buzzer* bare = GetBuzzer();
    bool on = false;
    uint16_t v = 0;
    EXPECT_EQ(Buzzer_getTrigger(bare, &on), ERR_OPEN_FAILED);
    EXPECT_EQ(Buzzer_getVolume(bare, &v), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Buzzer_setTrigger(bare, true), ERR_NOT_SUPPORTED);
    Buzzer_release(bare);
    unit().clearFaults();

    // Only the exact article numbers lack a buzzer.
    unit().loadProfile(withArticle("K104573-210"));
    Varnholtstad::Buzzer* h = GetBuzzer();
    EXPECT_EQ(Buzzer_setTrigger(h, false), ERR_SUCCESS);
    Buzzer_release(h);
}

TEST_F(BuzzerTest, TavikctlBeepShowsInTheHistory) {
    const std::string ctl = tavik::test::binPath("tavikctl");
    std::string out;
    ASSERT_EQ(run(ctl + " buzzer set --frequency 3000 --volume 20", &out), 0) << out;
    ASSERT_EQ(run(ctl + " buzzer beep 200", &out), 0) << out;
    ASSERT_EQ(run(ctl + " buzzer beep 300 --wait", &out), 0) << out;
    ASSERT_EQ(run(ctl + " --json sim buzzer", &out), 0) << out;
    const json state = json::parse(out);
    ASSERT_EQ(state["history"].size(), 2u) << out;
    EXPECT_GE(state["history"][0]["duration_ms"].get<int>(), 200);
    EXPECT_GE(state["history"][1]["duration_ms"].get<int>(), 300);
    EXPECT_EQ(state["history"][1]["frequency"], 3000);
    EXPECT_EQ(state["history"][1]["volume"], 20);

    ASSERT_EQ(run(ctl + " --json buzzer", &out), 0) << out;
    EXPECT_EQ(json::parse(out), (json{{"frequency_hz", 3000}, {"volume", 20}, {"on", false}}));
    EXPECT_EQ(run(ctl + " buzzer set --frequency 699", &out), 1);
    EXPECT_NE(out.find("(9)"), std::string::npos) << out;
    EXPECT_NE(run(ctl + " sim set buzzer.volume 52", &out), 0); // the model refuses it too
}

} // namespace
