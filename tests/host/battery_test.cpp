// The Battery family through its exported functions, against the simulated battery registers.
#include <gtest/gtest.h>

#include <cstring>

#include "identity/battery.h"
#include "sim/board_model.h"
#include "supervisor_test_support.h"
#include "tavik2/battery.h"

namespace {

using namespace tavik::identity;
using Varnholtstad::Battery;

constexpr uint32_t kReg = 0x2225C0;

class BatteryTest : public tavik::test::SupervisorTest {
protected:
    void TearDown() override {
        if (h_ != nullptr) Battery_release(h_);
        SupervisorTest::TearDown();
    }
    Battery* battery() {
        if (h_ != nullptr) Battery_release(h_);
        h_ = GetBattery();
        return h_;
    }
    // Register numbers of the requests sent, in order.
    std::vector<int> registersRead() {
        std::vector<int> regs;
        for (const auto& e : sent(kReg)) regs.push_back(e.in.at(0) | e.in.at(1) << 8);
        return regs;
    }
    Battery* h_ = nullptr;
};

TEST(BatteryConversions, VoltageAndBitPrioritiesAtTheirLimits) {
    const std::pair<uint16_t, int> volts[] = {{0, 0}, {8100, 0}, {8141, 0}, {8142, 1}, {10200, 50},
                                              {12299, 99}, {12300, 100}, {65535, 100}};
    for (auto [mv, pct] : volts) EXPECT_EQ(batteryPercent(mv), pct) << mv;
    const std::pair<uint16_t, int> charging[] = {{0x00, 0}, {0x01, 0}, {0x02, 1}, {0x06, 2},
                                                 {0x0E, 3}, {0x1E, 4}, {0x10, 4}, {0xFFE0, 0}};
    for (auto [bits, state] : charging) EXPECT_EQ(batteryChargingState(bits), state) << bits;
    const std::pair<uint16_t, int> errors[] = {{0x30, 3}, {0x10, 4}, {0x18, 4}, {0x40, 5}, {0x7E, 5},
                                               {0x08, 3}, {0x04, 2}, {0x02, 1}, {0x01, 0}, {0xFF80, 0}};
    for (auto [bits, state] : errors) EXPECT_EQ(batteryErrorState(bits), state) << bits;
}

// The registers the library reads are those the simulated chip keeps the values in.
TEST_F(BatteryTest, EveryValueFromItsRegisters) {
    Battery* h = battery();
    bool present = false;
    ASSERT_EQ(Battery_isBatteryPresent(h, &present), ERR_SUCCESS);
    EXPECT_TRUE(present);
    uint8_t pct = 0;
    int32_t charging = -1, source = -1, errors = -1;
    int16_t temp = 0, lo = 0, hi = 0;
    EXPECT_EQ(Battery_getBatteryVoltageStatus(h, &pct), ERR_SUCCESS);
    EXPECT_EQ(Battery_getBatteryChargingStatus(h, &charging), ERR_SUCCESS);
    EXPECT_EQ(Battery_getPowerSource(h, &source), ERR_SUCCESS);
    EXPECT_EQ(Battery_getHwErrorStatus(h, &errors), ERR_SUCCESS);
    EXPECT_EQ(Battery_getBatteryTemp(h, &temp), ERR_SUCCESS);
    EXPECT_EQ(Battery_getMinMaxTemp(h, &lo, &hi), ERR_SUCCESS);
    EXPECT_EQ(pct, (12050 - 8100) * 100 / 4200);
    EXPECT_EQ(charging, 2);
    EXPECT_EQ(source, 1);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(temp, 27);
    EXPECT_EQ(lo, -12);
    EXPECT_EQ(hi, 49);
    Varnholtstad::BatteryTimer timer{};
    ASSERT_EQ(Battery_getTimer(h, &timer), ERR_SUCCESS);
    EXPECT_EQ(timer.counter[0], 1520u * 60 + 42);
    EXPECT_EQ(timer.counter[8], 61u);
    char text[16];
    ASSERT_EQ(Battery_getBatteryHWversion(h, text, sizeof text), ERR_SUCCESS);
    EXPECT_STREQ(text, "1.2");
    uint16_t v[4] = {};
    ASSERT_EQ(Battery_getBatterySwVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_SUCCESS);
    EXPECT_EQ((std::vector<int>{v[0], v[1], v[2], v[3]}), (std::vector<int>{1, 4, 0, 12}));
    ASSERT_EQ(Battery_getBatterySerial(h, text, 11), ERR_SUCCESS);
    EXPECT_STREQ(text, "BT24A07731");

    unit().setValue("battery.status", "1");   // bit 0: the other power source
    unit().setValue("battery.serial", "\"AB\""); // zero characters end the text
    EXPECT_EQ(Battery_getPowerSource(h, &source), ERR_SUCCESS);
    EXPECT_EQ(source, 0);
    ASSERT_EQ(Battery_getBatterySerial(h, text, 11), ERR_SUCCESS);
    EXPECT_STREQ(text, "AB");
}

TEST_F(BatteryTest, TemperatureOffsetAndTimerOrderFromRawReplies) {
    Battery* h = battery();
    reply(kReg, "3800");
    reply(kReg, "1400");
    int16_t lo = 99, hi = 99;
    ASSERT_EQ(Battery_getMinMaxTemp(h, &lo, &hi), ERR_SUCCESS);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, -36);

    unit().clearLog();
    Varnholtstad::BatteryTimer timer{};
    ASSERT_EQ(Battery_getTimer(h, &timer), ERR_SUCCESS);
    EXPECT_EQ(registersRead(), (std::vector<int>{20, 22, 21, 23, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39}));
}

// The first failing read ends the operation; the counters before it stay filled.
TEST_F(BatteryTest, TimerKeepsTheCountersReadBeforeAFailure) {
    Battery* h = battery();
    reply(kReg, "0200");
    reply(kReg, "1e00");
    reply(kReg, "0500");
    failRequest(kReg);
    Varnholtstad::BatteryTimer timer;
    std::memset(&timer, 0xAB, sizeof timer);
    EXPECT_EQ(Battery_getTimer(h, &timer), ERR_IOCTRL_FAILED);
    EXPECT_EQ(timer.counter[0], 150u);
    EXPECT_EQ(timer.counter[1], 0xABABABABu);

    returnCount(kReg, 1);
    uint8_t pct = 7;
    EXPECT_EQ(Battery_getBatteryVoltageStatus(h, &pct), ERR_BUFFER_SIZE);
    EXPECT_EQ(pct, 7);
}

TEST_F(BatteryTest, TextAndPointerLimits) {
    Battery* h = battery();
    unit().clearLog();
    char text[16] = "unchanged";
    EXPECT_EQ(Battery_getBatterySerial(h, text, 10), ERR_BUFFER_SIZE);
    EXPECT_EQ(Battery_getBatterySerial(h, nullptr, 11), ERR_INVALID_PARAMETER);
    EXPECT_TRUE(sent(kReg).empty()); // refused before any request
    EXPECT_EQ(Battery_getBatteryHWversion(h, text, 3), ERR_BUFFER_SIZE); // "1.2" needs 4
    EXPECT_EQ(Battery_getBatteryHWversion(h, nullptr, 4), ERR_INVALID_PARAMETER);
    EXPECT_STREQ(text, "unchanged");

    uint16_t major = 0, minor = 0, build = 0;
    EXPECT_EQ(Battery_getBatterySwVersion(h, &major, &minor, nullptr, &build), ERR_IOCTRL_FAILED);
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 4);
    EXPECT_EQ(build, 0);
    EXPECT_EQ(Battery_getBatteryTemp(h, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Battery_getTimer(h, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Battery_getBatteryTemp(nullptr, nullptr), ERR_INVALID_PARAMETER);
}

// Without a battery, with old firmware or without the record, only presence answers.
TEST_F(BatteryTest, PresenceDecidesEveryOtherOperation) {
    struct Case {
        const char* profile;
        ErrorCode presence;
    };
    const Case cases[] = {{"no-battery", ERR_SUCCESS}, {"old-firmware", ERR_NEWER_SS_VERSION_REQUIRED}};
    for (const Case& c : cases) {
        loadProfile(c.profile);
        Battery* h = battery();
        bool present = true;
        EXPECT_EQ(Battery_isBatteryPresent(h, &present), c.presence) << c.profile;
        uint8_t pct = 0;
        char text[16];
        Varnholtstad::BatteryTimer timer{};
        EXPECT_EQ(Battery_getBatteryVoltageStatus(h, &pct), ERR_NOT_SUPPORTED) << c.profile;
        EXPECT_EQ(Battery_getBatterySerial(h, text, 5), ERR_NOT_SUPPORTED) << c.profile;
        EXPECT_EQ(Battery_getTimer(h, &timer), ERR_NOT_SUPPORTED) << c.profile;
        EXPECT_TRUE(sent(kReg).empty()) << c.profile;
    }

    unit().reset();
    unit().transact([](tavik::sim::Txn& t) {
        auto image = tavik::sim::eepromContents(t, "main");
        const std::string text(image.begin(), image.end());
        const size_t at = text.find("BATTERY");
        ASSERT_NE(at, std::string::npos);
        image[at] = 'X'; // no "BATTERY" record any more
        tavik::sim::setEepromContents(t, "main", image);
    });
    bool present = true;
    EXPECT_EQ(Battery_isBatteryPresent(battery(), &present), ERR_EEPROM);
    int16_t t = 0;
    EXPECT_EQ(Battery_getBatteryTemp(h_, &t), ERR_NOT_SUPPORTED);
}

// The registers are read whatever the channel's open flag says: a driver that could not be
// opened shows as a failed request.
TEST_F(BatteryTest, UnopenedDriverShowsAsAFailedRequest) {
    driverAbsent(1); // the battery's own channel; the version reader's open succeeds
    Battery* h = battery();
    bool present = false;
    ASSERT_EQ(Battery_isBatteryPresent(h, &present), ERR_SUCCESS);
    ASSERT_TRUE(present);
    int16_t t = 0;
    EXPECT_EQ(Battery_getBatteryTemp(h, &t), ERR_IOCTRL_FAILED);
}

} // namespace
