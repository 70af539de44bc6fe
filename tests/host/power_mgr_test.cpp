// PowerMgr family against the simulated platform service: registration states and the codes
// sent, the request and resume keys, the ready counter (one process and several), and a whole
// suspend and a shutdown cycle between application processes and `tavikctl service run`.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>

#include <atomic>
#include <limits>
#include <thread>

#include "frame/settings_file.h"
#include "power/power_mgr.h"
#include "sim/service_model.h"
#include "sim/supervisor.h"
#include "support/sim_fixture.h"
#include "tavik2/power_mgr.h"

namespace {

using Varnholtstad::PowerMgr;
using namespace tavik::power;

class PowerMgrTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        tavik::sim::setServiceSetting(kPowerMgrRunningKey, "1");
    }
    std::string setting(const char* key) { return tavik::sim::serviceSetting(key); }
    void set(const char* key, const std::string& value) { tavik::sim::setServiceSetting(key, value); }
    std::vector<uint32_t> codes() { return tavik::sim::serviceReceived(); }
};

TEST_F(PowerMgrTest, RegistrationStatesSendTheirCodes) {
    PowerMgr* h = GetPowerMgr();
    ASSERT_NE(h, nullptr);
    int32_t config = 7;
    bool resumed = false;
    EXPECT_EQ(PowerMgr_getConfiguration(h, &config), ERR_SUCCESS);
    EXPECT_EQ(config, 0);
    EXPECT_EQ(PowerMgr_hasResumed(h, &resumed), ERR_SUCCESS);
    EXPECT_TRUE(resumed);
    struct Step {
        int32_t configuration;
        ErrorCode result;
        int32_t after;
    };
    const Step steps[] = {{0, ERR_SUCCESS, 0}, {3, ERR_INVALID_PARAMETER, 0}, {-1, ERR_INVALID_PARAMETER, 0},
                          {1, ERR_SUCCESS, 1}, {1, ERR_SUCCESS, 1},             {2, ERR_INVALID_PARAMETER, 1},
                          {0, ERR_SUCCESS, 0}, {2, ERR_SUCCESS, 2},             {1, ERR_INVALID_PARAMETER, 2}};
    for (const Step& s : steps) {
        EXPECT_EQ(PowerMgr_registerControlledSuspendOrShutDown(h, s.configuration), s.result) << s.configuration;
        EXPECT_EQ(PowerMgr_getConfiguration(h, &config), ERR_SUCCESS);
        EXPECT_EQ(config, s.after);
    }
    EXPECT_EQ(codes(), (std::vector<uint32_t>{134, 133, 135}));
    PowerMgr_release(h); // registered: unregisters
    EXPECT_EQ(codes(), (std::vector<uint32_t>{134, 133, 135, 133}));
    EXPECT_EQ(PowerMgr_getConfiguration(h = GetPowerMgr(), nullptr), ERR_INVALID_PARAMETER);
    PowerMgr_release(h); // not registered: nothing
    EXPECT_EQ(codes().size(), 4u);
}

TEST_F(PowerMgrTest, RequestOutsideZeroToThreeReadsAsNone) {
    PowerMgr* h = GetPowerMgr();
    for (const auto& [text, expected] : {std::pair{"3", 3}, {"7", 0}, {"-1", 0}, {"x", 0}, {"", 0}, {"2 and more", 2}}) {
        set(kPowerMgrRequestKey, text);
        int32_t status = 9;
        EXPECT_EQ(PowerMgr_getPowerMgrStatus(h, &status), ERR_SUCCESS);
        EXPECT_EQ(status, expected) << text;
    }
    PowerMgr_release(h);
}

// The report counts up, clears "resumed" and ends the registration without a code; after the
// largest count it starts again at 1.
TEST_F(PowerMgrTest, ReadyReportCountsUpAndEndsTheRegistrationSilently) {
    PowerMgr* h = GetPowerMgr();
    ASSERT_EQ(PowerMgr_registerControlledSuspendOrShutDown(h, 1), ERR_SUCCESS);
    for (const auto& [before, after] : {std::pair{"41", "42"}, {"2147483647", "1"}, {"junk", "1"}}) {
        set(kPowerMgrReadyKey, before);
        EXPECT_EQ(PowerMgr_setAppReadyForSuspendOrShutdown(h), ERR_SUCCESS);
        EXPECT_EQ(setting(kPowerMgrReadyKey), after);
    }
    EXPECT_EQ(setting(kPowerMgrResumeKey), "0");
    bool resumed = true;
    EXPECT_EQ(PowerMgr_hasResumed(h, &resumed), ERR_SUCCESS);
    EXPECT_FALSE(resumed);
    int32_t config = 7;
    EXPECT_EQ(PowerMgr_getConfiguration(h, &config), ERR_SUCCESS);
    EXPECT_EQ(config, 0);
    PowerMgr_release(h);
    EXPECT_EQ(codes(), (std::vector<uint32_t>{134}));
}

// A ready report that the settings file does not take never reaches the service: it fails, the
// file keeps counter and "resumed", and the registration stays. The handle itself still comes.
TEST_F(PowerMgrTest, ReadyReportThatCannotBeWrittenFailsAndKeepsTheRegistration) {
    set(kPowerMgrReadyKey, "41");
    makeSettingsUnwritable();
    PowerMgr* h = GetPowerMgr();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(PowerMgr_registerControlledSuspendOrShutDown(h, 1), ERR_SUCCESS);
    const std::string before = settingsBytes();
    EXPECT_EQ(PowerMgr_setAppReadyForSuspendOrShutdown(h), ERR_DEVICE_WRITE_DATA_FAILED);
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(setting(kPowerMgrReadyKey), "41");
    int32_t config = 0;
    EXPECT_EQ(PowerMgr_getConfiguration(h, &config), ERR_SUCCESS);
    EXPECT_EQ(config, 1);
    PowerMgr_release(h);
}

// A service that sees a report must never see "resumed" still set by it: it would resume, and the
// late clear would leave the application waiting for ever.
TEST_F(PowerMgrTest, ReadyReportClearsResumedBeforeTheCountShows) {
    PowerMgr* h = GetPowerMgr();
    set(kPowerMgrReadyKey, "0");
    std::atomic<bool> done{false};
    int stale = 0;
    std::thread service([&] {
        while (!done.load()) {
            tavik::frame::SettingsFile store;
            store.load();
            if (store.get(kPowerMgrReadyKey) != "0" && store.get(kPowerMgrResumeKey) != "0") ++stale;
        }
    });
    for (int i = 0; i < 200; ++i) {
        set(kPowerMgrReadyKey, "0");
        set(kPowerMgrResumeKey, "1");
        EXPECT_EQ(PowerMgr_setAppReadyForSuspendOrShutdown(h), ERR_SUCCESS);
    }
    done.store(true);
    service.join();
    EXPECT_EQ(stale, 0);
    PowerMgr_release(h);
}

TEST_F(PowerMgrTest, ReadyReportsOfSeveralProcessesAreNeverLost) {
    constexpr int kProcesses = 4, kReports = 25;
    std::vector<std::thread> apps;
    std::vector<int> status(kProcesses, -1);
    for (int i = 0; i < kProcesses; ++i)
        apps.emplace_back([&, i] { status[i] = run(tavik::test::binPath("powermgr_ready") + " " + std::to_string(kReports)); });
    for (std::thread& t : apps) t.join();
    for (int s : status) EXPECT_EQ(s, 0);
    EXPECT_EQ(setting(kPowerMgrReadyKey), std::to_string(kProcesses * kReports));
}

// Without the service the factory gives up after its 20 readings and still works.
TEST_F(PowerMgrTest, AbsentServiceIsNoError) {
    set(kPowerMgrRunningKey, "0");
    tavik::sim::setServiceMode("absent");
    PowerMgr* h = GetPowerMgr();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(PowerMgr_registerControlledSuspendOrShutDown(h, 2), ERR_SUCCESS);
    PowerMgr_release(h);
    EXPECT_EQ(setting(kPowerMgrResumeKey), "1");
}

// `tavikctl service run` and two applications, each in its own process: both report ready, the unit
// suspends (or shuts down: a power cycle of the supervisor) and comes back; both see the resume
// and exit.
TEST_F(PowerMgrTest, WholeCycleBetweenServiceAndTwoApplications) {
    const std::string ctl = tavik::test::binPath("tavikctl");
    for (const auto& [request, powerCycles] : {std::pair{"suspend", 0}, std::pair{"shutdown", 1}}) {
        SCOPED_TRACE(request);
        set(kPowerMgrRunningKey, "0");
        set(kPowerMgrReadyKey, "0");
        tavik::sim::clearServiceReceived();
        const int64_t cycles = unit().getValue("supervisor.powerCycles").get<int64_t>();
        // `service run` in its own process, stopped with SIGTERM once the cycle is over.
        const std::string out = home() + "/service.out";
        const std::string env = "TAVIK_HOME=" + home();
        char* const argv[] = {const_cast<char*>(ctl.c_str()), const_cast<char*>("service"), const_cast<char*>("run"), nullptr};
        char* const envp[] = {const_cast<char*>(env.c_str()), const_cast<char*>("TAVIK_TIME_SCALE=1000"), nullptr};
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t service = -1;
        ASSERT_EQ(posix_spawn(&service, ctl.c_str(), &files, nullptr, argv, envp), 0);
        posix_spawn_file_actions_destroy(&files);
        for (int i = 0; i < 2000 && setting(kPowerMgrRunningKey) != "1"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::vector<int> appStatus(2, -1);
        std::vector<std::string> appOut(2);
        std::vector<std::thread> apps;
        for (int i = 0; i < 2; ++i)
            apps.emplace_back([&, i] {
                appStatus[i] = run(ctl + " --json powermgr watch --config " + std::to_string(i + 1) + " --timeout 3600",
                                   &appOut[i]);
            });
        // Both registered with the running service, then the request.
        for (int i = 0; i < 2000 && tavik::sim::serviceReceived().size() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(run(ctl + " service " + request), 0);
        for (std::thread& t : apps) t.join();
        ::kill(service, SIGTERM);
        int serviceStatus = -1;
        ::waitpid(service, &serviceStatus, 0);
        std::ifstream in(out);
        const std::string serviceOut((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(appStatus[i], 0) << appOut[i];
            EXPECT_NE(appOut[i].find("\"resumed\": true"), std::string::npos) << appOut[i];
        }
        EXPECT_TRUE(WIFEXITED(serviceStatus) && WEXITSTATUS(serviceStatus) == 0) << serviceOut;
        EXPECT_NE(serviceOut.find("2 application(s) ready"), std::string::npos) << serviceOut;
        EXPECT_EQ(unit().getValue("supervisor.powerCycles").get<int64_t>(), cycles + powerCycles);
        if (powerCycles > 0) EXPECT_EQ(unit().getValue("supervisor.startupReason"), tavik::sim::kStartupFrontButton);
        EXPECT_EQ(setting(kPowerMgrReadyKey), "2");
        EXPECT_EQ(setting(kPowerMgrRequestKey), "0");
        EXPECT_EQ(setting(kPowerMgrResumeKey), "1");
        EXPECT_EQ(setting(kPowerMgrRunningKey), "0");
    }
}

} // namespace
