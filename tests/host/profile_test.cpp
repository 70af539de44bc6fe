// Unit profiles: checked against the shipped schema with messages naming file and field, found
// by name among the shipped ones (beside the tools) or by path, and listed even when one is bad.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "frame/cross_process_lock.h"
#include "sim/profile_files.h"
#include "sim/profile_schema.h"
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

    // Too deep a nesting names the path of keys down to the level past the limit, whatever the
    // section (here one the schema does not know).
    std::string deep = "1", field = "x"; // 33 keys and indices: x, then a and [0] 16 times
    for (int i = 0; i < 40; ++i) deep = R"({"a": [)" + deep + "]}";
    for (int i = 0; i < 16; ++i) field += ".a[0]";
    EXPECT_EQ(run(binPath("tavikctl") + " sim load " + write("deep.json", R"({"x": )" + deep + "}"), &out), 2);
    EXPECT_NE(out.find("deep.json: " + field + ": nested deeper than 32 levels"), std::string::npos) << out;

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

// Every field the schema checks is in the table of docs/simulator.md, and every field documented
// there is accepted by the schema (the model reads documented fields the schema once refused).
TEST_F(ProfileTest, DocumentedFieldsAndSchemaAgree) {
    std::ifstream docs(std::string(TAVIK_SOURCE_DIR) + "/docs/simulator.md");
    ASSERT_TRUE(docs) << "docs/simulator.md";
    std::set<std::string> documented;
    std::string line;
    bool inTable = false;
    while (std::getline(docs, line)) {
        if (line.rfind("### ", 0) == 0 || line.rfind("## ", 0) == 0) inTable = line == "### The checked fields";
        if (inTable && line.rfind("| `", 0) == 0) documented.insert(line.substr(3, line.find('`', 3) - 3));
    }

    const json& schema = tavik::sim::profileSchema();
    std::set<std::string> checked;
    // Walks properties, list items and alternatives, following references into "definitions".
    std::function<void(const json&, const std::string&)> walk = [&](const json& node, const std::string& path) {
        if (node.contains("$ref")) {
            const std::string ref = node["$ref"];
            return walk(schema["definitions"][ref.substr(ref.rfind('/') + 1)], path);
        }
        for (const char* alternatives : {"oneOf", "anyOf"})
            if (node.contains(alternatives))
                for (const json& a : node[alternatives]) walk(a, path);
        if (node.contains("items") && node["items"].is_object()) walk(node["items"], path + "[]");
        if (node.contains("properties"))
            for (const auto& [key, sub] : node["properties"].items()) {
                const std::string field = (path.empty() ? "" : path + ".") + key;
                checked.insert(field);
                walk(sub, field);
            }
    };
    walk(schema, "");
    EXPECT_GT(checked.size(), 30u);
    for (const std::string& f : checked) EXPECT_TRUE(documented.count(f)) << f << " is checked but not documented";
    for (const std::string& f : documented) EXPECT_TRUE(checked.count(f)) << f << " is documented but not checked";

    // The telematics fields of the expander load, and the model takes them.
    std::string out;
    ASSERT_EQ(run(binPath("tavikctl") + " sim load " +
                      write("modem.json", R"({"board": {"expander": {"latch": 128, "direction": 0, "modem_on": true,
                                                                     "gps_antenna": false}}})"),
                  &out),
              0)
        << out;
    EXPECT_EQ(unit().getValue("board.expander.modem.on"), true);
    EXPECT_EQ(unit().getValue("board.expander.gps_antenna"), false);
}

} // namespace
