// End to end: `tavikctl service run` hosts the automatic backlight controller in its own process,
// as the unit's platform service does; this process drives it as an application would.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>

#include "frame/settings_file.h"
#include "lighting/backlight_controller.h"
#include "lighting_test_support.h"
#include "power/power_mgr.h"
#include "support/sim_fixture.h"
#include "tavik2/backlight.h"
#include "tavik2/lightsensor.h"

extern char** environ;

namespace {

using tavik::test::sensedLux;
using tavik::test::waitUntil;

// A child process of the build's bin folder with this unit's home and compressed time; its
// standard output and error are read through a pipe.
class Child {
public:
    Child(const std::string& home, const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        std::vector<std::string> env{"TAVIK_HOME=" + home, "TAVIK_TIME_SCALE=1000"};
        for (char** e = environ; *e != nullptr; ++e)
            if (std::strncmp(*e, "TAVIK_HOME=", 11) != 0 && std::strncmp(*e, "TAVIK_TIME_SCALE=", 17) != 0)
                env.emplace_back(*e);
        std::vector<char*> envp, argv;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> all{tavik::test::binPath("tavikctl")};
        all.insert(all.end(), args.begin(), args.end());
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& output() const { return output_; }

    // Reads output until it contains `text` or the output ends; false after 30 s.
    bool waitFor(const std::string& text) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (output_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until || !readSome()) return false;
        }
        return true;
    }
    // Sends the signal, reads the rest of the output and returns the exit status (-1: no exit).
    int stop(int signal) {
        ::kill(pid_, signal);
        while (readSome()) {
        }
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool readSome() {
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, 100) < 0) return false;
        if (!(p.revents & (POLLIN | POLLHUP))) return true; // nothing yet
        char buf[512];
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0) return false;
        output_.append(buf, static_cast<size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

class ServiceRunTest : public tavik::test::SimTest {
protected:
    std::string key(const std::string& name) {
        tavik::frame::SettingsFile store;
        store.load();
        return store.get(name);
    }
    int level() { return unit().getValue("backlight.level").get<int>(); }
};

TEST_F(ServiceRunTest, HostedControllerLearnsFromAManualLevelAndStopsCleanly) {
    Child service(home(), {"service", "run"});
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(service.waitFor("automatic backlight controller started")) << service.output();

    // Dusk to 100 lux over 2 s of unit time, then steady.
    tavik::sim::startLightScript(nlohmann::json::array({nlohmann::json::array({0, 20}), nlohmann::json::array({2, 100})}));
    Varnholtstad::Backlight* bl = GetBacklight();
    ASSERT_NE(bl, nullptr);
    ASSERT_EQ(Backlight_setAutomaticBLFilter(bl, 1, 0, 50, 0), ERR_SUCCESS);
    ASSERT_EQ(Backlight_setAutomaticBLParams(bl, false), ERR_SUCCESS);
    ASSERT_EQ(Backlight_startAutomaticBL(bl), ERR_SUCCESS);

    const double lux = sensedLux(100);
    const int modelTarget = tavik::lighting::levelFromModel(tavik::lighting::modelLevel(50, lux));
    ASSERT_TRUE(waitUntil([&] { return level() == modelTarget; })) << "level " << level();
    EXPECT_EQ(key("ABL_k"), "50");

    // The user's choice at this light becomes the model's: k is learnt and stored.
    ASSERT_EQ(Backlight_setIntensity(bl, 120), ERR_SUCCESS);
    std::string learnt;
    ASSERT_EQ(tavik::frame::formatDouble(tavik::lighting::learnedK(120, lux), learnt), ERR_SUCCESS);
    ASSERT_TRUE(waitUntil([&] { return key("ABL_k") == learnt; })) << key("ABL_k") << " expected " << learnt;
    EXPECT_EQ(level(), 120);
    Backlight_release(bl);

    EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
    EXPECT_NE(service.output().find("SIGTERM: service stopped"), std::string::npos) << service.output();
    EXPECT_NE(service.output().find("averaging lock released"), std::string::npos) << service.output();

    // The averaging the controller ran is over: another may start at once.
    Varnholtstad::Lightsensor* ls = GetLightsensor();
    EXPECT_EQ(Lightsensor_startAverageCalc(ls, 5, 5, 50, 2), ERR_SUCCESS);
    Lightsensor_release(ls);
}

// SIGINT stops the service as well; with --json each event is one line of JSON.
TEST_F(ServiceRunTest, InterruptStopsAnIdleService) {
    Child service(home(), {"--json", "service", "run"});
    ASSERT_TRUE(service.waitFor("\"started\"")) << service.output();
    EXPECT_EQ(service.stop(SIGINT), 0);
    EXPECT_NE(service.output().find("\"averaging_lock_free\":true"), std::string::npos) << service.output();
    EXPECT_NE(service.output().find("\"signal\":\"SIGINT\""), std::string::npos) << service.output();
}

// One platform service per home: a second start names the running one and fails; a killed service
// frees the home and is seen as not running by the library, although its key still says running.
TEST_F(ServiceRunTest, OneServicePerHomeAndAKilledOneIsSeenAsStopped) {
    const std::string ctl = "timeout 30 " + tavik::test::binPath("tavikctl");
    Child first(home(), {"powermgr", "service"});
    ASSERT_TRUE(first.waitFor("power manager running")) << first.output();
    EXPECT_TRUE(tavik::power::powerMgrServiceRunning());
    for (const char* second : {" service run", " powermgr service"}) {
        std::string out;
        EXPECT_EQ(run(ctl + second, &out), 1) << second << ": " << out;
        EXPECT_NE(out.find("already runs in process " + std::to_string(first.pid())), std::string::npos) << out;
    }

    first.stop(SIGKILL);
    EXPECT_EQ(key(tavik::power::kPowerMgrRunningKey), "1"); // nobody cleared it
    EXPECT_FALSE(tavik::power::powerMgrServiceRunning());
    std::string out;
    EXPECT_EQ(run(ctl + " powermgr register 1", &out), 3) << out;
    EXPECT_NE(out.find("no power-manager service runs"), std::string::npos) << out;
    EXPECT_EQ(run(ctl + " powermgr watch --timeout 3600", &out), 3) << out;
    ASSERT_EQ(run(ctl + " --json status", &out), 0) << out;
    EXPECT_EQ(nlohmann::json::parse(out)["power"]["powermgr_service"]["value"], false) << out;

    Child next(home(), {"service", "run"});
    ASSERT_TRUE(next.waitFor("service running")) << next.output();
    EXPECT_TRUE(tavik::power::powerMgrServiceRunning());
    EXPECT_EQ(next.stop(SIGTERM), 0) << next.output();
    EXPECT_FALSE(tavik::power::powerMgrServiceRunning());
}

} // namespace
