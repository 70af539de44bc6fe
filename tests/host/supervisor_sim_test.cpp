// The simulated supervisor (health record, power outputs, non-volatile start-up configuration)
// and the tavikctl commands over the Diagnostic, Power and Config families.
#include <gtest/gtest.h>

#include <stdexcept>

#include "power/config.h"
#include "sim/driver.h"
#include "tavik2/messages.h"
#include "supervisor_test_support.h"

namespace {

using tavik::sim::json;

class SupervisorSimTest : public tavik::test::SupervisorTest {
protected:
    int tavikctl(const std::string& args, std::string* out) {
        return run(tavik::test::binPath("tavikctl") + " " + args, out);
    }
};

TEST_F(SupervisorSimTest, RefusesWhatTheSupervisorCannotHold) {
    const std::pair<const char*, const char*> refused[] = {
        {"startup.heatingRaw", "30"},     {"startup.videoStartupPower", "16"}, {"startup.startupTrigger", "0"},
        {"power.video", "16"},            {"power.buttonTransition", "7"},     {"supervisor.ssTemp", "40000"},
        {"supervisor.timer", "[1, 2, 3]"}};
    for (const auto& [path, value] : refused) {
        const json before = unit().getValue(path);
        EXPECT_THROW(unit().setValue(path, value), std::invalid_argument) << path;
        EXPECT_EQ(unit().getValue(path), before) << path;
    }
    // Writes through the driver that the supervisor refuses fail the request.
    const std::pair<uint32_t, std::vector<uint8_t>> writes[] = {
        {tavik::power::kReqSetStartupVoltage, {0xA1, 0x03}}, // raw 929: below 9.0 V
        {tavik::power::kReqSetHeatingLimit, {30, 0}},
        {tavik::power::kReqSetStartupTrigger, {0, 0}}};
    for (const auto& [code, data] : writes) {
        uint32_t returned = 0;
        EXPECT_FALSE(tavik::sim::driverDeviceControl(kDriver, code, data.data(), 2, nullptr, 0, returned)) << code;
    }
    EXPECT_EQ(unit().getValue("startup.startupVoltageRaw"), 1241);
}

TEST_F(SupervisorSimTest, PowerCycleKeepsTheStartupConfiguration) {
    std::string out;
    ASSERT_EQ(tavikctl("config set video-startup-power 5", &out), 0) << out;
    ASSERT_EQ(tavikctl("config set can-startup-power 0", &out), 0) << out;
    ASSERT_EQ(tavikctl("config set heating-limit -10", &out), 0) << out;
    ASSERT_EQ(tavikctl("power set can on", &out), 0) << out;
    const int cycles = unit().getValue("supervisor.powerCycles");
    ASSERT_EQ(tavikctl("sim power-cycle --reason 0xAA", &out), 0) << out;

    EXPECT_EQ(unit().getValue("supervisor.powerCycles"), cycles + 1);
    EXPECT_EQ(unit().getValue("power.video"), 5);
    EXPECT_EQ(unit().getValue("power.can"), 0);
    EXPECT_EQ(unit().getValue("startup.heatingRaw"), 46);
    ASSERT_EQ(tavikctl("--json diag", &out), 0) << out;
    const json doc = json::parse(out);
    EXPECT_EQ(doc["startup_reason"]["value"], 0xAA);
    EXPECT_EQ(doc["startup_reason"]["text"], "External Control Signal");
    EXPECT_EQ(doc["power_cycles"]["value"], cycles + 1);
    EXPECT_EQ(doc["pm_temp_1"]["value"], 38);
}

TEST_F(SupervisorSimTest, TavikctlShowsUnitsAndReportsRefusals) {
    std::string out;
    ASSERT_EQ(tavikctl("diag", &out), 0) << out;
    for (const char* expected : {"Supervisor temperature:", "41 °C", "Front Panel Button", "No Error"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    ASSERT_EQ(tavikctl("config", &out), 0) << out;
    EXPECT_NE(out.find("11.998 V"), std::string::npos) << out;
    EXPECT_NE(out.find("-10 °C"), std::string::npos) << out;
    ASSERT_EQ(tavikctl("power", &out), 0) << out;
    EXPECT_NE(out.find("Video power mask"), std::string::npos) << out;

    EXPECT_NE(tavikctl("config set startup-voltage 30", &out), 0);
    EXPECT_NE(out.find(GetErrorStringA(ERR_INVALID_DATA)), std::string::npos) << out;
    EXPECT_NE(tavikctl("power set video 16", &out), 0);

    loadProfile("old-firmware");
    ASSERT_EQ(tavikctl("--json config", &out), 0) << out; // refusals are shown, not failures
    const json doc = json::parse(out);
    EXPECT_EQ(doc["heating_limit"]["code"], ERR_NEWER_SS_VERSION_REQUIRED);
    EXPECT_EQ(doc["startup_voltage"]["unit"], "V");
    ASSERT_EQ(tavikctl("power", &out), 0) << out;
    EXPECT_NE(tavikctl("config set startup-trigger 1", &out), 0);
    EXPECT_NE(out.find("(25)"), std::string::npos) << out;

    loadProfile("no-driver");
    EXPECT_NE(tavikctl("diag", &out), 0);
}

} // namespace
