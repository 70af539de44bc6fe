// The FrontLED family against the simulated unit: signal conversions, the dimming rule, standard
// colours, the request bytes and counts, and the shared object holding its Backlight handle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "frame/handle.h"
#include "lighting/backlight.h"
#include "lighting_test_support.h"
#include "signals/front_led.h"
#include "support/sim_fixture.h"
#include "tavik2/front_led.h"

namespace {

using tavik::sim::json;
using tavik::test::driverRequests;
using tavik::test::lastLogSeq;
namespace sig = tavik::signals;

class FrontLedTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        h_ = GetFrontLED();
        ASSERT_NE(h_, nullptr);
    }
    void TearDown() override {
        FrontLED_release(h_);
        SimTest::TearDown();
    }

    json led() { return unit().getValue("front_led"); }
    std::vector<uint8_t> color() {
        const json c = led()["color"];
        return {c["red"].get<uint8_t>(), c["green"].get<uint8_t>(), c["blue"].get<uint8_t>()};
    }
    void fault(uint32_t code, const json& action) {
        json f = {{"target", "\\\\.\\TavikDrv"}, {"code", code}, {"remaining", 1}};
        f.update(action);
        unit().addFault(f);
    }
    size_t ledWrites(uint64_t since) {
        size_t n = 0;
        for (uint32_t code : {sig::kReqSignalWrite, sig::kReqColorWrite, sig::kReqStartupWrite})
            n += driverRequests(code, since).size();
        return n;
    }

    Varnholtstad::FrontLED* h_ = nullptr;
};

TEST_F(FrontLedTest, SignalConversions) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double hz;
        uint32_t duty;
        ErrorCode expected;
        int on = 0, off = 0; // stored times
        double readHz = 0;   // getSignal afterwards
        int readDuty = 0;
    } cases[] = {
        {1.0, 50, ERR_SUCCESS, 50, 50, 1.0, 50},
        {3.0, 25, ERR_SUCCESS, 8, 25, 100.0 / 33, 24},
        {50.0, 100, ERR_SUCCESS, 2, 0, 50.0, 100},
        {0.2, 50, ERR_SUCCESS, 250, 250, 0.2, 50},
        {50.1, 50, ERR_INVALID_PARAMETER},
        {0.19, 50, ERR_INVALID_PARAMETER},
        {nan, 50, ERR_INVALID_PARAMETER},
        {1.0, 101, ERR_INVALID_PARAMETER},
        {0.2, 100, ERR_INVALID_PARAMETER}, // on time 5 s does not fit
        {0.3, 10, ERR_INVALID_PARAMETER},  // off time 3 s does not fit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hz) + " Hz, " + std::to_string(c.duty) + " %");
        const json before = led();
        const uint64_t seq = lastLogSeq();
        EXPECT_EQ(FrontLED_setSignal(h_, c.hz, static_cast<uint8_t>(c.duty)), c.expected);
        if (c.expected != ERR_SUCCESS) {
            EXPECT_EQ(lastLogSeq(), seq); // refused before any request
            EXPECT_EQ(led(), before);
            continue;
        }
        EXPECT_EQ(led()["on_time"], c.on);
        EXPECT_EQ(led()["off_time"], c.off);
        double hz = 0;
        uint8_t duty = 0;
        ASSERT_EQ(FrontLED_getSignal(h_, &hz, &duty), ERR_SUCCESS);
        EXPECT_NEAR(hz, c.readHz, 1e-9);
        EXPECT_EQ(duty, c.readDuty);
    }

    // No period: refused, outputs untouched.
    ASSERT_EQ(FrontLED_setOnTime(h_, 0), ERR_SUCCESS);
    ASSERT_EQ(FrontLED_setOffTime(h_, 0), ERR_SUCCESS);
    double hz = 7;
    uint8_t duty = 7;
    EXPECT_EQ(FrontLED_getSignal(h_, &hz, &duty), ERR_INVALID_DATA);
    EXPECT_EQ(hz, 7);
    EXPECT_EQ(duty, 7);
}

TEST_F(FrontLedTest, FieldSettersRewriteTheWholeRecordAndIgnoreWriteCounts) {
    ASSERT_EQ(unit().getValue("front_led.on_time"), 50);
    using Setter = ErrorCode(TAVIK_CALL*)(Varnholtstad::FrontLED*, uint8_t);
    using Getter = ErrorCode(TAVIK_CALL*)(Varnholtstad::FrontLED*, uint8_t*);
    const struct {
        Setter set;
        Getter get;
        int byte;
    } fields[] = {{&FrontLED_setOnTime, &FrontLED_getOnTime, 0}, {&FrontLED_setOffTime, &FrontLED_getOffTime, 1},
                  {&FrontLED_setIdleTime, &FrontLED_getIdleTime, 2}, {&FrontLED_setNrOfPulses, &FrontLED_getNrOfPulses, 3}};
    std::vector<uint8_t> record = {50, 50, 0, 0};
    for (const auto& f : fields) {
        fault(sig::kReqSignalWrite, {{"action", "count"}, {"count", 0}});
        const uint64_t seq = lastLogSeq();
        const uint8_t value = static_cast<uint8_t>(200 + f.byte);
        ASSERT_EQ(f.set(h_, value), ERR_SUCCESS);
        record[f.byte] = value;
        const auto writes = driverRequests(sig::kReqSignalWrite, seq);
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].in, record);
        uint8_t got = 0;
        ASSERT_EQ(f.get(h_, &got), ERR_SUCCESS);
        EXPECT_EQ(got, value);
    }
    // setOff clears only the on time.
    ASSERT_EQ(FrontLED_setOff(h_), ERR_SUCCESS);
    EXPECT_EQ(led()["on_time"], 0);
    EXPECT_EQ(led()["pulses"], 203);

    // Reads check their count and leave the output alone on failure.
    fault(sig::kReqSignalRead, {{"action", "count"}, {"count", 3}});
    uint8_t got = 9;
    EXPECT_EQ(FrontLED_getIdleTime(h_, &got), ERR_BUFFER_SIZE);
    EXPECT_EQ(got, 9);
    fault(sig::kReqSignalRead, {{"action", "fail"}});
    EXPECT_EQ(FrontLED_setNrOfPulses(h_, 1), ERR_IOCTRL_FAILED); // the read before the write
}

TEST_F(FrontLedTest, SingleComponentColoursFollowTheBacklightWhenDimming) {
    Varnholtstad::Backlight* bl = GetBacklight();
    struct Case {
        uint8_t intensity;
        std::vector<uint8_t> requested, sent;
    } cases[] = {
        {128, {15, 0, 0}, {7, 0, 0}},  {128, {15, 5, 0}, {15, 5, 0}}, {10, {0, 0, 9}, {0, 0, 1}},
        {0, {0, 3, 0}, {0, 1, 0}},     {255, {0, 0, 2}, {0, 0, 15}},  {128, {0, 0, 0}, {0, 0, 0}},
        {17, {1, 1, 1}, {1, 1, 1}},    {34, {0, 15, 0}, {0, 2, 0}},
    };
    // "UseLEDDimming" missing: dimming is on.
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.intensity));
        ASSERT_EQ(Backlight_setIntensity(bl, c.intensity), ERR_SUCCESS);
        ASSERT_EQ(FrontLED_setColor(h_, c.requested[0], c.requested[1], c.requested[2]), ERR_SUCCESS);
        EXPECT_EQ(color(), c.sent);
    }
    ASSERT_EQ(Backlight_setIntensity(bl, 128), ERR_SUCCESS);
    ASSERT_EQ(FrontLED_setStandardColor(h_, 2), ERR_SUCCESS);
    EXPECT_EQ(color(), (std::vector<uint8_t>{0, 0, 7}));

    // Dimming off, or a backlight query failing: sent as asked.
    ASSERT_EQ(Backlight_setLedDimming(bl, 0), ERR_SUCCESS);
    ASSERT_EQ(FrontLED_setColor(h_, 15, 0, 0), ERR_SUCCESS);
    EXPECT_EQ(color(), (std::vector<uint8_t>{15, 0, 0}));
    ASSERT_EQ(Backlight_setLedDimming(bl, 1), ERR_SUCCESS);
    fault(0x222418, {{"action", "fail"}}); // the backlight level read
    ASSERT_EQ(FrontLED_setColor(h_, 0, 9, 0), ERR_SUCCESS);
    EXPECT_EQ(color(), (std::vector<uint8_t>{0, 9, 0}));
    Backlight_release(bl);

    // Out of range: refused before any request; the write's count is not examined.
    const uint64_t seq = lastLogSeq();
    EXPECT_EQ(FrontLED_setColor(h_, 16, 0, 0), ERR_INVALID_PARAMETER);
    EXPECT_EQ(FrontLED_setColor(h_, 0, 0, 255), ERR_INVALID_PARAMETER);
    EXPECT_EQ(ledWrites(seq), 0u);
    fault(sig::kReqColorWrite, {{"action", "count"}, {"count", 0}});
    EXPECT_EQ(FrontLED_setColor(h_, 1, 2, 3), ERR_SUCCESS);
}

TEST_F(FrontLedTest, StandardColourLookup) {
    ASSERT_EQ(unit().getValue("front_led.color"), (json{{"red", 0}, {"green", 15}, {"blue", 0}}));
    const std::vector<std::vector<int>> table = {{15, 0, 0}, {0, 15, 0}, {0, 0, 15}, {0, 15, 15}, {12, 0, 4}, {15, 5, 0},
                                                 {15, 0, 1}, {0, 0, 0}};
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& c = table[i];
        unit().setValue("front_led.color", json{{"red", c[0]}, {"green", c[1]}, {"blue", c[2]}}.dump());
        int32_t index = -1;
        ASSERT_EQ(FrontLED_getStandardColor(h_, &index), ERR_SUCCESS);
        EXPECT_EQ(index, std::min<int32_t>(static_cast<int32_t>(i), 6));
    }
    const uint64_t seq = lastLogSeq();
    EXPECT_EQ(FrontLED_setStandardColor(h_, 6), ERR_INVALID_PARAMETER);
    EXPECT_EQ(FrontLED_setStandardColor(h_, -1), ERR_INVALID_PARAMETER);
    EXPECT_EQ(ledWrites(seq), 0u);
    EXPECT_EQ(FrontLED_getStandardColor(h_, nullptr), ERR_INVALID_PARAMETER);
}

TEST_F(FrontLedTest, StartupFlagOnlyOneEnablesAndReadsAsSignedByte) {
    const struct {
        int32_t value;
        bool stored;
    } writes[] = {{1, true}, {2, false}, {1, true}, {-1, false}, {0, false}};
    for (const auto& w : writes) {
        const uint64_t seq = lastLogSeq();
        ASSERT_EQ(FrontLED_setEnabledDuringStartup(h_, w.value), ERR_SUCCESS);
        EXPECT_EQ(driverRequests(sig::kReqStartupWrite, seq)[0].in, (std::vector<uint8_t>{w.stored ? uint8_t(1) : uint8_t(0)}));
        EXPECT_EQ(led()["enabled_during_startup"], w.stored);
    }
    for (const auto& [reply, expected] : std::vector<std::pair<std::string, int32_t>>{{"01", 1}, {"7f", 1}, {"81", 0}}) {
        fault(sig::kReqStartupRead, {{"action", "reply"}, {"reply", reply}});
        int32_t enabled = -1;
        ASSERT_EQ(FrontLED_getEnabledDuringStartup(h_, &enabled), ERR_SUCCESS);
        EXPECT_EQ(enabled, expected) << reply;
    }
}

TEST_F(FrontLedTest, SharedObjectHoldsOneBacklightHandle) {
    using BacklightShared = tavik::frame::SharedInstance<tavik::lighting::Backlight_Imp>;
    EXPECT_EQ(BacklightShared::count(), 1);
    Varnholtstad::FrontLED* again = GetFrontLED();
    EXPECT_EQ(again, h_);
    EXPECT_EQ(BacklightShared::count(), 1);
    FrontLED_release(again);
    EXPECT_EQ(BacklightShared::count(), 1);
    FrontLED_release(h_);
    EXPECT_EQ(BacklightShared::count(), 0);
    EXPECT_EQ(BacklightShared::current(), nullptr);

    // Without the driver the object still comes, and every request reports it.
    loadProfile("no-driver");
    h_ = GetFrontLED();
    uint8_t t = 0;
    EXPECT_EQ(FrontLED_getOnTime(h_, &t), ERR_OPEN_FAILED);
    EXPECT_EQ(FrontLED_setColor(h_, 1, 0, 0), ERR_OPEN_FAILED);
    EXPECT_EQ(FrontLED_setEnabledDuringStartup(h_, 1), ERR_OPEN_FAILED);
    EXPECT_EQ(FrontLED_setOnTime(nullptr, 1), ERR_INVALID_PARAMETER);
}

TEST_F(FrontLedTest, TavikctlSetsShowsAndSwitchesOff) {
    const std::string ctl = tavik::test::binPath("tavikctl");
    std::string out;
    ASSERT_EQ(run(ctl + " led set --color 1,2,3 --signal 2,25 --pulses 3", &out), 0) << out;
    ASSERT_EQ(run(ctl + " --json led", &out), 0) << out;
    json doc = json::parse(out);
    EXPECT_EQ(doc["color"], (json{{"red", 1}, {"green", 2}, {"blue", 3}}));
    EXPECT_EQ(doc["on_time_ms"], 120);
    EXPECT_EQ(doc["off_time_ms"], 380);
    EXPECT_EQ(doc["pulses"], 3);
    EXPECT_EQ(doc["duty_percent"], 24);
    EXPECT_TRUE(doc["standard_color"].is_null());

    ASSERT_EQ(run(ctl + " led set --color orange", &out), 0) << out;
    ASSERT_EQ(run(ctl + " --json led", &out), 0) << out;
    EXPECT_EQ(color(), (std::vector<uint8_t>{15, 5, 0})); // two components: never dimmed
    EXPECT_EQ(json::parse(out)["standard_color"], "orange");

    ASSERT_EQ(run(ctl + " led off", &out), 0) << out;
    EXPECT_EQ(led()["on_time"], 0);
    EXPECT_EQ(run(ctl + " led set --signal 0.1,50", &out), 1);
    EXPECT_NE(out.find("(9)"), std::string::npos) << out;
    EXPECT_NE(run(ctl + " sim set front_led.color.red 16", &out), 0); // the model refuses it too
}

} // namespace
