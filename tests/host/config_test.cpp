// The Config family through its exported functions, against the simulated supervisor's start-up
// configuration.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "frame/handle.h"
#include "power/config.h"
#include "supervisor_test_support.h"
#include "tavik2/config.h"

namespace {

using namespace tavik::power;
using Varnholtstad::Config;

class ConfigTest : public tavik::test::SupervisorTest {
protected:
    void TearDown() override {
        while (tavik::frame::SharedInstance<Config_Imp>::count() > 0) Config_release(h_);
        SupervisorTest::TearDown();
    }
    // The shared object, built anew over the unit as it is now.
    Config* config() {
        while (tavik::frame::SharedInstance<Config_Imp>::count() > 0) Config_release(h_);
        h_ = GetConfig();
        return h_;
    }
    void setSs(const std::string& version) { unit().setValue("driver.versions.ss", "\"" + version + "\""); }
    // Bytes written by the last request `code`.
    std::vector<uint8_t> lastWrite(uint32_t code) {
        const auto log = sent(code);
        return log.empty() ? std::vector<uint8_t>{} : log.back().in;
    }

    Config* h_ = nullptr;
};

TEST_F(ConfigTest, StartupVoltageConversionsAtTheirLimits) {
    ASSERT_NE(config(), nullptr);
    double volts = 0;
    reply(kReqGetStartupVoltage, "d904"); // 1241
    ASSERT_EQ(Config_getStartupVoltageConfig(h_, &volts), ERR_SUCCESS);
    EXPECT_DOUBLE_EQ(volts, 1241 * 33.0 * 12.0 / 40960.0);
    reply(kReqGetStartupVoltage, "f401"); // 500: 4.83 V reads as the minimum
    ASSERT_EQ(Config_getStartupVoltageConfig(h_, &volts), ERR_SUCCESS);
    EXPECT_EQ(volts, 9.0);

    struct Case {
        double volts;
        ErrorCode expected;
        int raw;
    };
    const Case cases[] = {{24.0, ERR_SUCCESS, 2482}, {9.0, ERR_SUCCESS, 930}, {28.0, ERR_SUCCESS, 2896},
                          {8.99, ERR_INVALID_DATA, -1}, {28.01, ERR_INVALID_DATA, -1},
                          {std::numeric_limits<double>::quiet_NaN(), ERR_INVALID_DATA, -1}};
    for (const Case& c : cases) {
        const size_t before = sent(kReqSetStartupVoltage).size();
        EXPECT_EQ(Config_setStartupVoltageConfig(h_, c.volts), c.expected) << c.volts;
        if (c.raw < 0) {
            EXPECT_EQ(sent(kReqSetStartupVoltage).size(), before) << c.volts;
        } else {
            EXPECT_EQ(lastWrite(kReqSetStartupVoltage), bytes({uint8_t(c.raw), uint8_t(c.raw >> 8)}));
            EXPECT_EQ(unit().getValue("startup.startupVoltageRaw"), c.raw);
        }
    }
}

TEST_F(ConfigTest, HeatingLimitConversionsAndTheFittedCheck) {
    ASSERT_NE(config(), nullptr);
    ASSERT_EQ(Config_setHeatingTempLimit(h_, -25), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetHeatingLimit), bytes({31, 0}));
    ASSERT_EQ(Config_setHeatingTempLimit(h_, 5), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetHeatingLimit), bytes({61, 0}));
    int16_t limit = 0;
    ASSERT_EQ(Config_getHeatingTempLimit(h_, &limit), ERR_SUCCESS);
    EXPECT_EQ(limit, 5);

    const size_t requestsBefore = requests().size();
    EXPECT_EQ(Config_setHeatingTempLimit(h_, 6), ERR_INVALID_DATA);
    EXPECT_EQ(Config_setHeatingTempLimit(h_, -26), ERR_INVALID_DATA);
    EXPECT_EQ(requests().size(), requestsBefore); // refused before any request

    reply(kReqGetHeatingLimit, "1e00"); // 30: odd, but only 0xFFFF refuses the set
    ASSERT_EQ(Config_setHeatingTempLimit(h_, 0), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetHeatingLimit), bytes({56, 0}));
    limit = 99;
    reply(kReqGetHeatingLimit, "1e00");
    EXPECT_EQ(Config_getHeatingTempLimit(h_, &limit), ERR_INVALID_DATA);
    EXPECT_EQ(limit, 99);

    unit().setValue("startup.heatingRaw", "65535");
    EXPECT_EQ(Config_getHeatingTempLimit(h_, &limit), ERR_NOT_SUPPORTED);
    const size_t writes = sent(kReqSetHeatingLimit).size();
    EXPECT_EQ(Config_setHeatingTempLimit(h_, 0), ERR_NOT_SUPPORTED);
    EXPECT_EQ(sent(kReqSetHeatingLimit).size(), writes);
}

TEST_F(ConfigTest, RecordTimesAndTheFrontButtonReadModifyWrite) {
    ASSERT_NE(config(), nullptr);
    reply(kReqGetFrontBtnTrigTime, "01006400");
    ASSERT_EQ(Config_setFrontBtnTrigTime(h_, 300), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetFrontBtnTrigTime), bytes({0x01, 0x00, 0x2C, 0x01}));
    uint16_t time = 0;
    ASSERT_EQ(Config_getFrontBtnTrigTime(h_, &time), ERR_SUCCESS);
    EXPECT_EQ(time, 300);

    // A failed read writes nothing.
    failRequest(kReqGetFrontBtnTrigTime);
    EXPECT_EQ(Config_setFrontBtnTrigTime(h_, 5), ERR_IOCTRL_FAILED);
    returnCount(kReqGetFrontBtnTrigTime, 2);
    EXPECT_EQ(Config_setFrontBtnTrigTime(h_, 5), ERR_BUFFER_SIZE);
    EXPECT_EQ(sent(kReqSetFrontBtnTrigTime).size(), 1u);

    // The suspend record's first word is always 1, without a read.
    unit().setValue("startup.suspendWord0", "7");
    ASSERT_EQ(Config_setSuspendMaxTime(h_, 0xABCD), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetSuspendMaxTime), bytes({0x01, 0x00, 0xCD, 0xAB}));
    EXPECT_TRUE(sent(kReqGetSuspendMaxTime).empty());
    reply(kReqGetSuspendMaxTime, "ffff3412");
    ASSERT_EQ(Config_getSuspendMaxTime(h_, &time), ERR_SUCCESS);
    EXPECT_EQ(time, 0x1234);

    ASSERT_EQ(Config_setExtOnOffSigTrigTime(h_, 0x12345678), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetExtOnOffSigTrigTime), bytes({0x78, 0x56, 0x34, 0x12}));
    int32_t signalTime = 0;
    ASSERT_EQ(Config_getExtOnOffSigTrigTime(h_, &signalTime), ERR_SUCCESS);
    EXPECT_EQ(signalTime, 0x12345678);
}

TEST_F(ConfigTest, EnumeratedValuesCheckTheWholeReplyAndTheRange) {
    ASSERT_NE(config(), nullptr);
    int32_t value = 99;
    reply(kReqGetShortPressAction, "0101"); // 257: not 1
    EXPECT_EQ(Config_getShortButtonPressAction(h_, &value), ERR_INVALID_DATA);
    EXPECT_EQ(value, 99);
    EXPECT_EQ(Config_setStartupTriggerConfig(h_, 0), ERR_INVALID_DATA);
    EXPECT_EQ(Config_setOnOffSigAction(h_, 3), ERR_INVALID_DATA);
    EXPECT_TRUE(sent(kReqSetStartupTrigger).empty());
    ASSERT_EQ(Config_setStartupTriggerConfig(h_, 2), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetStartupTrigger), bytes({2, 0}));
    ASSERT_EQ(Config_getStartupTriggerConfig(h_, &value), ERR_SUCCESS);
    EXPECT_EQ(value, 2);

    EXPECT_EQ(Config_setVideoStartupPowerConfig(h_, 0x10), ERR_INVALID_DATA);
    ASSERT_EQ(Config_setVideoStartupPowerConfig(h_, 5), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetVideoStartupPower), bytes({5, 0}));
    ASSERT_EQ(Config_setPowerOnStartup(h_, 2), ERR_SUCCESS);
    EXPECT_EQ(lastWrite(kReqSetPowerOnStartup), bytes({2, 0}));
    ASSERT_EQ(Config_getPowerOnStartup(h_, &value), ERR_SUCCESS);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(Config_setRS485Enabled(h_, 0, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Config_getRS485Enabled(h_, 0, &value), ERR_NOT_SUPPORTED);
}

TEST_F(ConfigTest, VersionGates) {
    struct Case {
        const char* ss;
        ErrorCode heating, trigger, powerOn;
    };
    const ErrorCode newer = ERR_NEWER_SS_VERSION_REQUIRED;
    const Case cases[] = {{"0.8.99.99", newer, newer, newer},
                          {"0.9.5.0", ERR_SUCCESS, newer, newer},
                          {"1.0.2.9", ERR_SUCCESS, ERR_SUCCESS, newer},
                          {"1.0.3.0", ERR_SUCCESS, ERR_SUCCESS, ERR_SUCCESS}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ss);
        setSs(c.ss);
        ASSERT_NE(config(), nullptr);
        int16_t limit = 0;
        int32_t value = 0;
        EXPECT_EQ(Config_getHeatingTempLimit(h_, &limit), c.heating);
        EXPECT_EQ(Config_setStartupTriggerConfig(h_, 3), c.trigger);
        if (c.trigger != ERR_SUCCESS) {
            EXPECT_EQ(Config_setStartupTriggerConfig(h_, 0), c.trigger); // whatever the value
        }
        EXPECT_EQ(Config_getLongButtonPressAction(h_, &value), c.trigger);
        EXPECT_EQ(Config_getPowerOnStartup(h_, &value), c.powerOn);
    }
}

TEST_F(ConfigTest, DriverOpensAtConstructionOnlyAndTheLastReleaseClosesTheBoardSession) {
    driverAbsent();
    ASSERT_NE(config(), nullptr);
    unit().clearFaults(); // the driver appears, but the object never opens again
    double volts = 0;
    EXPECT_EQ(Config_getStartupVoltageConfig(h_, &volts), ERR_OPEN_FAILED);
    int16_t limit = 0;
    EXPECT_EQ(Config_getHeatingTempLimit(h_, &limit), ERR_OPEN_FAILED); // before the gate (version 0)

    const auto closes = [this] {
        size_t n = 0;
        for (const auto& e : requests("board")) n += e.code == 4;
        return n;
    };
    Config* second = GetConfig();
    EXPECT_EQ(second, h_);
    const size_t before = closes();
    Config_release(second);
    EXPECT_EQ(closes(), before);
    EXPECT_EQ(Config_getStartupVoltageConfig(h_, &volts), ERR_OPEN_FAILED);
    Config_release(h_);
    EXPECT_EQ(closes(), before + 1);

    h_ = GetConfig(); // a new object opens again
    EXPECT_EQ(Config_getStartupVoltageConfig(h_, &volts), ERR_SUCCESS);
    EXPECT_EQ(Config_getStartupVoltageConfig(nullptr, &volts), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Config_getStartupVoltageConfig(h_, nullptr), ERR_INVALID_PARAMETER);
}

TEST_F(ConfigTest, CanAndVideoGatesFollowTheOpenCheck) {
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim eeprom set main CAN 0", &out), 0) << out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim eeprom set main VIDEO 0", &out), 0) << out;
    ASSERT_NE(config(), nullptr);
    int32_t can = 0;
    uint8_t video = 0;
    EXPECT_EQ(Config_getCanStartupPowerConfig(h_, &can), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Config_setVideoStartupPowerConfig(h_, 0x10), ERR_NOT_SUPPORTED); // gate before range
    EXPECT_EQ(Config_getVideoStartupPowerConfig(h_, &video), ERR_NOT_SUPPORTED);
    driverAbsent();
    ASSERT_NE(config(), nullptr);
    EXPECT_EQ(Config_getCanStartupPowerConfig(h_, &can), ERR_OPEN_FAILED); // the open check comes first
}

} // namespace
