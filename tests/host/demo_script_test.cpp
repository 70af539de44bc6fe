// scripts/run.sh's demonstration runs on a unit of its own: the user's ~/.tavik is left alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/sim_fixture.h"

namespace {

namespace fs = std::filesystem;

TEST(DemoScriptTest, RunsOnAUnitOfItsOwnAndLeavesTheUsersUnitAlone) {
    char tmpl[] = "/tmp/tavik-user-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string user = tmpl;
    fs::create_directories(user + "/.tavik");
    { std::ofstream(user + "/.tavik/mine") << "the user's own unit"; }

    const std::string cmd = "env -u TAVIK_HOME HOME=" + user + " TAVIK_TIME_SCALE=1000 bash " +
                            std::string(TAVIK_SOURCE_DIR) + "/scripts/demo.sh " + tavik::test::binPath("tavikctl") +
                            " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << out;

    const std::string demo = fs::canonical(fs::path(tavik::test::binPath("tavikctl")).parent_path().parent_path()).string() +
                             "/demo-home";
    EXPECT_NE(out.find("simulated unit: " + demo + "\n"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(demo + "/sim/unit.db"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(user + "/.tavik")) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"mine"});
    fs::remove_all(user);
}

} // namespace
