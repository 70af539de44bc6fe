// The storage-health family (Smart) through its exported functions, against the simulated
// supervisor's word store.
#include <gtest/gtest.h>

#include <functional>

#include "identity/smart.h"
#include "sim/word_store.h"
#include "supervisor_test_support.h"
#include "tavik2/smart.h"

namespace {

using Varnholtstad::Smart;

constexpr uint32_t kReadWord = 0x22248C;

class SmartTest : public tavik::test::SupervisorTest {
protected:
    void TearDown() override {
        if (h_ != nullptr) Smart_release(h_);
        SupervisorTest::TearDown();
    }
    Smart* smart() {
        if (h_ != nullptr) Smart_release(h_);
        h_ = GetSmart();
        return h_;
    }
    void setWord(uint16_t index, uint16_t value) {
        unit().transact([&](tavik::sim::Txn& t) { tavik::sim::writeStoreWord(t, index, value); });
    }
    // The word reads after the first `skip` fail once.
    void skipThenFail(int skip) {
        unit().addFault({{"target", kDriver}, {"code", kReadWord}, {"action", "fail"}, {"skip", skip}, {"remaining", 1}});
    }
    std::vector<int> indexesRead() {
        std::vector<int> out;
        for (const auto& e : sent(kReadWord)) out.push_back(e.in.at(0) | e.in.at(1) << 8);
        return out;
    }
    Smart* h_ = nullptr;
};

// The default store holds a record that every operation reads.
TEST_F(SmartTest, DefaultRecordAndItsWordIndexes) {
    Smart* h = smart();
    uint8_t life = 0;
    char serial[21];
    int64_t first = 0;
    ASSERT_EQ(Smart_getRemainingLifeTime(h, &life), ERR_SUCCESS);
    ASSERT_EQ(Smart_getDeviceSerial(h, serial, sizeof serial), ERR_SUCCESS);
    ASSERT_EQ(Smart_getInitialTime(h, &first), ERR_SUCCESS);
    EXPECT_EQ(life, 97);
    EXPECT_STREQ(serial, "TVK2SSD2403A0001942");
    EXPECT_EQ(first, 1773648000);
    EXPECT_EQ(indexesRead(), (std::vector<int>{2, 22, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 3, 4}));
}

TEST_F(SmartTest, SelectorWordChoosesTheRecord) {
    setWord(2, 0x0001); // record base 178: words from 89 on
    setWord(108, 0x1200 | 55); // only the low byte counts
    Smart* h = smart();
    uint8_t life = 0;
    ASSERT_EQ(Smart_getRemainingLifeTime(h, &life), ERR_SUCCESS);
    EXPECT_EQ(life, 55);
    EXPECT_EQ(indexesRead().back(), 108);

    setWord(108, 101);
    EXPECT_EQ(Smart_getRemainingLifeTime(h, &life), ERR_NOT_SUPPORTED);
    EXPECT_EQ(life, 55);
}

// The construction state comes before every other check.
TEST_F(SmartTest, StateBeforeEveryCheck) {
    struct Case {
        const char* what;
        std::function<void()> setup;
        ErrorCode state;
    };
    const Case cases[] = {
        {"no record", [this] { setWord(2, 0xFF00); }, ERR_NOT_SUPPORTED},
        {"old firmware", [this] { unit().setValue("driver.versions.ss", "\"1.2.9.9\""); },
         ERR_NEWER_SS_VERSION_REQUIRED},
        {"failed read", [this] { failRequest(kReadWord); }, ERR_IOCTRL_FAILED},
        {"echo", [this] { reply(kReadWord, "03000000"); }, ERR_DATATYPE_MISMATCH},
        {"no driver", // the version reader's open and request come first (code 0 counts every request)
         [this] {
             unit().addFault({{"target", kDriver}, {"code", 0}, {"action", "absent"}, {"skip", 2}, {"remaining", 1}});
         },
         ERR_OPEN_FAILED},
    };
    for (const Case& c : cases) {
        unit().reset();
        c.setup();
        Smart* h = smart();
        EXPECT_EQ(Smart_getRemainingLifeTime(h, nullptr), c.state) << c.what;
        EXPECT_EQ(Smart_getDeviceSerial(h, nullptr, 5), c.state) << c.what;
        EXPECT_EQ(Smart_getInitialTime(h, nullptr), c.state) << c.what;
    }
}

TEST_F(SmartTest, SerialAndTimeLimits) {
    Smart* h = smart();
    char serial[32] = "unchanged";
    EXPECT_EQ(Smart_getDeviceSerial(h, nullptr, 20), ERR_BUFFER_SIZE); // the length first
    EXPECT_EQ(Smart_getDeviceSerial(h, nullptr, 21), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Smart_getRemainingLifeTime(h, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_STREQ(serial, "unchanged");

    int64_t t = 0;
    setWord(3, 0xFFFF);
    setWord(4, 0x0000);
    ASSERT_EQ(Smart_getInitialTime(h, &t), ERR_SUCCESS);
    EXPECT_EQ(t, 65535);
    setWord(3, 0x0000);
    setWord(4, 0x8000); // the high word's top bit makes the time negative
    ASSERT_EQ(Smart_getInitialTime(h, &t), ERR_SUCCESS);
    EXPECT_EQ(t, INT32_MIN);
    setWord(3, 0x1234);
    skipThenFail(1); // the high word's read fails: reported, not taken as 0xFFFF (a wrong time)
    t = 7;
    EXPECT_EQ(Smart_getInitialTime(h, &t), ERR_IOCTRL_FAILED);
    EXPECT_EQ(t, 7);
    setWord(3, 0xFFFF);
    setWord(4, 0xFFFF);
    t = 7;
    EXPECT_EQ(Smart_getInitialTime(h, &t), ERR_INVALID_DATA);
    EXPECT_EQ(t, 7);
}

} // namespace
