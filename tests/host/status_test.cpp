// tavikctl status: a complete overview on every shipped profile, units on every number, absent
// parts as "not fitted", a missing driver as "unavailable", and no change to the unit.
#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include "firmware/firmware_upgrade.h"
#include "platform/host/named_locks.h"
#include "support/sim_fixture.h"

namespace {

using nlohmann::json;
using tavik::test::binPath;

class StatusTest : public tavik::test::SimTest {
protected:
    // `expected`: the exit status, 3 for a unit whose driver cannot be reached.
    json status(int expected = 0) {
        std::string out;
        EXPECT_EQ(run(binPath("tavikctl") + " --json status", &out), expected) << out;
        return json::parse(out.substr(out.find('{')));
    }
};

// Whether a value is a number or holds numbers (a list of counters, the parts of a colour).
bool numeric(const json& v) {
    if (v.is_number()) return true;
    if (v.is_array() || v.is_object())
        for (const auto& part : v)
            if (numeric(part)) return true;
    return false;
}

// Every value is a value with its unit (numbers) or a state; none is an error.
void checkComplete(const json& doc, const std::string& profile) {
    for (const char* group : {"identity", "versions", "power", "lighting", "signals", "io", "telematics", "battery",
                              "video", "firmware"})
        EXPECT_TRUE(doc.contains(group)) << profile << ": no group " << group;
    for (const auto& [group, items] : doc.items())
        for (const auto& [key, item] : items.items()) {
            const std::string where = profile + ": " + group + "." + key;
            if (item.contains("state")) {
                EXPECT_NE(item["state"], "error") << where << " " << item.dump();
                continue;
            }
            ASSERT_TRUE(item.contains("value")) << where;
            if (numeric(item["value"])) {
                EXPECT_TRUE(item.contains("unit")) << where << " has no unit";
            }
        }
}

TEST_F(StatusTest, CompleteOnEveryShippedProfileAndChangesNothing) {
    for (const auto& entry : std::filesystem::directory_iterator(tavik::sim::Unit::profileDirectory())) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() != ".json") continue;
        loadProfile(name);
        // Any read moves the EEPROMs' and the port expander's register pointers and the log
        // sequence; nothing else may change.
        const auto state = [this] {
            json s = unit().snapshot();
            s.erase("seq");
            for (auto& [board, eeprom] : s["board"]["eeprom"].items()) eeprom.erase("pointer");
            s["board"]["expander"].erase("pointer");
            return s;
        };
        const json before = state();
        const json doc = status(name == "no-driver" ? 3 : 0); // a unit whose driver cannot be reached
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
    EXPECT_EQ(doc["io"]["can1_bitrate"]["unit"], "kbit/s");
    EXPECT_EQ(doc["versions"]["ss"]["value"], "1.3.0.0");

    loadProfile("no-display");
    doc = status();
    EXPECT_EQ(doc["io"]["touch"]["state"], "not fitted");
    EXPECT_EQ(doc["lighting"]["backlight"]["state"], "not fitted");
    EXPECT_EQ(doc["signals"]["buzzer_frequency"]["state"], "not fitted");

    loadProfile("no-telematics");
    EXPECT_EQ(status()["telematics"]["modules"]["state"], "not fitted");

    loadProfile("no-battery");
    doc = status();
    EXPECT_EQ(doc["battery"]["battery"]["state"], "not fitted");
    EXPECT_EQ(doc["battery"]["storage_life"]["unit"], "%");

    loadProfile("no-driver");
    doc = status(3);
    EXPECT_EQ(doc["versions"]["ss"]["state"], "unavailable");
    EXPECT_EQ(doc["versions"]["library"]["value"], "2.4.0.0");
}

// Once the telematics port is set up, status reads the modules through the family; the power
// manager's side comes from the settings file without an object (which would mark the unit resumed);
// a firmware job is seen in its lock, which is looked at and never taken (a job that another
// process starts meanwhile would be refused).
TEST_F(StatusTest, ReadsTelematicsPowerManagerAndFirmwareJobWithoutChangingThem) {
    ASSERT_EQ(run(binPath("tavikctl") + " telematics set wlan on"), 0);
    ASSERT_EQ(run(binPath("tavikctl") + " settings set PowerMgrReq 2"), 0);
    const json before = unit().snapshot()["board"]["expander"]["registers"];
    const json doc = status();
    EXPECT_EQ(unit().snapshot()["board"]["expander"]["registers"], before);
    EXPECT_EQ(doc["telematics"]["supply"]["value"], true);
    EXPECT_EQ(doc["telematics"]["wlan_power"]["value"], true);
    EXPECT_EQ(doc["telematics"]["gprs_power"]["value"], false);
    EXPECT_EQ(doc["telematics"]["bt_startup_power"]["value"], false);
    EXPECT_EQ(doc["power"]["powermgr_request"]["value"], 2);
    EXPECT_EQ(doc["power"]["powermgr_service"]["value"], false);
    EXPECT_NE(run(binPath("tavikctl") + " settings get PowerMgrResume"), 0) << "status marked the unit resumed";
    ASSERT_EQ(run(binPath("tavikctl") + " firmware status"), 0);
    for (const auto& lock : tavik::platform::host::listNamedLocks())
        EXPECT_NE(lock.name, tavik::firmware::kUpgradeInProgressLock) << "the firmware job's lock was taken";
}

} // namespace
