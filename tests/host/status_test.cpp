// tavikctl status: a complete overview on every shipped profile, units on every number, absent
// parts as "not fitted", a missing driver as "unavailable", and no change to the unit.
#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include "support/sim_fixture.h"

namespace {

using nlohmann::json;
using tavik::test::binPath;

class StatusTest : public tavik::test::SimTest {
protected:
    json status() {
        std::string out;
        EXPECT_EQ(run(binPath("tavikctl") + " --json status", &out), 0) << out;
        return json::parse(out.substr(out.find('{')));
    }
};

// Every value is a value with its unit (numbers) or a state; none is an error.
void checkComplete(const json& doc, const std::string& profile) {
    for (const char* group : {"identity", "versions", "power", "signals", "video", "firmware"})
        EXPECT_TRUE(doc.contains(group)) << profile << ": no group " << group;
    for (const auto& [group, items] : doc.items())
        for (const auto& [key, item] : items.items()) {
            const std::string where = profile + ": " + group + "." + key;
            if (item.contains("state")) {
                EXPECT_NE(item["state"], "error") << where << " " << item.dump();
                continue;
            }
            ASSERT_TRUE(item.contains("value")) << where;
            if (item["value"].is_number()) {
                EXPECT_TRUE(item.contains("unit")) << where << " has no unit";
            }
        }
}

TEST_F(StatusTest, CompleteOnEveryShippedProfileAndChangesNothing) {
    for (const auto& entry : std::filesystem::directory_iterator(tavik::sim::Unit::profileDirectory())) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() != ".json") continue;
        loadProfile(name);
        // Any read moves the EEPROMs' address pointers and the log sequence; nothing else may change.
        const auto state = [this] {
            json s = unit().snapshot();
            s.erase("seq");
            for (auto& [board, eeprom] : s["board"]["eeprom"].items()) eeprom.erase("pointer");
            return s;
        };
        const json before = state();
        const json doc = status();
        const json after = state();
        EXPECT_EQ(before, after) << name << ": status changed the unit: " << json::diff(before, after).dump();
        checkComplete(doc, name);
    }
}

TEST_F(StatusTest, AbsentPartsAreNotFittedAndValuesCarryUnits) {
    json doc = status();
    EXPECT_EQ(doc["identity"]["unit_serial"]["value"], "U7654321");
    EXPECT_EQ(doc["identity"]["can"]["unit"], "ports");
    EXPECT_EQ(doc["power"]["ss_temp"]["unit"], "°C");
    EXPECT_EQ(doc["signals"]["can1_bitrate"]["unit"], "kbit/s");
    EXPECT_EQ(doc["versions"]["ss"]["value"], "1.3.0.0");

    loadProfile("no-display");
    doc = status();
    EXPECT_EQ(doc["signals"]["touch"]["state"], "not fitted");

    loadProfile("no-driver");
    doc = status();
    EXPECT_EQ(doc["versions"]["ss"]["state"], "unavailable");
    EXPECT_EQ(doc["versions"]["library"]["value"], "2.4.0.0");
}

} // namespace
