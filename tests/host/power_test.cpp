// The Power family through its exported functions, against the simulated supervisor.
#include <gtest/gtest.h>

#include "power/power_outputs.h"
#include "supervisor_test_support.h"
#include "tavik2/power.h"

namespace {

using namespace tavik::power;
using Varnholtstad::Power;

class PowerTest : public tavik::test::SupervisorTest {
protected:
    void TearDown() override {
        if (h_ != nullptr) Power_release(h_);
        SupervisorTest::TearDown();
    }
    // A new object over the unit as it is now.
    Power* power() {
        if (h_ != nullptr) Power_release(h_);
        h_ = GetPower();
        return h_;
    }
    void setSs(const std::string& version) { unit().setValue("driver.versions.ss", "\"" + version + "\""); }
    void setMainRecord(const std::string& key, const std::string& value) {
        std::string out;
        ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim eeprom set main " + key + " " + value, &out), 0) << out;
    }

    Power* h_ = nullptr;
};

using Set = ErrorCode(TAVIK_CALL*)(Power*, int32_t);
using Get = ErrorCode(TAVIK_CALL*)(Power*, int32_t*);
struct Switch {
    Set set;
    Get get;
    uint32_t setCode;
    const char* field;
};
const Switch kSwitches[] = {
    {&Power_setBLPowerStatus, &Power_getBLPowerStatus, kReqSetBacklightPower, "power.backlight"},
    {&Power_setCanPowerStatus, &Power_getCanPowerStatus, kReqSetCanPower, "power.can"},
    {&Power_setExtFanPowerStatus, &Power_getExtFanPowerStatus, kReqSetExtFanPower, "power.fan"},
};

TEST_F(PowerTest, OnlyOneSwitchesOnAndAnyNonZeroReadsOn) {
    ASSERT_NE(power(), nullptr);
    for (const Switch& s : kSwitches) {
        SCOPED_TRACE(s.field);
        for (int32_t value : {1, 2, -1, 0}) {
            ASSERT_EQ(s.set(h_, value), ERR_SUCCESS);
            EXPECT_EQ(sent(s.setCode).back().in, bytes({uint8_t(value == 1)}));
            int32_t status = 99;
            ASSERT_EQ(s.get(h_, &status), ERR_SUCCESS);
            EXPECT_EQ(status, value == 1 ? 1 : 0);
        }
        returnCount(s.setCode, 0);
        EXPECT_EQ(s.set(h_, 1), ERR_BUFFER_SIZE);
    }
    reply(kReqGetBacklightPower, "80");
    int32_t status = 0;
    ASSERT_EQ(Power_getBLPowerStatus(h_, &status), ERR_SUCCESS);
    EXPECT_EQ(status, 1);
}

TEST_F(PowerTest, VideoMaskAboveFifteenIsRefused) {
    ASSERT_NE(power(), nullptr);
    EXPECT_EQ(Power_setVideoPowerStatus(h_, 16), ERR_INVALID_DATA);
    EXPECT_TRUE(sent(kReqSetVideoPower).empty());
    ASSERT_EQ(Power_setVideoPowerStatus(h_, 0x0F), ERR_SUCCESS);
    uint8_t mask = 0;
    ASSERT_EQ(Power_getVideoPowerStatus(h_, &mask), ERR_SUCCESS);
    EXPECT_EQ(mask, 0x0F);
}

TEST_F(PowerTest, GatesComeBeforeOrAfterTheOpenAsEachOperationNeeds) {
    setMainRecord("CAN", "0");
    setMainRecord("VIDEO", "0");
    driverAbsent();
    ASSERT_NE(power(), nullptr);
    int32_t status = 0;
    uint8_t mask = 0;
    EXPECT_EQ(Power_getCanPowerStatus(h_, &status), ERR_NOT_SUPPORTED); // before the open
    EXPECT_EQ(Power_setVideoPowerStatus(h_, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Power_getVideoPowerStatus(h_, &mask), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Power_getExtFanPowerStatus(h_, &status), ERR_OPEN_FAILED);
    EXPECT_EQ(Power_getVideoOCDStatus(h_, &status), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Power_getCanOCDStatus(h_, &status), ERR_NOT_SUPPORTED);

    loadProfile("no-display");
    ASSERT_NE(power(), nullptr);
    driverAbsent(1);
    EXPECT_EQ(Power_getBLPowerStatus(h_, &status), ERR_OPEN_FAILED); // after the open
    EXPECT_EQ(Power_getBLPowerStatus(h_, &status), ERR_NOT_SUPPORTED); // the driver came
    EXPECT_EQ(Power_setBLPowerStatus(h_, 1), ERR_NOT_SUPPORTED);
    EXPECT_TRUE(sent(kReqSetBacklightPower).empty());
}

TEST_F(PowerTest, ButtonTransitionNeedsSupervisorFirmware090) {
    struct Case {
        const char* ss;
        ErrorCode expected;
    };
    for (const Case& c : {Case{"0.8.99.99", ERR_NEWER_SS_VERSION_REQUIRED}, Case{"0.9.0.0", ERR_SUCCESS}}) {
        setSs(c.ss);
        ASSERT_NE(power(), nullptr);
        int32_t status = 99;
        EXPECT_EQ(Power_getButtonPowerTransitionStatus(h_, &status), c.expected) << c.ss;
    }
    EXPECT_EQ(sent(kReqButtonTransition).size(), 1u);

    // An unreadable version counts as 0; the open still comes first.
    unit().addFault({{"target", kDriver}, {"code", 0x2224F4}, {"action", "fail"}, {"remaining", 1}});
    ASSERT_NE(power(), nullptr);
    int32_t status = 99;
    driverAbsent(1);
    EXPECT_EQ(Power_getButtonPowerTransitionStatus(h_, &status), ERR_OPEN_FAILED);
    EXPECT_EQ(Power_getButtonPowerTransitionStatus(h_, &status), ERR_NEWER_SS_VERSION_REQUIRED);

    ASSERT_NE(power(), nullptr);
    reply(kReqButtonTransition, "07");
    EXPECT_EQ(Power_getButtonPowerTransitionStatus(h_, &status), ERR_INVALID_DATA);
    EXPECT_EQ(status, 99);
    unit().setValue("power.buttonTransition", "6");
    ASSERT_EQ(Power_getButtonPowerTransitionStatus(h_, &status), ERR_SUCCESS);
    EXPECT_EQ(status, 6);
}

TEST_F(PowerTest, AckSendsOneZeroByteWhateverTheCount) {
    ASSERT_NE(power(), nullptr);
    const size_t opened = opens(); // by the version and identity queries only
    unit().setValue("power.powerRequest", "1");
    returnCount(kReqAckPowerRequest, 0);
    ASSERT_EQ(Power_ackPowerRequest(h_), ERR_SUCCESS);
    EXPECT_EQ(opens(), opened + 1); // the first request opens the driver
    EXPECT_EQ(sent(kReqAckPowerRequest).at(0).in, bytes({0}));
    EXPECT_EQ(unit().getValue("power.powerRequest"), 0);
    EXPECT_EQ(Power_getCanPowerStatus(h_, nullptr), ERR_INVALID_PARAMETER);
}

} // namespace
