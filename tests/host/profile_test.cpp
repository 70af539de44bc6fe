// Unit profiles: checked against the shipped schema with messages naming file and field, found
// by name among the shipped ones (beside the tools) or by path, and listed even when one is bad.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "frame/cross_process_lock.h"
#include "sim/profile_files.h"
#include "support/sim_fixture.h"

namespace {

namespace fs = std::filesystem;
using tavik::sim::json;
using tavik::test::binPath;

class ProfileTest : public tavik::test::SimTest {
protected:
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = home() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

TEST_F(ProfileTest, BadProfilesAreRefusedNamingFileAndField) {
    std::string temps = "[";
    for (int i = 0; i < 17; ++i) temps += std::string(i ? "," : "") + "{\"value\": 1}";
    const std::pair<std::string, std::string> cases[] = {
        {R"({"board": {"boards": -1}})", "board.boards"},
        {R"({"board": {"boards": 4294967295}})", "board.boards"},
        {R"({"driver": {"versions": {"ss": "1.256.0.0"}}})", "driver.versions.ss"},
        {R"({"driver": {"present": "yes"}})", "driver.present"},
        {R"({"eeprom": {"main": {"hex": "0g"}}})", "eeprom.main.hex"},
        {R"({"eeprom": {"addon": {"txt": "x"}}})", "eeprom.addon"},
        {R"({"board": {"expander": {"latch": 256}}})", "board.expander.latch"},
        {R"({"service": {"mode": "sleepy"}})", "service.mode"},
        {R"({"board": {"temperatures": )" + temps + "]}}", "board.temperatures"},
        {std::string(100000, '[') + std::string(100000, ']'), "nested deeper"},
    };
    for (const auto& [text, field] : cases) {
        const std::string file = write("bad.json", text);
        try {
            tavik::sim::Unit::readProfile(file);
            ADD_FAILURE() << "accepted: " << text.substr(0, 80);
        } catch (const std::invalid_argument& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(file + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(field), std::string::npos) << message;
        }
    }
    // The deep one through the tool: refused with the message, no crash.
    std::string out;
    EXPECT_EQ(run(binPath("tavikctl") + " sim load " + home() + "/bad.json", &out), 2) << out;
    EXPECT_NE(out.find("nested deeper"), std::string::npos) << out;

    // Sections of other models pass; every shipped profile is valid.
    EXPECT_NO_THROW(tavik::sim::Unit::readProfile(write("other.json", R"({"lighting": {"any": [1, 2]}})")));
    for (const auto& p : tavik::sim::listShippedProfiles()) EXPECT_EQ(p.error, "") << p.file;
}

// A bare name is a shipped profile even when the working folder has an entry of that name; a
// path has a slash or ends in .json. A bad file in the profile folder is named, the rest listed.
TEST_F(ProfileTest, NamesPathsAndABadShippedFile) {
    fs::create_directories(home() + "/work/default");
    write("work/mine.json", R"({"name": "mine", "oeminfo": "Image v7.7.7.7"})");
    std::string out;
    ASSERT_EQ(run("cd " + home() + "/work && " + binPath("tavikctl") + " sim load default", &out), 0) << out;
    ASSERT_EQ(run("cd " + home() + "/work && " + binPath("tavikctl") + " sim load mine.json", &out), 0) << out;
    EXPECT_EQ(unit().snapshot()["profile"], "mine");
    EXPECT_NE(run("cd " + home() + "/work && " + binPath("tavikctl") + " sim load mine", &out), 0) << out;

    fs::create_directories(home() + "/profiles");
    fs::copy_file(tavik::sim::profilePath("default"), home() + "/profiles/default.json");
    write("profiles/broken.json", R"({"driver": {"present": 1}})");
    ASSERT_EQ(run("TAVIK_PROFILE_DIR=" + home() + "/profiles " + binPath("tavikctl") + " --json sim profiles 2>&1",
                  &out),
              0)
        << out;
    const auto at = out.find("[\n");
    ASSERT_NE(at, std::string::npos) << out;
    const json list = json::parse(out.substr(at));
    ASSERT_EQ(list.size(), 2u) << out;
    EXPECT_EQ(list[0]["name"], "broken");
    EXPECT_NE(list[0]["error"].get<std::string>().find("broken.json: driver.present"), std::string::npos) << out;
    EXPECT_EQ(list[1]["name"], "default");
}

// An installed tool finds the profiles of its own installation (<prefix>/share/tavik/profiles),
// not those of the tree it was built from.
TEST_F(ProfileTest, ShippedProfilesAreFoundBesideTheInstalledTool) {
    const std::string prefix = home() + "/prefix";
    fs::create_directories(prefix + "/bin");
    fs::create_directories(prefix + "/share/tavik/profiles");
    fs::copy_file(binPath("tavikctl"), prefix + "/bin/tavikctl");
    write("prefix/share/tavik/profiles/site.json", R"({"name": "site", "description": "installed here"})");
    std::string out;
    ASSERT_EQ(run("env -u TAVIK_PROFILE_DIR " + prefix + "/bin/tavikctl sim profiles", &out), 0) << out;
    EXPECT_EQ(out, "site: installed here\n");
}

// A reset leaves no named lock of the home behind that nobody uses (they live in the home, not
// in /dev/shm).
TEST_F(ProfileTest, ResetRemovesTheHomesUnusedNamedLocks) {
    { tavik::frame::ScopedCrossProcessLock lock("JIDA_I2C"); }
    ASSERT_FALSE(fs::is_empty(home() + "/sim/locks"));
    std::string out;
    ASSERT_EQ(run(binPath("tavikctl") + " sim reset", &out), 0) << out;
    EXPECT_TRUE(fs::is_empty(home() + "/sim/locks"));
}

} // namespace
