// The automatic backlight controller: its model and the learnt level at the exact numbers, the
// repair of broken settings, soft transitions and learning against the simulated unit with time
// compressed, a settings change in another process waking it, and its stop.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include "frame/settings_file.h"
#include "lighting/backlight_controller.h"
#include "lighting_test_support.h"
#include "support/sim_fixture.h"
#include "tavik2/backlight.h"
#include "tavik2/lightsensor.h"

namespace {

namespace fs = std::filesystem;
using tavik::lighting::BacklightController;
using tavik::lighting::learnedK;
using tavik::lighting::levelFromModel;
using tavik::lighting::modelLevel;
using tavik::test::driverRequests;
using tavik::test::sensedLux;
using tavik::test::waitUntil;

constexpr uint32_t kGetLevel = 0x222418;
constexpr uint32_t kSetLevel = 0x22241C;

class BacklightControllerTest : public tavik::test::SimTest {
protected:
    void writeIni(const std::string& bytes) {
        const std::string path = tavik::sim::hostPath(tavik::frame::settingsFilePath());
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    // Every automatic backlight key; averaging of one sample so the light is followed at once.
    void writeSettings(bool enabled, bool soft = true, const char* k = "50") {
        writeIni(std::string("ABL_status=") + (enabled ? "1" : "0") + "\r\nABL_bSoftTransitions=" + (soft ? "1" : "0") +
                 "\r\nABL_k=" + k + "\r\nABL_averageWndSize=1\r\nABL_rejectWndSize=0\r\nABL_rejectDeltaInLux=50\r\n" +
                 "ABL_mode=0\r\n");
    }
    std::string key(const std::string& name) {
        tavik::frame::SettingsFile store;
        store.load();
        return store.get(name);
    }
    // Levels the controller wrote since log entry `since`.
    std::vector<int> writes(uint64_t since = 0) {
        std::vector<int> levels;
        for (const auto& e : driverRequests(kSetLevel, since)) levels.push_back(e.in.at(0));
        return levels;
    }
    int level() { return unit().getValue("backlight.level").get<int>(); }
    static int target(double lux, double k = 50) {
        return levelFromModel(modelLevel(k, sensedLux(lux)));
    }
};

TEST(BacklightModel, LevelsAtTheModelNumbers) {
    struct Case {
        double k, lux;
        int level;
    };
    const Case cases[] = {{50, 100, 220}, {50, 0, 24}, {50, 1, 24}, {50, 1000, 254}, {1, 2, 0}, {28.22914, 100, 120}};
    for (const Case& c : cases) EXPECT_EQ(levelFromModel(modelLevel(c.k, c.lux)), c.level) << c.k << " " << c.lux;
    EXPECT_NEAR(modelLevel(50, 100), 220.259, 1e-3);
    EXPECT_NEAR(learnedK(120, 100), 28.22914, 1e-5);
    std::string text;
    tavik::frame::formatDouble(learnedK(120, 100), text);
    EXPECT_EQ(text, "28.2291");
    EXPECT_EQ(levelFromModel(119.996), 120);
    EXPECT_EQ(levelFromModel(119.994), 119);
}

TEST(BacklightModel, LearntLevelIsKeptExactlyAlsoAfterARestart) {
    for (int level = 0; level <= 254; ++level) {
        for (double lux : {2.0, 3.0, 10.0, 100.0, 1565.0, 7825.0, 65535.0}) {
            const double k = learnedK(static_cast<uint8_t>(level), lux);
            EXPECT_EQ(levelFromModel(modelLevel(k, lux)), level) << level << " at " << lux;
            std::string stored; // "ABL_k" keeps six significant digits
            double reread = 0;
            tavik::frame::formatDouble(k, stored);
            tavik::frame::parseDouble(stored, reread);
            EXPECT_EQ(levelFromModel(modelLevel(reread, lux)), level) << level << " at " << lux << " k " << stored;
        }
    }
}

TEST_F(BacklightControllerTest, BrokenSettingsAreRepairedWithDefaults) {
    writeIni("ABL_mode=abc\r\nABL_status=0\r\nABL_averageWndSize=9\r\n");
    tavik::test::TraceCapture trace;
    {
        BacklightController controller;
        ASSERT_EQ(controller.start(), ERR_SUCCESS);
        EXPECT_EQ(controller.start(), ERR_INIT_FAILED); // once per owner
        EXPECT_TRUE(waitUntil([&] { return key("ABL_status") == "0" && key("ABL_mode") == "2"; }));
    }
    const std::pair<const char*, const char*> expected[] = {
        {"ABL_k", "50"}, {"ABL_averageWndSize", "9"}, {"ABL_rejectWndSize", "5"}, {"ABL_rejectDeltaInLux", "50"},
        {"ABL_mode", "2"}, {"ABL_bSoftTransitions", "1"}, {"ABL_status", "0"}};
    for (auto [name, value] : expected) EXPECT_EQ(key(name), value) << name;
    EXPECT_TRUE(trace.contains("Error s_mode 4\n"));
    EXPECT_TRUE(trace.contains("Thread ended\n"));
}

TEST_F(BacklightControllerTest, SoftTransitionsStepOneLevelAndAManualLevelIsLearnt) {
    tavik::sim::setAmbientLight(100);
    writeSettings(true);
    ASSERT_EQ(level(), 128);
    const int goal = target(100);
    BacklightController controller;
    ASSERT_EQ(controller.start(), ERR_SUCCESS);
    ASSERT_TRUE(waitUntil([&] { return level() == goal; })) << level();
    std::vector<int> steps;
    for (int l = 129; l <= goal; ++l) steps.push_back(l);
    EXPECT_EQ(writes(), steps);

    // Set by hand: the next measurement learns k for it and keeps the level.
    Varnholtstad::Backlight* h = GetBacklight();
    const uint64_t mark = tavik::test::lastLogSeq();
    ASSERT_EQ(Backlight_setIntensity(h, 120), ERR_SUCCESS);
    std::string learnt;
    tavik::frame::formatDouble(learnedK(120, sensedLux(100)), learnt);
    EXPECT_TRUE(waitUntil([&] { return key("ABL_k") == learnt; })) << key("ABL_k");
    const size_t measured = driverRequests(kGetLevel, mark).size();
    EXPECT_TRUE(waitUntil([&] { return driverRequests(kGetLevel, mark).size() >= measured + 3; }));
    EXPECT_EQ(writes(mark), std::vector<int>{120}); // ours only
    EXPECT_EQ(level(), 120);

    // Off: the loop ends within one pause and stops the averaging.
    tavik::test::TraceCapture trace;
    ASSERT_EQ(Backlight_stopAutomaticBL(h), ERR_SUCCESS);
    EXPECT_TRUE(waitUntil([&] { return trace.contains("Stop ABL loop\n"); }));
    EXPECT_TRUE(trace.contains("Exit the thread\n"));
    Varnholtstad::Lightsensor* s = GetLightsensor();
    EXPECT_EQ(Lightsensor_startAverageCalc(s, 1, 0, 50, 0), ERR_SUCCESS);
    Lightsensor_release(s);
    Backlight_release(h);
}

// A learnt factor that the settings file does not take: the controller keeps the level and goes
// on, but the lost write shows in the trace and in the count its host reads (tavikctl abl run).
TEST_F(BacklightControllerTest, LearntFactorThatCannotBeStoredIsTracedAndCounted) {
    tavik::sim::setAmbientLight(100);
    writeSettings(true, false);
    BacklightController controller;
    ASSERT_EQ(controller.start(), ERR_SUCCESS);
    ASSERT_TRUE(waitUntil([&] { return level() == target(100); })) << level();
    const std::string stored = settingsBytes();
    makeSettingsUnwritable();
    tavik::test::TraceCapture trace;
    Varnholtstad::Backlight* h = GetBacklight();
    ASSERT_EQ(Backlight_setIntensity(h, 120), ERR_SUCCESS);
    Backlight_release(h);
    ASSERT_TRUE(waitUntil([&] { return controller.unstoredKCount() > 0; }));
    const double k = learnedK(120, sensedLux(100));
    EXPECT_DOUBLE_EQ(controller.lastUnstoredK(), k);
    std::string text;
    tavik::frame::formatDouble(k, text);
    EXPECT_TRUE(trace.contains("Error ABL_k=" + text + " not stored: cannot create " +
                               tavik::frame::settingsFilePath() + ".tmp: Is a directory\n"));
    EXPECT_EQ(settingsBytes(), stored);
    EXPECT_EQ(level(), 120);
}

TEST_F(BacklightControllerTest, WithoutSoftTransitionsTheLevelJumps) {
    tavik::sim::setAmbientLight(40);
    writeSettings(true, false, "40");
    const int goal = target(40, 40);
    BacklightController controller;
    ASSERT_EQ(controller.start(), ERR_SUCCESS);
    ASSERT_TRUE(waitUntil([&] { return level() == goal; }));
    EXPECT_EQ(writes(), std::vector<int>{goal});
}

TEST_F(BacklightControllerTest, ScriptedDawnIsFollowedStepByStep) {
    tavik::sim::setAmbientLight(100);
    writeSettings(true);
    BacklightController controller;
    ASSERT_EQ(controller.start(), ERR_SUCCESS);
    ASSERT_TRUE(waitUntil([&] { return level() == target(100); }));
    const uint64_t mark = tavik::test::lastLogSeq();
    const std::string file = home() + "/dawn.txt";
    std::ofstream(file) << "0 100\n20 1000\n";
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim light --script " + file, &out), 0) << out;
    ASSERT_TRUE(waitUntil([&] { return level() == 254; })) << level();
    const std::vector<int> levels = writes(mark);
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.front(), target(100) + 1);
    for (size_t i = 1; i < levels.size(); ++i) EXPECT_EQ(levels[i], levels[i - 1] + 1) << i;
}

TEST_F(BacklightControllerTest, SettingsChangeInAnotherProcessWakesTheController) {
    tavik::sim::setAmbientLight(100);
    writeSettings(false);
    BacklightController controller;
    ASSERT_EQ(controller.start(), ERR_SUCCESS);
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " backlight auto on", &out), 0) << out;
    EXPECT_TRUE(waitUntil([&] { return level() == target(100); })) << level();
}

TEST_F(BacklightControllerTest, DestroyEndsEveryStateEvenWithTwoControllersWaiting) {
    tavik::sim::setAmbientLight(100);
    writeSettings(true);
    {
        BacklightController running;
        ASSERT_EQ(running.start(), ERR_SUCCESS);
        ASSERT_TRUE(waitUntil([&] { return !driverRequests(kSetLevel).empty(); }));
    } // stops while executing, the averaging with it
    Varnholtstad::Lightsensor* s = GetLightsensor();
    EXPECT_EQ(Lightsensor_startAverageCalc(s, 1, 0, 50, 0), ERR_SUCCESS);
    Lightsensor_release(s);

    // Idle controllers share the machine-wide wake-up: each destroy must end its own thread.
    writeSettings(false);
    for (int round = 0; round < 3; ++round) {
        auto first = std::make_unique<BacklightController>();
        auto second = std::make_unique<BacklightController>();
        ASSERT_EQ(first->start(), ERR_SUCCESS);
        ASSERT_EQ(second->start(), ERR_SUCCESS);
        first.reset();
        second.reset();
    }
    BacklightController never; // destroyed without a start
}

} // namespace
