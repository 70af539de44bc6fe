// The private service family through its exported functions: the word store's two index
// ranges, identity records, settings file keys and the controller's start.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/settings_file.h"
#include "supervisor_test_support.h"
#include "tavik2/tavik_private.h"

namespace {

using Varnholtstad::TavikPrivate;

constexpr uint32_t kReadPrivateWord = 0x22248C;
constexpr uint32_t kWriteWord = 0x222488;

class TavikPrivateTest : public tavik::test::SupervisorTest {
protected:
    void TearDown() override {
        if (h_ != nullptr) TavikPrivate_release(h_);
        SupervisorTest::TearDown();
    }
    TavikPrivate* priv() {
        if (h_ != nullptr) TavikPrivate_release(h_);
        h_ = GetTavikPrivate();
        return h_;
    }
    std::string settingsFile() {
        tavik::frame::SettingsFile store;
        store.load();
        std::string all;
        for (const auto& [k, v] : store.entries()) all += k + "=" + v + ";";
        return all;
    }
    TavikPrivate* h_ = nullptr;
};

// Short range 0..95 for any firmware (negative indexes refused, not sent sign-widened), the
// extended range 0..749 from supervisor firmware 1.3.0.0.
TEST_F(TavikPrivateTest, WordIndexRangesAndTheVersionGate) {
    TavikPrivate* h = priv();
    const std::pair<int, ErrorCode> shortRange[] = {
        {0, ERR_SUCCESS}, {95, ERR_SUCCESS}, {96, ERR_INVALID_DATA}, {127, ERR_INVALID_DATA},
        {-1, ERR_INVALID_DATA}, {-128, ERR_INVALID_DATA}};
    for (auto [index, result] : shortRange) {
        uint16_t v = 0;
        EXPECT_EQ(TavikPrivate_setToSmart(h, static_cast<int8_t>(index), static_cast<uint16_t>(0x5A00 + index)), result) << index;
        EXPECT_EQ(TavikPrivate_getFromSmart(h, static_cast<int8_t>(index), &v), result) << index;
        if (result == ERR_SUCCESS) {
            EXPECT_EQ(v, 0x5A00 + index) << index;
        }
    }
    const std::pair<int, ErrorCode> extended[] = {
        {0, ERR_SUCCESS}, {96, ERR_SUCCESS}, {749, ERR_SUCCESS}, {750, ERR_INVALID_DATA}, {65535, ERR_INVALID_DATA}};
    for (auto [index, result] : extended) {
        uint16_t v = 0;
        EXPECT_EQ(TavikPrivate_setToSmart2(h, static_cast<uint16_t>(index), static_cast<uint16_t>(index + 1)), result) << index;
        EXPECT_EQ(TavikPrivate_getFromSmart2(h, static_cast<uint16_t>(index), &v), result) << index;
        if (result == ERR_SUCCESS) {
            EXPECT_EQ(v, index + 1) << index;
        }
    }
    // Only indexes inside the store ever reach the driver.
    std::vector<int> indexes;
    for (const auto& e : sent(kReadPrivateWord)) indexes.push_back(e.in.at(0) | e.in.at(1) << 8);
    for (const auto& e : sent(kWriteWord)) indexes.push_back(e.in.at(0) | e.in.at(1) << 8);
    EXPECT_EQ(indexes, (std::vector<int>{0, 95, 0, 96, 749, 0, 95, 0, 96, 749}));

    unit().setValue("driver.versions.ss", "\"1.2.9.9\"");
    h = priv();
    uint16_t v = 0;
    EXPECT_EQ(TavikPrivate_getFromSmart2(h, 0, &v), ERR_NEWER_SS_VERSION_REQUIRED);
    EXPECT_EQ(TavikPrivate_setToSmart2(h, 9999, 1), ERR_NEWER_SS_VERSION_REQUIRED); // before the index
    EXPECT_EQ(TavikPrivate_getFromSmart(h, 0, &v), ERR_SUCCESS);
}

TEST_F(TavikPrivateTest, WordRequestChecks) {
    TavikPrivate* h = priv();
    uint16_t v = 0x7777;
    reply(kReadPrivateWord, "05003412"); // the echo of another index
    EXPECT_EQ(TavikPrivate_getFromSmart2(h, 6, &v), ERR_DATATYPE_MISMATCH);
    reply(kReadPrivateWord, "06003412", 2);
    EXPECT_EQ(TavikPrivate_getFromSmart(h, 6, &v), ERR_BUFFER_SIZE);
    EXPECT_EQ(v, 0x7777);
    reply(kReadPrivateWord, "06003412");
    EXPECT_EQ(TavikPrivate_getFromSmart(h, 6, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 0x1234);
    returnCount(kWriteWord, 0);
    EXPECT_EQ(TavikPrivate_setToSmart2(h, 6, 1), ERR_BUFFER_SIZE);
    EXPECT_EQ(TavikPrivate_getFromSmart2(h, 6, nullptr), ERR_INVALID_PARAMETER);
    ASSERT_EQ(TavikPrivate_setToSmart(h, 6, 0xBEEF), ERR_SUCCESS);
    EXPECT_EQ(sent(kWriteWord).back().in, bytes({6, 0, 0xEF, 0xBE}));

    // The controller's open, the version reader's open and request, then the family's own open.
    unit().addFault({{"target", kDriver}, {"code", 0}, {"action", "absent"}, {"skip", 3}, {"remaining", 1}});
    h = priv();
    EXPECT_EQ(TavikPrivate_getFromSmart(h, 1, &v), ERR_OPEN_FAILED);
    EXPECT_EQ(TavikPrivate_setToSmart2(h, 1, 1), ERR_OPEN_FAILED);
}

TEST_F(TavikPrivateTest, FileSettingsAndTheirBufferRule) {
    TavikPrivate* h = priv();
    char buf[16] = "unchanged";
    EXPECT_EQ(TavikPrivate_getFileSetting(h, "Missing", buf, sizeof buf), ERR_COMMAND_FAILED);
    ASSERT_EQ(TavikPrivate_setFileSetting(h, "Five", "abcde"), ERR_SUCCESS);
    EXPECT_EQ(TavikPrivate_getFileSetting(h, "Five", buf, 5), ERR_BUFFER_SIZE);
    EXPECT_STREQ(buf, "unchanged");
    ASSERT_EQ(TavikPrivate_getFileSetting(h, "Five", buf, 6), ERR_SUCCESS);
    EXPECT_STREQ(buf, "abcde");
    ASSERT_EQ(TavikPrivate_setFileSetting(h, "Empty", ""), ERR_SUCCESS);
    EXPECT_EQ(TavikPrivate_getFileSetting(h, "Empty", buf, sizeof buf), ERR_COMMAND_FAILED);

    // Null texts are refused and change nothing.
    const std::string before = settingsFile();
    EXPECT_EQ(TavikPrivate_setFileSetting(h, nullptr, "x"), ERR_INVALID_PARAMETER);
    EXPECT_EQ(TavikPrivate_setFileSetting(h, "Five", nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(TavikPrivate_getFileSetting(h, nullptr, buf, sizeof buf), ERR_INVALID_PARAMETER);
    EXPECT_EQ(TavikPrivate_getFileSetting(h, "Five", nullptr, sizeof buf), ERR_INVALID_PARAMETER);
    EXPECT_EQ(settingsFile(), before);
}

TEST_F(TavikPrivateTest, FileSettingThatCannotBeWrittenIsReported) {
    TavikPrivate* h = priv();
    ASSERT_EQ(TavikPrivate_setFileSetting(h, "Key", "old"), ERR_SUCCESS);
    const std::string before = settingsBytes();
    makeSettingsUnwritable();
    EXPECT_EQ(TavikPrivate_setFileSetting(h, "Key", "new"), ERR_DEVICE_WRITE_DATA_FAILED);
    EXPECT_EQ(settingsBytes(), before);
}

TEST_F(TavikPrivateTest, EepromRecordsOfBothBoards) {
    TavikPrivate* h = priv();
    char buf[16] = {};
    ASSERT_EQ(TavikPrivate_getEepromProperty(h, false, "PCB_SERIAL", buf, 9), ERR_SUCCESS);
    EXPECT_STREQ(buf, "A1234567");
    ASSERT_EQ(TavikPrivate_getEepromProperty(h, true, "PCB_SERIAL", buf, sizeof buf), ERR_SUCCESS);
    EXPECT_STREQ(buf, "B2345678");
    EXPECT_EQ(TavikPrivate_getEepromProperty(h, false, "PCB_SERIAL", buf, 8), ERR_BUFFER_SIZE);
    EXPECT_EQ(TavikPrivate_getEepromProperty(h, false, "PCB_SERIAL", nullptr, 9), ERR_INVALID_PARAMETER);
    EXPECT_EQ(TavikPrivate_getEepromProperty(h, true, "NO_SUCH", buf, sizeof buf), ERR_EEPROM);
    EXPECT_EQ(TavikPrivate_getEepromProperty(h, true, nullptr, buf, sizeof buf), ERR_INVALID_PARAMETER);

    unit().clearLog();
    EXPECT_EQ(TavikPrivate_setEepromProperty(h, true, "NO_SUCH", "1"), ERR_EEPROM);
    EXPECT_EQ(TavikPrivate_setEepromProperty(h, true, nullptr, "1"), ERR_INVALID_PARAMETER);
    EXPECT_EQ(TavikPrivate_setEepromProperty(h, true, "PCB_REV", nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(TavikPrivate_setEepromProperty(h, true, "PCB_REV", "B C"), ERR_EEPROM); // the EEPROM layer's refusal
    EXPECT_TRUE(requests("board").empty()); // nothing written

    ASSERT_EQ(TavikPrivate_setEepromProperty(h, true, "PCB_REV", "B"), ERR_SUCCESS);
    ASSERT_EQ(TavikPrivate_getEepromProperty(h, true, "PCB_REV", buf, sizeof buf), ERR_SUCCESS);
    EXPECT_STREQ(buf, "B");
}

TEST_F(TavikPrivateTest, ControllerStartsOnceAndTheRestIsNotSupported) {
    TavikPrivate* h = priv();
    EXPECT_EQ(TavikPrivate_automaticBacklightInit(h), ERR_SUCCESS);
    EXPECT_EQ(TavikPrivate_automaticBacklightInit(h), ERR_INIT_FAILED);

    int32_t status = 42;
    EXPECT_EQ(TavikPrivate_resumeVideo(h), ERR_NOT_SUPPORTED);
    EXPECT_EQ(TavikPrivate_updateBLPotentionmeterConstant(h), ERR_NOT_SUPPORTED);
    EXPECT_EQ(TavikPrivate_resetDiagnosticData(h), ERR_NOT_SUPPORTED);
    EXPECT_EQ(TavikPrivate_resetMPDiagnosticData(h), ERR_NOT_SUPPORTED);
    EXPECT_EQ(TavikPrivate_getBacklightButtonStatus(h, 0, &status), ERR_NOT_SUPPORTED);
    EXPECT_EQ(TavikPrivate_getExtPwrStatus(h, 1, &status), ERR_NOT_SUPPORTED);
    EXPECT_EQ(status, 42);
    EXPECT_EQ(TavikPrivate_resumeVideo(nullptr), ERR_INVALID_PARAMETER);
}

} // namespace
