// The Backlight family against the simulated unit: level and status requests, the shared object,
// the automatic backlight settings in the settings file with their parse orders and partial
// writes, the wake-up semaphore, and LED dimming with the service's three answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>

#include "frame/cross_process_lock.h"
#include "frame/settings_file.h"
#include "lighting/abl_settings.h"
#include "platform/sync.h"
#include "sim/service_model.h"
#include "support/sim_fixture.h"
#include "tavik2/backlight.h"

namespace {

namespace fs = std::filesystem;
using Varnholtstad::Backlight;

class BacklightTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        h = GetBacklight();
        ASSERT_NE(h, nullptr);
    }
    void TearDown() override {
        Backlight_release(h);
        SimTest::TearDown();
    }

    void writeIni(const std::string& bytes) {
        const std::string path = tavik::sim::hostPath(tavik::frame::settingsFilePath());
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string key(const std::string& name) {
        tavik::frame::SettingsFile store;
        store.load();
        return store.get(name);
    }

    Backlight* h = nullptr;
};

TEST_F(BacklightTest, SharedObjectLivesUntilTheLastRelease) {
    Backlight* second = GetBacklight();
    EXPECT_EQ(second, h);
    Backlight_release(second);
    uint8_t level = 0;
    EXPECT_EQ(Backlight_getIntensity(h, &level), ERR_SUCCESS); // the first handle still works
}

TEST_F(BacklightTest, LevelGoesToTheDriverAndBack) {
    ASSERT_EQ(Backlight_setIntensity(h, 120), ERR_SUCCESS);
    uint8_t level = 0;
    ASSERT_EQ(Backlight_getIntensity(h, &level), ERR_SUCCESS);
    EXPECT_EQ(level, 120);
    const auto log = requests();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2].code, 0x22241Cu);
    EXPECT_EQ(log[log.size() - 2].in, std::vector<uint8_t>{120});
    EXPECT_EQ(log.back().code, 0x222418u);
}

TEST_F(BacklightTest, HardwareWorksOnlyForStatusThreeAndFifteen) {
    const std::pair<int, bool> cases[] = {{3, true}, {15, true}, {0, false}, {1, false}, {2, false}, {4, false}, {14, false}};
    for (auto [status, ok] : cases) {
        unit().setValue("backlight.status", std::to_string(status));
        bool hw = !ok;
        uint8_t raw = 0;
        ASSERT_EQ(Backlight_getHWStatus(h, &hw), ERR_SUCCESS);
        ASSERT_EQ(Backlight_getStatus(h, &raw), ERR_SUCCESS);
        EXPECT_EQ(hw, ok) << status;
        EXPECT_EQ(raw, status);
    }
}

TEST_F(BacklightTest, DriverOutcomesAndNullOutParameters) {
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", 0x222418}, {"action", "fail"}, {"remaining", 1}});
    uint8_t level = 77;
    EXPECT_EQ(Backlight_getIntensity(h, &level), ERR_IOCTRL_FAILED);
    EXPECT_EQ(level, 77);
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", 0x22241C}, {"action", "count"}, {"count", 0}, {"remaining", 1}});
    EXPECT_EQ(Backlight_setIntensity(h, 1), ERR_BUFFER_SIZE);
    EXPECT_EQ(Backlight_getIntensity(h, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Backlight_getAutomaticBLParams(h, nullptr, nullptr), ERR_INVALID_PARAMETER);
    int32_t v = 0;
    EXPECT_EQ(Backlight_getAutomaticBLFilter(h, &v, &v, nullptr, &v), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Backlight_getIntensity(nullptr, &level), ERR_INVALID_PARAMETER);
}

TEST_F(BacklightTest, UnitWithoutDisplaySupportsNothingAndTouchesNothing) {
    Backlight_release(h);
    loadProfile("no-display");
    unit().clearLog();
    h = GetBacklight();
    const size_t before = requests().size();
    uint8_t b = 0;
    bool f = false;
    int32_t i = 0;
    double k = 0;
    EXPECT_EQ(Backlight_getIntensity(h, &b), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_setIntensity(h, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_getStatus(h, &b), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_getHWStatus(h, &f), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_startAutomaticBL(h), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_stopAutomaticBL(h), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_getAutomaticBLStatus(h, &f), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_setAutomaticBLParams(h, true), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_getAutomaticBLParams(h, &f, &k), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_setAutomaticBLFilter(h, 1, 1, 1, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_getAutomaticBLFilter(h, &i, &i, &i, &i), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_getLedDimming(h, &i), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Backlight_setLedDimming(h, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(requests().size(), before);
    EXPECT_FALSE(fs::exists(tavik::sim::hostPath(tavik::frame::settingsFilePath())));
}

TEST_F(BacklightTest, AutomaticSettingsRoundTripAndWakeTheController) {
    // The controller's semaphore: drain the creation count, then each writer must give one back.
    const auto wake = tavik::frame::createCrossProcessLock(tavik::lighting::kSettingsChangedSemaphore);
    ASSERT_TRUE(wake.valid());
    tavik::platform::waitSemaphore(wake, 0);
    const auto woken = [&] { return tavik::platform::waitSemaphore(wake, 0) == tavik::platform::WaitResult::Signaled; };

    bool on = false;
    EXPECT_EQ(Backlight_getAutomaticBLStatus(h, &on), ERR_DATATYPE_MISMATCH); // never set
    ASSERT_EQ(Backlight_startAutomaticBL(h), ERR_SUCCESS);
    EXPECT_TRUE(woken());
    on = false;
    ASSERT_EQ(Backlight_getAutomaticBLStatus(h, &on), ERR_SUCCESS);
    EXPECT_TRUE(on);
    ASSERT_EQ(Backlight_stopAutomaticBL(h), ERR_SUCCESS);
    EXPECT_TRUE(woken());
    ASSERT_EQ(Backlight_getAutomaticBLStatus(h, &on), ERR_SUCCESS);
    EXPECT_FALSE(on);

    ASSERT_EQ(Backlight_setAutomaticBLFilter(h, 10, 3, 100, 1), ERR_SUCCESS);
    EXPECT_TRUE(woken());
    int32_t a = 0, r = 0, d = 0, m = 0;
    ASSERT_EQ(Backlight_getAutomaticBLFilter(h, &a, &r, &d, &m), ERR_SUCCESS);
    EXPECT_EQ((std::vector<int32_t>{a, r, d, m}), (std::vector<int32_t>{10, 3, 100, 1}));

    ASSERT_EQ(Backlight_setAutomaticBLParams(h, false), ERR_SUCCESS);
    EXPECT_TRUE(woken());
    EXPECT_FALSE(woken()); // a count of one: a burst of writes gives one wake-up
    EXPECT_EQ(key("ABL_bSoftTransitions"), "0");
    tavik::platform::closeSemaphore(wake);
}

// A settings file that cannot be written: every writer says so, the file keeps its old values,
// and neither the controller nor (for LED dimming) the service hears of a change.
TEST_F(BacklightTest, WritersReportASettingsFileThatCannotBeWritten) {
    writeIni("ABL_averageWndSize=5\r\nABL_bSoftTransitions=0\r\nABL_mode=2\r\nABL_rejectDeltaInLux=50\r\n"
             "ABL_rejectWndSize=5\r\nABL_status=0\r\nUseLEDDimming=1\r\n");
    const std::string before = settingsBytes();
    makeSettingsUnwritable();
    ASSERT_TRUE(tavik::sim::setServiceMode("accepting"));
    const auto wake = tavik::frame::createCrossProcessLock(tavik::lighting::kSettingsChangedSemaphore);
    ASSERT_TRUE(wake.valid());
    tavik::platform::waitSemaphore(wake, 0);
    const std::pair<const char*, std::function<ErrorCode()>> writers[] = {
        {"startAutomaticBL", [&] { return Backlight_startAutomaticBL(h); }},
        {"stopAutomaticBL", [&] { return Backlight_stopAutomaticBL(h); }},
        {"setAutomaticBLParams", [&] { return Backlight_setAutomaticBLParams(h, true); }},
        {"setAutomaticBLFilter", [&] { return Backlight_setAutomaticBLFilter(h, 10, 3, 100, 1); }},
        {"setLedDimming", [&] { return Backlight_setLedDimming(h, 0); }},
    };
    for (const auto& [name, write] : writers) {
        EXPECT_EQ(write(), ERR_DEVICE_WRITE_DATA_FAILED) << name;
        EXPECT_EQ(settingsBytes(), before) << name;
    }
    EXPECT_EQ(tavik::platform::waitSemaphore(wake, 0), tavik::platform::WaitResult::Timeout);
    EXPECT_TRUE(tavik::sim::serviceReceived().empty());
    tavik::platform::closeSemaphore(wake);
}

TEST_F(BacklightTest, ReadersStopAtTheFirstBrokenKeyInTheirOrder) {
    struct Case {
        const char* ini;
        ErrorCode result;
        std::vector<int32_t> filter; // average, reject, delta, mode after the call (-1: untouched)
    };
    const Case cases[] = {
        {"ABL_mode=2\r\nABL_averageWndSize=7\r\nABL_rejectWndSize=x\r\nABL_rejectDeltaInLux=9\r\n", ERR_DATATYPE_MISMATCH,
         {7, -1, -1, 2}},
        {"ABL_averageWndSize=7\r\nABL_rejectWndSize=3\r\nABL_rejectDeltaInLux=9\r\n", ERR_DATATYPE_MISMATCH,
         {-1, -1, -1, -1}},
        {"ABL_mode=1\r\nABL_averageWndSize=7\r\nABL_rejectWndSize=3\r\nABL_rejectDeltaInLux=99999999999\r\n",
         ERR_DATATYPE_MISMATCH, {7, 3, -1, 1}},
        {"ABL_mode= 1 \r\nABL_averageWndSize=7abc\r\nABL_rejectWndSize=-3\r\nABL_rejectDeltaInLux=9\r\n", ERR_SUCCESS,
         {7, -3, 9, 1}},
    };
    for (const Case& c : cases) {
        writeIni(c.ini);
        int32_t v[4] = {-1, -1, -1, -1};
        EXPECT_EQ(Backlight_getAutomaticBLFilter(h, &v[0], &v[1], &v[2], &v[3]), c.result) << c.ini;
        EXPECT_EQ(std::vector<int32_t>(v, v + 4), c.filter) << c.ini;
    }

    // Params: soft transitions before k; k as decimal text ("12.5abc" reads 12.5).
    writeIni("ABL_bSoftTransitions=1\r\n");
    bool soft = false;
    double k = -1;
    EXPECT_EQ(Backlight_getAutomaticBLParams(h, &soft, &k), ERR_DATATYPE_MISMATCH);
    EXPECT_TRUE(soft);
    EXPECT_EQ(k, -1);
    writeIni("ABL_bSoftTransitions=0\r\nABL_k=12.5abc\r\n");
    ASSERT_EQ(Backlight_getAutomaticBLParams(h, &soft, &k), ERR_SUCCESS);
    EXPECT_FALSE(soft);
    EXPECT_DOUBLE_EQ(k, 12.5);
    writeIni("ABL_bSoftTransitions=yes\r\nABL_k=1\r\n");
    soft = true;
    EXPECT_EQ(Backlight_getAutomaticBLParams(h, &soft, &k), ERR_DATATYPE_MISMATCH);
    EXPECT_TRUE(soft);

    writeIni("ABL_status=abc\r\n");
    bool on = true;
    EXPECT_EQ(Backlight_getAutomaticBLStatus(h, &on), ERR_DATATYPE_MISMATCH);
    EXPECT_FALSE(on); // written false on failure
}

TEST_F(BacklightTest, LedDimmingIsStoredAndAnnouncedToTheService) {
    const std::pair<const char*, int32_t> readings[] = {
        {"", 1}, {"UseLEDDimming=\r\n", 1}, {"UseLEDDimming=1\r\n", 1}, {"UseLEDDimming=0\r\n", 0},
        {"UseLEDDimming=2\r\n", 0}, {"UseLEDDimming=on\r\n", 0}};
    for (auto [ini, expected] : readings) {
        writeIni(ini);
        int32_t v = -1;
        ASSERT_EQ(Backlight_getLedDimming(h, &v), ERR_SUCCESS);
        EXPECT_EQ(v, expected) << ini;
    }

    // The three answers of the service; the value is stored whatever it says.
    const std::tuple<const char*, int32_t, ErrorCode, const char*> writes[] = {
        {"accepting", 0, ERR_SUCCESS, "0"}, {"refusing", 1, ERR_COMMAND_FAILED, "1"}, {"absent", 5, ERR_OPEN_FAILED, "0"}};
    for (auto [mode, value, result, stored] : writes) {
        ASSERT_TRUE(tavik::sim::setServiceMode(mode));
        EXPECT_EQ(Backlight_setLedDimming(h, value), result) << mode;
        EXPECT_EQ(key("UseLEDDimming"), stored) << mode;
    }
    EXPECT_EQ(tavik::sim::serviceReceived(), std::vector<uint32_t>{132});
    EXPECT_EQ(tavik::sim::serviceRefused(), std::vector<uint32_t>{132});
}

TEST_F(BacklightTest, TavikctlShowsAndChangesTheBacklight) {
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " backlight set 77", &out), 0) << out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " backlight auto filter 8 3 40 0", &out), 0) << out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " backlight auto on", &out), 0) << out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " --json backlight", &out), 0) << out; // ABL_k not yet written
    const auto doc = nlohmann::json::parse(out);
    EXPECT_EQ(doc["level"], 77);
    EXPECT_EQ(doc["automatic"], true);
    EXPECT_EQ(doc["filter"]["average_samples"], 8);
    EXPECT_EQ(doc["filter"]["mode"], 0);
    EXPECT_EQ(doc["parameters"]["state"], "not set");
    EXPECT_EQ(doc["led_dimming"], true);
}

} // namespace
