// Digital inputs, supply voltages and the CAN settings against the simulated unit: the ADC's
// conversions and its refusals in their order, and the CAN values' registry bytes exactly.
#include <gtest/gtest.h>

#include <cstring>

#include "signals/can_setting.h"
#include "sim/registry_model.h"
#include "support/sim_fixture.h"
#include "tavik2/adc.h"
#include "tavik2/can_setting.h"
#include "tavik2/dig_io.h"

namespace {

namespace sim = tavik::sim;
using sim::json;

constexpr uint32_t kReqVoltage = 0x222464;
constexpr const char* kDriverDevice = "\\\\.\\TavikDrv";

// A default unit whose main EEPROM record `key` says `value`.
json profileWith(const std::string& key, const std::string& value) {
    json p = sim::Unit::defaultProfile();
    for (json& r : p["eeprom"]["main"])
        if (r.get<std::string>().rfind(key + ":", 0) == 0) r = key + ":" + value;
    return p;
}

class IoFamiliesTest : public tavik::test::SimTest {
protected:
    void fault(uint32_t code, const std::string& action, json extra = json::object()) {
        extra["target"] = kDriverDevice;
        extra["code"] = code;
        extra["action"] = action;
        extra["remaining"] = 1;
        unit().addFault(extra);
    }
};

TEST_F(IoFamiliesTest, DigitalInputsKeepBitsZeroToThree) {
    unit().setValue("digio.inputs", "165"); // 0xA5
    Varnholtstad::DigIO* h = GetDigIO();
    uint8_t inputs = 0;
    EXPECT_EQ(DigIO_getDigIO(h, &inputs), ERR_SUCCESS);
    EXPECT_EQ(inputs, 0x05);
    EXPECT_EQ(DigIO_setDigIO(h, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(DigIO_getDigIO(h, nullptr), ERR_INVALID_PARAMETER);
    DigIO_release(h);

    unit().loadProfile(profileWith("DIGIO", "0"));
    h = GetDigIO();
    inputs = 0xEE;
    EXPECT_EQ(DigIO_getDigIO(h, &inputs), ERR_NOT_SUPPORTED);
    EXPECT_EQ(inputs, 0xEE);
    DigIO_release(h);
}

TEST_F(IoFamiliesTest, VoltagesConvertWithTheirSelectorsScale) {
    struct Case {
        int32_t selector;
        uint16_t raw;
        double volts, within;
    };
    const Case cases[] = {
        {0, 1241, 11.998, 5e-4}, {1, 4095, 39.59, 5e-3}, {2, 4095, 16.50, 5e-3},
        {7, 4095, 6.60, 5e-3},   {8, 4095, 3.2992, 5e-5}, {15, 0, 0.0, 0.0},
    };
    Varnholtstad::Adc* h = GetAdc();
    for (const Case& c : cases) {
        unit().setValue("adc.raw." + std::to_string(c.selector), std::to_string(c.raw));
        double v = -1;
        ASSERT_EQ(Adc_getVoltage(h, c.selector, &v), ERR_SUCCESS) << c.selector;
        EXPECT_NEAR(v, c.volts, c.within) << c.selector;
    }
    Adc_release(h);
    // The selector goes out as 32-bit little-endian and comes back in the first four bytes.
    const auto log = requests();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().code, kReqVoltage);
    EXPECT_EQ(log.back().in, (std::vector<uint8_t>{15, 0, 0, 0}));
}

TEST_F(IoFamiliesTest, VoltageRefusalsComeInOrderAndLeaveTheOutputAlone) {
    Varnholtstad::Adc* h = GetAdc();
    const size_t sent = requests().size(); // the supervisor version, at construction
    double v = -1;
    EXPECT_EQ(Adc_getVoltage(h, 16, &v), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Adc_getVoltage(h, -1, nullptr), ERR_NOT_SUPPORTED); // the selector before the pointer
    EXPECT_EQ(Adc_getVoltage(h, 0, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(requests().size(), sent);

    unit().setValue("adc.raw.3", "61680"); // 0xF0F0: not measured
    EXPECT_EQ(Adc_getVoltage(h, 3, &v), ERR_NOT_SUPPORTED);
    fault(kReqVoltage, "reply", {{"reply", "0300000000010000"}}); // selector 3 answers a request for 2
    EXPECT_EQ(Adc_getVoltage(h, 2, &v), ERR_DATATYPE_MISMATCH);
    fault(kReqVoltage, "count", {{"count", 7}});
    EXPECT_EQ(Adc_getVoltage(h, 2, &v), ERR_BUFFER_SIZE);
    fault(kReqVoltage, "fail");
    EXPECT_EQ(Adc_getVoltage(h, 2, &v), ERR_IOCTRL_FAILED);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(Adc_getVoltage(h, 11, &v), ERR_SUCCESS); // supervisor 1.3.0.0
    Adc_release(h);

    loadProfile("old-firmware"); // supervisor 0.8.5.0
    h = GetAdc();
    EXPECT_EQ(Adc_getVoltage(h, 11, &v), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Adc_getVoltage(h, 10, &v), ERR_SUCCESS);
    Adc_release(h);

    loadProfile("no-driver");
    h = GetAdc();
    EXPECT_EQ(Adc_getVoltage(h, 16, &v), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Adc_getVoltage(h, 11, &v), ERR_NOT_SUPPORTED); // version unreadable: 0
    EXPECT_EQ(Adc_getVoltage(h, 0, &v), ERR_OPEN_FAILED);
    Adc_release(h);
}

class CanTest : public IoFamiliesTest {
protected:
    void SetUp() override {
        IoFamiliesTest::SetUp();
        h_ = GetCanSetting();
        ASSERT_NE(h_, nullptr);
    }
    void TearDown() override {
        CanSetting_release(h_);
        IoFamiliesTest::TearDown();
    }
    static std::string key(int channel) { return tavik::signals::canChannelKey(static_cast<uint8_t>(channel)); }
    static std::string stored(int channel, const char* name) {
        const auto v = sim::registryGet(key(channel), name);
        return v ? sim::registryTypeName(v->type) + " " + sim::toHex(v->data.data(), v->data.size()) : "missing";
    }
    static std::string utf16(const std::string& text, size_t size) {
        std::vector<uint8_t> bytes(size, 0);
        for (size_t i = 0; i < text.size(); ++i) bytes[2 * i] = static_cast<uint8_t>(text[i]);
        return "REG_SZ " + sim::toHex(bytes.data(), bytes.size());
    }
    void store(int channel, const char* name, const std::string& text) {
        sim::RegistryValue v;
        sim::registryValueFromText(1, text, v);
        sim::registryPut(key(channel), name, v);
    }
    Varnholtstad::CanSetting* h_ = nullptr;
};

TEST_F(CanTest, ValuesAreWrittenWithTheirExactSizes) {
    EXPECT_EQ(key(1), "SYSTEM\\CurrentControlSet\\Services\\CanXilinxQX\\Parameters\\Device0");
    EXPECT_EQ(CanSetting_setBaudrate(h_, 1, 250), ERR_SUCCESS);
    EXPECT_EQ(stored(1, "BaudRate"), utf16("250000", 40));
    EXPECT_EQ(CanSetting_setFrameType(h_, 2, 2), ERR_SUCCESS);
    EXPECT_EQ(stored(2, "Mode"), utf16("Standard, Extended", 255));
    EXPECT_EQ(CanSetting_setBaudrate(h_, 2, 0), ERR_SUCCESS); // no lower limit
    EXPECT_EQ(stored(2, "BaudRate"), utf16("0", 40));

    uint16_t kbit = 0;
    int32_t frame = -1;
    EXPECT_EQ(CanSetting_getBaudrate(h_, 1, &kbit), ERR_SUCCESS);
    EXPECT_EQ(kbit, 250);
    EXPECT_EQ(CanSetting_getFrameType(h_, 2, &frame), ERR_SUCCESS);
    EXPECT_EQ(frame, 2);
    EXPECT_EQ(CanSetting_getFrameType(h_, 1, &frame), ERR_SUCCESS); // as the driver installed it
    EXPECT_EQ(frame, 0);

    // The operator's view: type and exact bytes.
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " --json sim registry get '" + key(1) + "' BaudRate", &out), 0) << out;
    const json j = json::parse(out);
    EXPECT_EQ(j["type"], "REG_SZ");
    EXPECT_EQ(j["size"], 40);
    EXPECT_EQ("REG_SZ " + j["hex"].get<std::string>(), utf16("250000", 40));
}

TEST_F(CanTest, StoredTextsAreReadAsTheDriverKeepsThem) {
    struct Case {
        const char* name;
        const char* text;
        ErrorCode code;
        int value;
    };
    const std::string tooLong(200, 'x'); // 402 bytes stored
    const Case cases[] = {
        {"BaudRate", "999", ERR_SUCCESS, 0},
        {"BaudRate", "1000000", ERR_SUCCESS, 1000},
        {"BaudRate", "125000 bit/s", ERR_SUCCESS, 125},
        {"Mode", "Extended", ERR_SUCCESS, 1},
        {"Mode", "standard", ERR_CODE_NOT_EXIST, -1},
        {"Mode", "Standard ", ERR_CODE_NOT_EXIST, -1},
        {"Mode", tooLong.c_str(), ERR_NOT_SUPPORTED, -1}, // longer than the 255-byte buffer
    };
    for (const Case& c : cases) {
        store(1, c.name, c.text);
        uint16_t kbit = 0xEEEE;
        int32_t frame = -1;
        const bool rate = std::strcmp(c.name, "BaudRate") == 0;
        const ErrorCode e = rate ? CanSetting_getBaudrate(h_, 1, &kbit) : CanSetting_getFrameType(h_, 1, &frame);
        EXPECT_EQ(e, c.code) << c.text;
        if (c.value >= 0) {
            EXPECT_EQ(rate ? kbit : frame, c.value) << c.text;
        } else {
            EXPECT_EQ(frame, -1);
        }
    }
}

TEST_F(CanTest, ChannelBoundsAndArguments) {
    uint16_t kbit = 0;
    int32_t frame = 0;
    // Two CAN connections on the default unit; channels count from 1.
    EXPECT_EQ(CanSetting_getBaudrate(h_, 3, &kbit), ERR_INVALID_PARAMETER);
    EXPECT_EQ(CanSetting_getFrameType(h_, 0, &frame), ERR_INVALID_PARAMETER);
    EXPECT_EQ(CanSetting_setBaudrate(h_, 0, 125), ERR_INVALID_PARAMETER);
    EXPECT_EQ(CanSetting_setBaudrate(h_, 1, 1001), ERR_INVALID_PARAMETER);
    EXPECT_EQ(CanSetting_setFrameType(h_, 1, 3), ERR_INVALID_PARAMETER);
    EXPECT_EQ(CanSetting_setFrameType(h_, 1, -1), ERR_INVALID_PARAMETER);
    EXPECT_EQ(CanSetting_getFrameType(h_, 1, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(stored(1, "BaudRate"), utf16("250000", 14)); // as the driver installed it

    // The count sums both CAN records.
    unit().loadProfile(profileWith("CAN_FPGA", "2"));
    Varnholtstad::CanSetting* four = GetCanSetting();
    EXPECT_EQ(CanSetting_setBaudrate(four, 4, 500), ERR_SUCCESS);
    EXPECT_EQ(stored(4, "BaudRate"), utf16("500000", 40));
    EXPECT_EQ(CanSetting_setBaudrate(four, 5, 500), ERR_INVALID_PARAMETER);
    CanSetting_release(four);

    // No CAN on the unit: every channel is refused as not supported.
    unit().loadProfile(profileWith("CAN", "0"));
    Varnholtstad::CanSetting* none = GetCanSetting();
    EXPECT_EQ(CanSetting_getBaudrate(none, 1, &kbit), ERR_NOT_SUPPORTED);
    EXPECT_EQ(CanSetting_setFrameType(none, 1, 0), ERR_NOT_SUPPORTED);
    EXPECT_EQ(CanSetting_setBaudrate(none, 1, 2000), ERR_INVALID_PARAMETER); // the bit rate first
    CanSetting_release(none);
}

TEST_F(CanTest, KeysThatCannotBeOpenedOrWritten) {
    ASSERT_TRUE(sim::registryDelete(key(2), ""));
    uint16_t kbit = 0xEEEE;
    EXPECT_EQ(CanSetting_getBaudrate(h_, 2, &kbit), ERR_NOT_SUPPORTED);
    EXPECT_EQ(CanSetting_setBaudrate(h_, 2, 125), ERR_OPEN_FAILED);
    EXPECT_EQ(CanSetting_setFrameType(h_, 2, 1), ERR_OPEN_FAILED);
    EXPECT_FALSE(sim::registryGet(key(2), "BaudRate")); // never created
    EXPECT_EQ(kbit, 0xEEEE);

    ASSERT_TRUE(sim::registryDelete(key(1), "BaudRate"));
    EXPECT_EQ(CanSetting_getBaudrate(h_, 1, &kbit), ERR_NOT_SUPPORTED);

    const auto registryFault = [&](uint32_t call) {
        unit().addFault({{"target", "registry"}, {"code", call}, {"action", "fail"}, {"remaining", 1}});
    };
    registryFault(sim::kRegistryOpenWrite);
    EXPECT_EQ(CanSetting_setBaudrate(h_, 1, 500), ERR_OPEN_FAILED);
    registryFault(sim::kRegistrySet);
    EXPECT_EQ(CanSetting_setFrameType(h_, 1, 1), ERR_UNKNOWN_FEATURE);
    registryFault(sim::kRegistryOpenRead);
    int32_t frame = -1;
    EXPECT_EQ(CanSetting_getFrameType(h_, 1, &frame), ERR_NOT_SUPPORTED);
    EXPECT_EQ(CanSetting_getFrameType(h_, 1, &frame), ERR_SUCCESS); // the fault was used up
    EXPECT_EQ(frame, 0);
}

} // namespace
