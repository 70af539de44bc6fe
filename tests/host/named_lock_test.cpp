// Named locks of the host build across processes: a lock whose holder was killed is free again,
// and `tavikctl sim locks` names the holder while it lives.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <string>

#include "frame/cross_process_lock.h"
#include "support/sim_fixture.h"

namespace {

class NamedLockTest : public tavik::test::SimTest {};

TEST_F(NamedLockTest, ALockHeldByAKilledProcessIsFreeAgain) {
    constexpr const char* kName = "FILE_TAVIKINI_IS_IN_USE";
    const std::string cmd = "TAVIK_HOME='" + home() + "' exec " + tavik::test::binPath("lock_holder") + " " + kName;
    FILE* holder = ::popen(cmd.c_str(), "r");
    ASSERT_NE(holder, nullptr);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, holder), nullptr);
    ASSERT_STREQ(line, "held\n");

    {
        tavik::frame::ScopedCrossProcessLock busy(kName, 0);
        EXPECT_TRUE(busy.timedOut());
    }
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " --json sim locks", &out), 0) << out;
    const auto locks = tavik::sim::json::parse(out);
    pid_t pid = 0;
    for (const auto& l : locks) {
        if (l["name"] != kName || l["holders"].size() != 1) continue;
        pid = l["holders"][0]["pid"].get<pid_t>();
        EXPECT_EQ(l["holders"][0]["program"], "lock_holder") << out;
    }
    ASSERT_GT(pid, 0) << out;

    ::kill(pid, SIGKILL);
    ::pclose(holder);
    tavik::frame::ScopedCrossProcessLock after(kName, 5000);
    EXPECT_TRUE(after.held());
}

} // namespace
