// The Lightsensor family against the simulated sensor: the chord/step conversion, the order of
// the illuminance reading, the operating range, the averaging filter's sequences, the averaging
// thread with its range switching, and the one-averaging-at-a-time lock across processes.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "frame/cross_process_lock.h"
#include "lighting/light_average.h"
#include "lighting/lightsensor.h"
#include "lighting_test_support.h"
#include "platform/sync.h"
#include "support/sim_fixture.h"
#include "tavik2/lightsensor.h"

namespace {

using tavik::lighting::AverageFilter;
using tavik::test::driverRequests;
using tavik::test::sensedLux;
using tavik::test::waitUntil;
using Varnholtstad::Lightsensor;

constexpr uint32_t kReadCodes = 0x222514;
constexpr uint32_t kWriteRange = 0x222518;
constexpr uint32_t kReadRange = 0x22251C;

class LightsensorTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        s = GetLightsensor();
        ASSERT_NE(s, nullptr);
    }
    void TearDown() override {
        Lightsensor_release(s);
        SimTest::TearDown();
    }
    void fault(uint32_t code, const char* action, const std::string& reply = "", int times = -1) {
        nlohmann::json f = {{"target", "\\\\.\\TavikDrv"}, {"code", code}, {"action", action}, {"remaining", times}};
        if (!reply.empty()) f["reply"] = reply;
        unit().addFault(f);
    }
    // The range bytes sent so far.
    std::vector<uint8_t> rangeWrites() {
        std::vector<uint8_t> bytes;
        for (const auto& e : driverRequests(kWriteRange)) bytes.push_back(e.in.at(0));
        return bytes;
    }
    uint16_t average(Lightsensor* h = nullptr) {
        uint16_t lux = 0;
        return Lightsensor_getAverageIlluminance(h ? h : s, &lux) == ERR_SUCCESS ? lux : 0xFFFF;
    }

    Lightsensor* s = nullptr;
};

TEST(LightConversion, ChordStepCountsAndLuxAtTheConverterNumbers) {
    using tavik::lighting::codeCount;
    using tavik::lighting::luxFromCodes;
    const std::pair<uint8_t, uint32_t> counts[] = {{0x80, 0}, {0x8F, 15}, {0x90, 16}, {0xA5, 69},
                                                   {0xD4, 639}, {0xF0, 2095}, {0xFF, 4015}};
    for (auto [code, count] : counts) EXPECT_EQ(codeCount(code), count) << int(code);
    struct Case {
        uint8_t ch0, ch1;
        uint16_t lux;
    };
    const Case cases[] = {{0x80, 0x80, 0}, {0xFF, 0x80, 1565}, {0xD4, 0x80, 249}, {0xC8, 0xA5, 118},
                          {0xB3, 0x92, 46}, {0x80, 0xFF, 0}, {0xA5, 0xA5, 0}};
    for (const Case& c : cases) EXPECT_EQ(luxFromCodes(c.ch0, c.ch1), c.lux) << int(c.ch0) << "/" << int(c.ch1);
}

TEST(LightConversion, AveragingAndRejectionSequences) {
    struct Case {
        uint32_t average, reject, delta;
        std::vector<uint32_t> samples, averages; // average after each sample
        size_t rejected;
    };
    const Case cases[] = {
        {4, 0, 50, {200, 600}, {200, 300}, 0},
        {1, 3, 50, {100, 100, 100, 300, 300, 300}, {100, 100, 100, 100, 100, 300}, 2},
        {3, 2, 10, {90, 95, 120, 121, 122}, {90, 91, 91, 102, 112}, 1},
        {2, 1, 1, {10, 1000}, {10, 505}, 0}, // a window of 1 rejects nothing
    };
    for (const Case& c : cases) {
        AverageFilter f;
        f.reset(c.average, c.reject, c.delta);
        size_t rejected = 0;
        for (size_t i = 0; i < c.samples.size(); ++i) {
            if (f.add(c.samples[i]) == AverageFilter::Outcome::Rejected) ++rejected;
            EXPECT_EQ(f.average(), c.averages[i]) << "sample " << i;
        }
        EXPECT_EQ(rejected, c.rejected);
    }
    // The running sum of the largest window at the largest lux still fits.
    AverageFilter f;
    f.reset(AverageFilter::kMaxAverageWindow, 0, 1);
    f.add(65535);
    f.add(65535);
    EXPECT_EQ(f.average(), 65535u);
}

TEST_F(LightsensorTest, IlluminanceReadsCodesThenRange) {
    fault(kReadCodes, "reply", "ff80");
    uint16_t lux = 0;
    uint8_t ch0 = 0, ch1 = 0;
    ASSERT_EQ(Lightsensor_getIlluminance2(s, &lux, &ch0, &ch1), ERR_SUCCESS);
    EXPECT_EQ(lux, 1565);
    EXPECT_EQ(ch0, 0xFF);
    EXPECT_EQ(ch1, 0x80);
    ASSERT_EQ(Lightsensor_setOperatingRange(s, 1), ERR_SUCCESS);
    ASSERT_EQ(Lightsensor_getIlluminance(s, &lux), ERR_SUCCESS);
    EXPECT_EQ(lux, 7825);

    // A failing range read still delivers the light, and says so.
    fault(kReadRange, "fail", "", 1);
    lux = 0;
    EXPECT_EQ(Lightsensor_getIlluminance2(s, &lux, &ch0, &ch1), ERR_IOCTRL_FAILED);
    EXPECT_EQ(lux, 1565);

    // Zero light still reads the range; codes not ready read nothing more.
    unit().clearFaults();
    fault(kReadCodes, "reply", "8080", 1);
    const size_t rangeReads = driverRequests(kReadRange).size();
    ASSERT_EQ(Lightsensor_getIlluminance(s, &lux), ERR_SUCCESS);
    EXPECT_EQ(lux, 0);
    EXPECT_EQ(driverRequests(kReadRange).size(), rangeReads + 1);
    fault(kReadCodes, "reply", "ff7f", 1);
    lux = 42;
    EXPECT_EQ(Lightsensor_getIlluminance2(s, &lux, &ch0, &ch1), ERR_INVALID_DATA);
    EXPECT_EQ(lux, 42);
    EXPECT_EQ(driverRequests(kReadRange).size(), rangeReads + 1);

    EXPECT_EQ(Lightsensor_getIlluminance2(s, &lux, nullptr, &ch1), ERR_INVALID_PARAMETER);
}

TEST_F(LightsensorTest, OperatingRange) {
    int32_t range = -1;
    ASSERT_EQ(Lightsensor_getOperatingRange(s, &range), ERR_SUCCESS);
    EXPECT_EQ(range, 0);
    EXPECT_EQ(Lightsensor_setOperatingRange(s, 2), ERR_INVALID_PARAMETER);
    ASSERT_EQ(Lightsensor_setOperatingRange(s, 1), ERR_SUCCESS);
    ASSERT_EQ(Lightsensor_getOperatingRange(s, &range), ERR_SUCCESS);
    EXPECT_EQ(range, 1);
    EXPECT_EQ(rangeWrites(), std::vector<uint8_t>{1});
    fault(kReadRange, "reply", "02", 1);
    EXPECT_EQ(Lightsensor_getOperatingRange(s, &range), ERR_INVALID_DATA);
    fault(kWriteRange, "count", "", 1); // the count of a range write is not checked
    EXPECT_EQ(Lightsensor_setOperatingRange(s, 0), ERR_SUCCESS);
}

TEST_F(LightsensorTest, StartRefusesWindowsItCannotHold) {
    const std::array<int32_t, 4> refused[] = {
        {0, 3, 50, 2}, {5, 3, 0, 2}, {-1, 3, 50, 2}, {65538, 0, 50, 2}, {5, 1073741820, 50, 2}, {5, -2, 50, 2}};
    for (const auto& a : refused) EXPECT_EQ(Lightsensor_startAverageCalc(s, a[0], a[1], a[2], a[3]), ERR_INVALID_DATA);
    EXPECT_EQ(average(), 0xFFFF); // nothing runs
    ASSERT_EQ(Lightsensor_startAverageCalc(s, 65537, 0, 1, 0), ERR_SUCCESS);
    EXPECT_EQ(Lightsensor_stopAverageCalc(s), ERR_SUCCESS);
}

TEST_F(LightsensorTest, AverageFollowsTheLightWhileRunning) {
    tavik::sim::setAmbientLight(400);
    uint16_t lux = 0;
    EXPECT_EQ(Lightsensor_getAverageIlluminance(s, &lux), ERR_NOT_RUNNING);
    ASSERT_EQ(Lightsensor_startAverageCalc(s, 2, 0, 50, 0), ERR_SUCCESS);
    // Right after the start, before any sample: the light as it is, not darkness.
    EXPECT_EQ(average(), sensedLux(400));
    tavik::sim::setAmbientLight(200);
    EXPECT_TRUE(waitUntil([&] { return average() == sensedLux(200); }));
    ASSERT_EQ(Lightsensor_stopAverageCalc(s), ERR_SUCCESS);
    EXPECT_EQ(Lightsensor_getAverageIlluminance(s, &lux), ERR_NOT_RUNNING);

    // A device error ends the averaging: 21 from then on, and the lock is free again.
    ASSERT_EQ(Lightsensor_startAverageCalc(s, 2, 0, 50, 0), ERR_SUCCESS);
    fault(kReadCodes, "fail");
    EXPECT_TRUE(waitUntil([&] { return Lightsensor_getAverageIlluminance(s, &lux) == ERR_NOT_RUNNING; }));
    unit().clearFaults();
    ASSERT_EQ(Lightsensor_startAverageCalc(s, 2, 0, 50, 0), ERR_SUCCESS);
    EXPECT_TRUE(waitUntil([&] { return average() == sensedLux(200); }));
}

TEST_F(LightsensorTest, AutomaticModeSwitchesRangeOnSaturationAndBack) {
    tavik::sim::setAmbientLight(3000); // beyond the standard range
    ASSERT_EQ(Lightsensor_startAverageCalc(s, 1, 0, 50, 2), ERR_SUCCESS);
    EXPECT_TRUE(waitUntil([&] { return rangeWrites() == std::vector<uint8_t>{0, 1}; }));
    EXPECT_TRUE(waitUntil([&] { return average() == sensedLux(3000, 1); }));
    tavik::sim::setAmbientLight(100);
    EXPECT_TRUE(waitUntil([&] { return rangeWrites() == std::vector<uint8_t>{0, 1, 0}; }));
    EXPECT_TRUE(waitUntil([&] { return average() == sensedLux(100); }));
    ASSERT_EQ(Lightsensor_stopAverageCalc(s), ERR_SUCCESS);
    EXPECT_EQ(rangeWrites(), (std::vector<uint8_t>{0, 1, 0}));

    // A fixed range never switches: the saturated samples are dropped.
    tavik::sim::setAmbientLight(3000);
    ASSERT_EQ(Lightsensor_startAverageCalc(s, 1, 0, 50, 0), ERR_SUCCESS);
    const size_t reads = driverRequests(kReadCodes).size();
    EXPECT_TRUE(waitUntil([&] { return driverRequests(kReadCodes).size() > reads + 3; }));
    ASSERT_EQ(Lightsensor_stopAverageCalc(s), ERR_SUCCESS);
    EXPECT_EQ(rangeWrites(), (std::vector<uint8_t>{0, 1, 0, 0}));
}

TEST_F(LightsensorTest, OneAveragingAtATimeAcrossProcesses) {
    Lightsensor* other = GetLightsensor();
    ASSERT_EQ(Lightsensor_startAverageCalc(s, 5, 5, 50, 2), ERR_SUCCESS);
    EXPECT_EQ(Lightsensor_startAverageCalc(s, 5, 5, 50, 2), ERR_AVERAGE_CALC_STARTED);
    EXPECT_EQ(Lightsensor_startAverageCalc(other, 5, 5, 50, 2), ERR_AVERAGE_CALC_STARTED);
    EXPECT_EQ(Lightsensor_setOperatingRange(other, 1), ERR_AVERAGE_CALC_STARTED);
    std::string out;
    EXPECT_EQ(run(tavik::test::binPath("tavikctl") + " light range 1", &out), 1);
    EXPECT_NE(out.find("(20)"), std::string::npos) << out;
    ASSERT_EQ(Lightsensor_stopAverageCalc(s), ERR_SUCCESS);
    ASSERT_EQ(Lightsensor_startAverageCalc(other, 5, 5, 50, 2), ERR_SUCCESS);
    Lightsensor_release(other); // release stops its averaging

    // Another process's averaging holds this one off until it ends.
    std::thread child([&] { run(tavik::test::binPath("tavikctl") + " --json light average --for 1500", &out); });
    EXPECT_TRUE(waitUntil([&] { return Lightsensor_setOperatingRange(s, 0) == ERR_AVERAGE_CALC_STARTED; }));
    child.join();
    EXPECT_NE(out.find("averages"), std::string::npos) << out;
    EXPECT_EQ(Lightsensor_startAverageCalc(s, 5, 5, 50, 2), ERR_SUCCESS);
}

TEST_F(LightsensorTest, SimulatedSensorCodesConvertBackToTheLight) {
    for (double lux : {0.0, 1.0, 7.0, 60.0, 300.0, 800.0, 1100.0}) {
        const double sensed = sensedLux(lux);
        EXPECT_NEAR(sensed, lux, std::max(1.0, 0.03 * lux)) << lux;
    }
    for (double lux : {1500.0, 3000.0, 5500.0}) EXPECT_NEAR(sensedLux(lux, 1), lux, 0.03 * lux) << lux;
    EXPECT_EQ(tavik::sim::lightCodesFor(2000, 0, 0.25).ch0, 0xFF); // saturated in the standard range
    EXPECT_THROW(unit().setValue("lightsensor.range", "2"), std::invalid_argument);
    EXPECT_THROW(unit().setValue("backlight.level", "256"), std::invalid_argument);

    nlohmann::json points;
    std::string error;
    ASSERT_TRUE(tavik::sim::parseLightScript("# sunrise\n0 100\n\n10 1000  # full\n", points, error)) << error;
    EXPECT_DOUBLE_EQ(tavik::sim::lightScriptLux(points, -1), 100);
    EXPECT_DOUBLE_EQ(tavik::sim::lightScriptLux(points, 5), 550);
    EXPECT_DOUBLE_EQ(tavik::sim::lightScriptLux(points, 99), 1000);
    for (const char* bad : {"5 100\n1 200\n", "1\n", "1 2 3\n", "a b\n", "1 -5\n", ""})
        EXPECT_FALSE(tavik::sim::parseLightScript(bad, points, error)) << bad;

    // tavikctl: a script of one point holds its light; the sensor reads it.
    const std::string file = home() + "/light.txt";
    std::ofstream(file) << "0 700\n";
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim light --script " + file, &out), 0) << out;
    EXPECT_DOUBLE_EQ(tavik::sim::ambientLight(), 700);
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " --json light", &out), 0) << out;
    EXPECT_EQ(nlohmann::json::parse(out)["lux"], sensedLux(700));
}

} // namespace
