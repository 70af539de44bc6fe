// The touch screen and calibration families against the simulated touch controller: advanced
// settings at the limits of their ranges and shifts, the firmware gates and the order of the
// checks, calibration modes, point limits and the finished rule.
#include <gtest/gtest.h>

#include "support/sim_fixture.h"
#include "tavik2/touch_screen.h"
#include "tavik2/touch_screen_calib.h"

namespace {

namespace sim = tavik::sim;
using sim::json;

constexpr const char* kDriver = "\\\\.\\TavikDrv";
constexpr uint32_t kReqSetMode = 0x222558, kReqSetRightClick = 0x222594, kReqWriteRegister = 0x2225BC,
                   kReqReadRegister = 0x2225B8, kReqCalibrationMode = 0x2225B4;

class TouchTest : public tavik::test::SimTest {
protected:
    void TearDown() override {
        if (touch_ != nullptr) TouchScreen_release(touch_);
        if (calib_ != nullptr) TouchScreenCalib_release(calib_);
        SimTest::TearDown();
    }
    // Fresh objects over the unit as it is now (gates and support are fixed at construction).
    Varnholtstad::TouchScreen* touch() {
        if (touch_ != nullptr) TouchScreen_release(touch_);
        return touch_ = GetTouchScreen();
    }
    Varnholtstad::TouchScreenCalib* calib() {
        if (calib_ == nullptr) calib_ = GetTouchScreenCalib();
        return calib_;
    }
    uint16_t reg(int n) { return unit().getValue("touch.registers." + std::to_string(n)).get<uint16_t>(); }
    void setReg(int n, uint16_t v) { unit().setValue("touch.registers." + std::to_string(n), std::to_string(v)); }
    void frontVersion(const char* v) {
        json p = sim::Unit::defaultProfile();
        p["driver"]["versions"]["front"] = v;
        unit().loadProfile(p);
    }
    void fault(uint32_t code, const std::string& action, json extra = json::object()) {
        extra.update({{"target", kDriver}, {"code", code}, {"action", action}, {"remaining", 1}});
        unit().addFault(extra);
    }

    Varnholtstad::TouchScreen* touch_ = nullptr;
    Varnholtstad::TouchScreenCalib* calib_ = nullptr;
};

TEST_F(TouchTest, AdvancedSettingsRangesAndShiftsAtTheirLimits) {
    struct Case {
        int32_t setting;
        uint32_t value; // passed as a 32-bit word; the low 16 bits count
        ErrorCode code;
        int reg;
        uint16_t sent;
    };
    const Case cases[] = {
        {0, 70000, ERR_SUCCESS, 4, 4464},  {1, 4095, ERR_SUCCESS, 5, 4095},   {1, 4096, ERR_INVALID_DATA, 5, 0},
        {2, 4096, ERR_INVALID_DATA, 6, 0}, {3, 16383, ERR_SUCCESS, 7, 65532}, {3, 16384, ERR_INVALID_DATA, 7, 0},
        {4, 1, ERR_SUCCESS, 8, 4},         {5, 2, ERR_SUCCESS, 9, 8},         {6, 16383, ERR_SUCCESS, 11, 65532},
        {7, 32767, ERR_SUCCESS, 10, 32767}, {7, 32768, ERR_INVALID_DATA, 10, 0}, {8, 5, ERR_SUCCESS, 12, 1},
        {8, 0, ERR_SUCCESS, 12, 0},        {9, 32768, ERR_INVALID_DATA, 13, 0}, {10, 65535, ERR_SUCCESS, 14, 65535},
        {11, 65535, ERR_SUCCESS, 19, 65535}, {12, 0, ERR_NOT_SUPPORTED, -1, 0}, {13, 0, ERR_INVALID_DATA, -1, 0},
        {-1, 0, ERR_INVALID_DATA, -1, 0},
    };
    touch();
    for (const Case& c : cases) {
        if (c.reg >= 0) setReg(c.reg, 0x5A5A);
        EXPECT_EQ(TouchScreen_setAdvancedSetting(touch_, c.setting, static_cast<uint16_t>(c.value)), c.code)
            << "setting " << c.setting << " value " << c.value;
        if (c.reg >= 0) {
            EXPECT_EQ(reg(c.reg), c.code == ERR_SUCCESS ? c.sent : 0x5A5A) << "setting " << c.setting;
        }
    }
    // The request: register, 0, value little-endian.
    const auto log = requests();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().code, kReqWriteRegister);
    EXPECT_EQ(log.back().in, (std::vector<uint8_t>{19, 0, 0xFF, 0xFF}));

    // Read back: shifted right by 2 for settings 3 to 6, as stored for the others.
    uint16_t v = 0;
    setReg(7, 65532);
    EXPECT_EQ(TouchScreen_getAdvancedSetting(touch_, 3, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 16383);
    setReg(12, 7);
    EXPECT_EQ(TouchScreen_getAdvancedSetting(touch_, 8, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(TouchScreen_getAdvancedSetting(touch_, 12, &v), ERR_NOT_SUPPORTED);
    EXPECT_EQ(TouchScreen_getAdvancedSetting(touch_, 0, nullptr), ERR_INVALID_PARAMETER);
    fault(kReqReadRegister, "count", {{"count", 2}});
    EXPECT_EQ(TouchScreen_getAdvancedSetting(touch_, 3, &v), ERR_BUFFER_SIZE);
    // The write's returned count is not checked.
    fault(kReqWriteRegister, "count", {{"count", 0}});
    EXPECT_EQ(TouchScreen_setAdvancedSetting(touch_, 1, 10), ERR_SUCCESS);
    EXPECT_EQ(v, 7);
}

TEST_F(TouchTest, FrontVersionGates) {
    struct Case {
        const char* front;
        ErrorCode mode, setting0, setting1, setting12;
    };
    const Case cases[] = {
        {"0.4.0.0", ERR_NEWER_FRONT_VERSION_REQUIRED, ERR_NEWER_FRONT_VERSION_REQUIRED,
         ERR_NEWER_FRONT_VERSION_REQUIRED, ERR_NEWER_FRONT_VERSION_REQUIRED},
        {"0.5.0.0", ERR_SUCCESS, ERR_SUCCESS, ERR_NEWER_FRONT_VERSION_REQUIRED, ERR_NEWER_FRONT_VERSION_REQUIRED},
        {"0.99.99.99", ERR_SUCCESS, ERR_SUCCESS, ERR_NEWER_FRONT_VERSION_REQUIRED, ERR_NEWER_FRONT_VERSION_REQUIRED},
        {"1.0.0.0", ERR_SUCCESS, ERR_SUCCESS, ERR_SUCCESS, ERR_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        frontVersion(c.front);
        touch();
        int32_t mode = -1;
        EXPECT_EQ(TouchScreen_getMode(touch_, &mode), c.mode) << c.front;
        EXPECT_EQ(TouchScreen_setMouseRightClickTime(touch_, 500), c.mode) << c.front;
        EXPECT_EQ(TouchScreen_setAdvancedSetting(touch_, 0, 1), c.setting0) << c.front;
        EXPECT_EQ(TouchScreen_setAdvancedSetting(touch_, 1, 1), c.setting1) << c.front;
        EXPECT_EQ(TouchScreen_setAdvancedSetting(touch_, 12, 0), c.setting12) << c.front;
    }
}

TEST_F(TouchTest, CheckOrderWithoutDriverOrTouchScreen) {
    // No driver: the front version is unreadable (0). Mode and time check the driver first;
    // advanced settings check support, version and number before it.
    loadProfile("no-driver");
    touch();
    int32_t mode = 0;
    uint16_t v = 0;
    EXPECT_EQ(TouchScreen_getMode(touch_, &mode), ERR_OPEN_FAILED);
    EXPECT_EQ(TouchScreen_setMode(touch_, 1), ERR_OPEN_FAILED);
    EXPECT_EQ(TouchScreen_setAdvancedSetting(touch_, 1, 0), ERR_NEWER_FRONT_VERSION_REQUIRED);
    EXPECT_EQ(TouchScreen_getAdvancedSetting(touch_, 0, &v), ERR_NEWER_FRONT_VERSION_REQUIRED);
    EXPECT_EQ(TouchScreenCalib_setMode(calib(), 5), ERR_INVALID_DATA);
    EXPECT_EQ(TouchScreenCalib_setMode(calib(), 1), ERR_OPEN_FAILED);
    EXPECT_EQ(TouchScreenCalib_getConfigParam(calib(), 6, &v), ERR_INVALID_DATA);
    EXPECT_EQ(TouchScreenCalib_setConfigParam(calib(), 0, 1), ERR_OPEN_FAILED);

    // Front firmware 1.0.0.0 and the driver, but a unit without a touch screen.
    loadProfile("no-display");
    touch();
    EXPECT_EQ(TouchScreen_getMode(touch_, &mode), ERR_NOT_SUPPORTED);
    EXPECT_EQ(TouchScreen_setAdvancedSetting(touch_, 1, 0), ERR_NOT_SUPPORTED);
    for (const sim::LogEntry& e : requests()) EXPECT_NE(e.code, kReqWriteRegister);
}

TEST_F(TouchTest, ModeAndRightClickTime) {
    touch();
    EXPECT_EQ(TouchScreen_setMode(touch_, 6), ERR_SUCCESS); // only the low two bits
    EXPECT_EQ(unit().getValue("touch.mode"), 2);
    EXPECT_EQ(TouchScreen_setMode(touch_, 4), ERR_SUCCESS);
    EXPECT_EQ(unit().getValue("touch.mode"), 0);
    int32_t mode = -1;
    unit().setValue("touch.mode", "3");
    EXPECT_EQ(TouchScreen_getMode(touch_, &mode), ERR_SUCCESS);
    EXPECT_EQ(mode, 3);
    unit().setValue("touch.mode", "4");
    EXPECT_EQ(TouchScreen_getMode(touch_, &mode), ERR_INVALID_DATA);
    EXPECT_EQ(mode, 3);

    uint16_t t = 0;
    EXPECT_EQ(TouchScreen_setMouseRightClickTime(touch_, 0xBEEF), ERR_SUCCESS);
    EXPECT_EQ(TouchScreen_getMouseRightClickTime(touch_, &t), ERR_SUCCESS);
    EXPECT_EQ(t, 0xBEEF);
    EXPECT_EQ(requests()[requests().size() - 2].in, (std::vector<uint8_t>{0xEF, 0xBE}));

    // The set requests must report their byte counts (1 and 2).
    fault(kReqSetMode, "count", {{"count", 0}});
    EXPECT_EQ(TouchScreen_setMode(touch_, 1), ERR_BUFFER_SIZE);
    fault(kReqSetRightClick, "count", {{"count", 1}});
    EXPECT_EQ(TouchScreen_setMouseRightClickTime(touch_, 1), ERR_BUFFER_SIZE);
    fault(kReqSetMode, "fail");
    EXPECT_EQ(TouchScreen_setMode(touch_, 1), ERR_IOCTRL_FAILED);
    EXPECT_EQ(TouchScreen_getMode(touch_, nullptr), ERR_INVALID_PARAMETER);
}

TEST_F(TouchTest, CalibrationModesAndPointLimits) {
    EXPECT_EQ(TouchScreenCalib_setMode(calib(), 0), ERR_INVALID_DATA);
    EXPECT_EQ(TouchScreenCalib_setMode(calib(), 5), ERR_INVALID_DATA);
    // Out of calibration mode.
    EXPECT_EQ(TouchScreenCalib_setCalibrationPoint(calib(), 1), ERR_NOT_RUNNING);

    struct Case {
        int32_t mode;
        int controllerByte;
        uint8_t highest;
    };
    const Case cases[] = {{1, 1, 5}, {2, 6, 5}, {3, 10, 9}, {4, 14, 13}};
    for (const Case& c : cases) {
        ASSERT_EQ(TouchScreenCalib_setMode(calib(), c.mode), ERR_SUCCESS);
        EXPECT_EQ(unit().getValue("touch.calibration_mode"), c.controllerByte);
        int32_t mode = 0;
        EXPECT_EQ(TouchScreenCalib_getMode(calib(), &mode), ERR_SUCCESS);
        EXPECT_EQ(mode, c.mode);
        EXPECT_EQ(TouchScreenCalib_setCalibrationPoint(calib(), c.highest + 1), ERR_INVALID_DATA) << c.mode;
        EXPECT_EQ(TouchScreenCalib_setCalibrationPoint(calib(), c.highest), ERR_SUCCESS) << c.mode;
        EXPECT_EQ(requests().back().in, (std::vector<uint8_t>{1, 0, c.highest, 0}));
    }
    // A controller byte of no calibration mode reads as mode 0.
    unit().setValue("touch.calibration_mode", "7");
    int32_t mode = -1;
    EXPECT_EQ(TouchScreenCalib_getMode(calib(), &mode), ERR_SUCCESS);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(TouchScreenCalib_setCalibrationPoint(calib(), 0), ERR_NOT_RUNNING);
    // The mode read's failure is returned unchanged, and nothing is written.
    fault(kReqCalibrationMode, "count", {{"count", 0}});
    EXPECT_EQ(TouchScreenCalib_setCalibrationPoint(calib(), 1), ERR_BUFFER_SIZE);
    EXPECT_NE(requests().back().code, kReqWriteRegister);
}

TEST_F(TouchTest, PointFinishedWhenTheHighByteIsThePoint) {
    struct Case {
        uint16_t reg1;
        uint8_t point;
        bool finished;
    };
    const Case cases[] = {{0x0305, 3, true}, {0x0003, 3, false}, {0x0300, 3, true}, {0xFF03, 3, false}};
    for (const Case& c : cases) {
        setReg(1, c.reg1);
        bool finished = !c.finished;
        EXPECT_EQ(TouchScreenCalib_checkCalibrationPointFinished(calib(), &finished, c.point), ERR_SUCCESS);
        EXPECT_EQ(finished, c.finished) << std::hex << c.reg1;
    }
    EXPECT_EQ(TouchScreenCalib_checkCalibrationPointFinished(calib(), nullptr, 3), ERR_INVALID_PARAMETER);

    // The controller finishes a started point once the user touched it (at once on demand).
    unit().setValue("touch.point_delay_ms", "36000000");
    ASSERT_EQ(TouchScreenCalib_setMode(calib(), 3), ERR_SUCCESS);
    ASSERT_EQ(TouchScreenCalib_setCalibrationPoint(calib(), 7), ERR_SUCCESS);
    bool finished = true;
    EXPECT_EQ(TouchScreenCalib_checkCalibrationPointFinished(calib(), &finished, 7), ERR_SUCCESS);
    EXPECT_FALSE(finished);
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim touch finish", &out), 0) << out;
    EXPECT_EQ(TouchScreenCalib_checkCalibrationPointFinished(calib(), &finished, 7), ERR_SUCCESS);
    EXPECT_TRUE(finished);
}

TEST_F(TouchTest, ConfigParametersMapToTheirRegisters) {
    const int registers[] = {13, 14, 16, 15, 17, 18};
    for (int p = 0; p < 6; ++p) {
        ASSERT_EQ(TouchScreenCalib_setConfigParam(calib(), p, static_cast<uint16_t>(1000 + p)), ERR_SUCCESS);
        EXPECT_EQ(reg(registers[p]), 1000 + p) << p;
        setReg(registers[p], static_cast<uint16_t>(0xF000 + p));
        uint16_t v = 0;
        EXPECT_EQ(TouchScreenCalib_getConfigParam(calib(), p, &v), ERR_SUCCESS);
        EXPECT_EQ(v, 0xF000 + p) << p;
    }
    uint16_t v = 0xEEEE;
    EXPECT_EQ(TouchScreenCalib_getConfigParam(calib(), 6, &v), ERR_INVALID_DATA);
    EXPECT_EQ(TouchScreenCalib_setConfigParam(calib(), -1, 0), ERR_INVALID_DATA);
    fault(kReqReadRegister, "count", {{"count", 3}});
    EXPECT_EQ(TouchScreenCalib_getConfigParam(calib(), 0, &v), ERR_BUFFER_SIZE);
    EXPECT_EQ(v, 0xEEEE);
}

TEST_F(TouchTest, CalibrationRunsFromTheCommandLine) {
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " --json touch calibrate --mode 3 --timeout 600", &out), 0) << out;
    const json j = json::parse(out);
    EXPECT_EQ(j["points"].size(), 9u);
    for (const json& p : j["points"]) EXPECT_TRUE(p["finished"].get<bool>());
    EXPECT_EQ(j["params"].size(), 6u);
}

} // namespace
