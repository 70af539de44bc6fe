// tavikctl as a new user meets it: one exit-status policy for every command group (0 done,
// 1 refused, 2 command line not understood, 3 unit not reached), messages that name what was not
// understood, and values that must be refused.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "support/sim_fixture.h"

namespace {

using tavik::test::binPath;
using nlohmann::json;

struct Case {
    const char* setup; // a tavikctl command run first ("" for none); the unit is reset after
    const char* args;
    int status;
    std::vector<const char*> says; // fragments of the output
};

class TavikctlCliTest : public tavik::test::SimTest {
protected:
    // Runs tavikctl (bounded in time) with `args`; its exit status, output in `out`.
    int ctl(const std::string& args, std::string* out = nullptr) {
        return run("timeout 60 " + binPath("tavikctl") + " " + args, out);
    }
    void expectAll(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            if (*c.setup != 0) {
                ASSERT_EQ(ctl(c.setup), 0) << c.setup;
            }
            std::string out;
            EXPECT_EQ(ctl(c.args, &out), c.status) << c.args << "\n" << out;
            for (const char* s : c.says)
                EXPECT_NE(out.find(s), std::string::npos) << c.args << ": " << s << "\n" << out;
            if (*c.setup != 0) {
                ASSERT_EQ(ctl("sim reset"), 0);
            }
        }
    }
};

// The policy, per command group: a refusal of the library (1), a command line or value that is
// wrong (2), a unit that cannot be reached (3), and overviews of a unit that lacks parts (0).
TEST_F(TavikctlCliTest, EveryCommandGroupFollowsTheExitStatusPolicy) {
    expectAll({
        // A new home: the settings are not written yet, which is no failure.
        {"", "backlight", 0, {"not set"}},
        {"", "--json backlight", 0, {"\"not set\""}},
        {"", "status --json", 0, {"\"powermgr_service\""}},
        {"", "settings get nothing", 1, {"not set"}},
        {"", "buzzer set --frequency 699", 1, {"(9)"}},
        {"", "error 7", 0, {}},
        // Overviews of a unit that lacks features exit 0; a single refused request exits 1.
        {"sim load old-firmware", "touch", 0, {"error 27"}},
        {"sim load old-firmware", "battery", 0, {"error 25"}},
        // Without the driver nothing of the unit is reached.
        {"sim load no-driver", "diag", 3, {"error 1"}},
        {"sim load no-driver", "backlight set 10", 3, {"(1)"}},
        {"sim load no-driver", "--json status", 3, {"\"unavailable\""}},
        {"sim service mode absent", "service shutdown", 3, {"(1)"}},
        // Values and command lines that are not understood.
        {"", "sim set buzzer.volume 52", 2, {"buzzer.volume"}},
        {"", "sim load /nonexistent/profile.json", 2, {"profile.json"}},
        {"", "backlight set 256", 2, {"256"}},
        {"", "diag --nope", 2, {"unknown option \"--nope\""}},
        {"", "can set", 2, {"tavikctl can set: "}},
    });
}

// Every group refuses an unknown option with status 2 and names it.
TEST_F(TavikctlCliTest, EveryGroupNamesAnUnknownOption) {
    std::string help;
    ASSERT_EQ(ctl("--help", &help), 0);
    EXPECT_NE(help.find("Exit status: 0 done"), std::string::npos) << help;
    std::istringstream lines(help.substr(help.find("Subcommands:")));
    std::string line;
    std::getline(lines, line);
    int groups = 0;
    while (std::getline(lines, line) && line.size() > 2 && line[0] == ' ') {
        const std::string group = line.substr(line.find_first_not_of(' '), line.find(' ', 2) - 2);
        std::string out;
        EXPECT_EQ(ctl(group + " --no-such-option", &out), 2) << group << "\n" << out;
        EXPECT_NE(out.find("tavikctl " + group + ": unknown option \"--no-such-option\""), std::string::npos) << out;
        ++groups;
    }
    EXPECT_GE(groups, 25);
}

// What was not understood is named, with the commands that would be and a hint of the right form.
TEST_F(TavikctlCliTest, UsageErrorsSayWhatWasNotUnderstood) {
    expectAll({
        {"", "", 2, {"tavikctl: a command is needed", "Commands of tavikctl: ", "backlight"}},
        {"", "nosuchcommand", 2, {"\"nosuchcommand\" is not a command", "Commands of tavikctl: "}},
        {"", "BACKLIGHT", 2, {"Did you mean: tavikctl backlight"}},
        {"", "abl --bogus", 2, {"tavikctl abl: unknown option \"--bogus\"", "Commands of tavikctl abl: "}},
        {"", "backlight 50", 2, {"Did you mean: tavikctl backlight set 50"}},
        {"", "led set green", 2, {"Did you mean: tavikctl led set --color green"}},
        {"", "sim fault add --action reply", 2, {"--reply"}},
        {"", "light average --for nan", 2, {"--for", "nan"}},
        {"", "light average --for inf", 2, {"--for"}},
        {"", "sim log --last -1", 2, {"--last"}},
        {"", "powermgr watch --timeout nan", 2, {"--timeout"}},
    });
    // The missing firmware file is named before any job starts.
    std::string out;
    EXPECT_EQ(ctl("firmware upgrade fpga " + home() + "/missing.hex", &out), 2) << out;
    EXPECT_NE(out.find("missing.hex"), std::string::npos) << out;
    EXPECT_EQ(out.find("Preparing"), std::string::npos) << out;
    EXPECT_EQ(out.find('%'), std::string::npos) << out;
}

// --json after the command, and a reply of no bytes (users' scripts use it): the request succeeds
// and writes nothing.
TEST_F(TavikctlCliTest, JsonAfterTheCommandAndAnEmptyReply) {
    std::string out;
    ASSERT_EQ(ctl("sim fault add --code 0x2224F4 --action reply --reply '' --times 1 --json", &out), 0) << out;
    EXPECT_EQ(json::parse(out)["reply"], "");
    ASSERT_EQ(ctl("sim log --clear"), 0);
    ASSERT_EQ(ctl("sim fault list --json", &out), 0) << out;
    EXPECT_EQ(json::parse(out).size(), 1u);
    ctl("versions --json", &out); // reads the version the fault answers
    ASSERT_EQ(ctl("sim log --json --code 0x2224F4", &out), 0) << out;
    const json log = json::parse(out);
    ASSERT_FALSE(log.empty()) << out;
    EXPECT_EQ(log[0]["ok"], true) << out;
    EXPECT_EQ(log[0]["out"], "") << out;
    EXPECT_EQ(log[0]["returned"], 0) << out;
}

} // namespace
