// The Diagnostic family through its exported functions, against the simulated supervisor and
// the board library's temperature sensors.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "frame/handle.h"
#include "power/diagnostic.h"
#include "supervisor_test_support.h"
#include "tavik2/diagnostic.h"

namespace {

using namespace tavik::power;
using Varnholtstad::Diagnostic;
using tavik::sim::json;

class DiagnosticTest : public tavik::test::SupervisorTest {
protected:
    void SetUp() override {
        SupervisorTest::SetUp();
        h_ = GetDiagnostic();
        ASSERT_NE(h_, nullptr);
    }
    void TearDown() override {
        if (h_ != nullptr) Diagnostic_release(h_);
        SupervisorTest::TearDown();
    }
    void setSensors(const json& sensors) { unit().setValue("board.temperatures", sensors.dump()); }
    std::vector<tavik::sim::LogEntry> boardCalls(uint32_t ordinal) {
        std::vector<tavik::sim::LogEntry> out;
        for (auto& e : requests("board"))
            if (e.code == ordinal) out.push_back(e);
        return out;
    }

    Diagnostic* h_ = nullptr;
};

// One 16-bit read: its request, the exported call and the value it delivers.
struct WordRead {
    uint32_t code;
    std::function<ErrorCode(Diagnostic*, int32_t*)> call;
    const char* field;
};

template <class T, ErrorCode(TAVIK_CALL* Op)(Diagnostic*, T*)>
ErrorCode asInt(Diagnostic* h, int32_t* out) {
    T v = static_cast<T>(0x5A5A);
    const ErrorCode e = Op(h, &v);
    *out = v;
    return e;
}

const WordRead kWordReads[] = {
    {kReqSsTemp, &asInt<int16_t, &Diagnostic_getSSTemp>, "ssTemp"},
    {kReqPcbTemp, &asInt<int16_t, &Diagnostic_getPCBTemp>, "pcbTemp"},
    {kReqStartupReason, &asInt<uint16_t, &Diagnostic_getStartupReason>, "startupReason"},
    {kReqShutDownReason, &asInt<uint16_t, &Diagnostic_getShutDownReason>, "shutdownReason"},
    {kReqHwErrorStatus, &asInt<uint16_t, &Diagnostic_getHwErrorStatus>, "hwErrorStatus"},
    {kReqPowerCycles, &asInt<uint16_t, &Diagnostic_getPowerCycles>, "powerCycles"},
};

TEST_F(DiagnosticTest, WordReadsDeliverTheSupervisorsValuesAndRefuseShortReplies) {
    unit().setValue("supervisor.ssTemp", "-12");
    unit().setValue("supervisor.hwErrorStatus", "131");
    for (const WordRead& r : kWordReads) {
        SCOPED_TRACE(r.field);
        int32_t v = 0;
        ASSERT_EQ(r.call(h_, &v), ERR_SUCCESS);
        EXPECT_EQ(v, unit().getValue(std::string("supervisor.") + r.field).get<int32_t>());
        const auto log = sent(r.code);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_TRUE(log[0].in.empty());
        EXPECT_EQ(log[0].returned, 2u);

        // A reply of one byte: ERR_BUFFER_SIZE and the caller's variable untouched.
        returnCount(r.code, 1);
        EXPECT_EQ(r.call(h_, &v), ERR_BUFFER_SIZE);
        EXPECT_EQ(v & 0xFFFF, 0x5A5A);
        failRequest(r.code);
        EXPECT_EQ(r.call(h_, &v), ERR_IOCTRL_FAILED);
    }
}

TEST_F(DiagnosticTest, MinMaxTakesTheMinimumFromTheUpperHalf) {
    reply(kReqMinMaxTemp, "1000f6ff");
    int16_t lo = 99, hi = 99;
    ASSERT_EQ(Diagnostic_getMinMaxTemp(h_, &lo, &hi), ERR_SUCCESS);
    EXPECT_EQ(lo, -10);
    EXPECT_EQ(hi, 16);

    // The model keeps its extremes around the current temperatures.
    unit().setValue("supervisor.ssTemp", "70");
    ASSERT_EQ(Diagnostic_getMinMaxTemp(h_, &lo, &hi), ERR_SUCCESS);
    EXPECT_EQ(lo, -8);
    EXPECT_EQ(hi, 70);
    returnCount(kReqMinMaxTemp, 2);
    lo = hi = 99;
    EXPECT_EQ(Diagnostic_getMinMaxTemp(h_, &lo, &hi), ERR_BUFFER_SIZE);
    EXPECT_EQ(lo, 99);
    EXPECT_EQ(hi, 99);
}

TEST_F(DiagnosticTest, TimerRecordIsCopiedWhole) {
    Varnholtstad::DiagnosticTimes t;
    std::memset(&t, 0xEE, sizeof t);
    returnCount(kReqTimer, 27);
    EXPECT_EQ(Diagnostic_getTimer(h_, &t), ERR_BUFFER_SIZE);
    EXPECT_EQ(t.raw[0], 0xEE);
    unit().setValue("supervisor.timer", "[1, 2, 3, 4, 5, 6, 4294967295]");
    ASSERT_EQ(Diagnostic_getTimer(h_, &t), ERR_SUCCESS);
    const uint8_t expected[28] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0,
                                  5, 0, 0, 0, 6, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(t.raw, expected, 28), 0);
}

TEST_F(DiagnosticTest, ClearHwErrorStatusAcceptsAnyCount) {
    unit().setValue("supervisor.hwErrorStatus", "16");
    returnCount(kReqClearHwError, 5);
    ASSERT_EQ(Diagnostic_clearHwErrorStatus(h_), ERR_SUCCESS);
    uint16_t status = 99;
    ASSERT_EQ(Diagnostic_getHwErrorStatus(h_, &status), ERR_SUCCESS);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(sent(kReqClearHwError).at(0).in.empty());
}

TEST_F(DiagnosticTest, DriverIsOpenedLazilyAndRetriedUntilItAppears) {
    EXPECT_EQ(opens(), 0u); // the factory opens nothing
    driverAbsent(2);
    int16_t t = 0;
    EXPECT_EQ(Diagnostic_getSSTemp(h_, &t), ERR_OPEN_FAILED);
    EXPECT_EQ(Diagnostic_clearHwErrorStatus(h_), ERR_OPEN_FAILED);
    EXPECT_EQ(Diagnostic_getSSTemp(h_, &t), ERR_SUCCESS); // the driver is there now
    EXPECT_EQ(Diagnostic_getPCBTemp(h_, &t), ERR_SUCCESS);
    EXPECT_EQ(opens(), 3u); // opened once it succeeded, never again
}

TEST_F(DiagnosticTest, SharedObjectLivesUntilTheLastRelease) {
    Diagnostic* second = GetDiagnostic();
    EXPECT_EQ(second, h_);
    Diagnostic_release(h_);
    h_ = nullptr;
    int16_t t = 0;
    EXPECT_EQ(Diagnostic_getSSTemp(second, &t), ERR_SUCCESS);
    Diagnostic_release(second);
    EXPECT_EQ(tavik::frame::SharedInstance<Diagnostic_Imp>::current(), nullptr);
    h_ = GetDiagnostic();
    EXPECT_EQ(Diagnostic_getSSTemp(h_, &t), ERR_SUCCESS);
    EXPECT_EQ(opens(), 2u); // the new object opened its own channel
    EXPECT_EQ(Diagnostic_getSSTemp(nullptr, &t), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Diagnostic_getSSTemp(h_, nullptr), ERR_INVALID_PARAMETER);
}

TEST_F(DiagnosticTest, PmTemperatureTruncatesTowardZero) {
    setSensors(json::array({{{"value", 45999}, {"status", 1}, {"type", 7}},
                            {{"value", -1500}, {"status", 2}, {"type", 8}},
                            {{"value", -999}, {"status", 1}, {"type", 9}}}));
    const std::pair<int16_t, int32_t> expected[] = {{45, 7}, {-1, 8}, {0, 9}};
    for (uint8_t i = 0; i < 3; ++i) {
        int16_t t = 99;
        int32_t type = 99;
        ASSERT_EQ(Diagnostic_getPMTemp(h_, i, &t, &type), ERR_SUCCESS) << int(i);
        EXPECT_EQ(t, expected[i].first);
        EXPECT_EQ(type, expected[i].second);
    }
    // The information record goes out with its size word preset.
    const auto info = boardCalls(80);
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(info[0].in.size(), 12u);
    EXPECT_EQ(info[0].in[8], 44);
}

TEST_F(DiagnosticTest, PmTemperatureFailuresLeaveTheOutputsAlone) {
    int16_t t = 99;
    int32_t type = 99;
    EXPECT_EQ(Diagnostic_getPMTemp(h_, 2, &t, &type), ERR_GET_TEMP); // index == count (2)
    setSensors(json::array({{{"value", 30000}, {"status", 0}, {"type", 1}}}));
    EXPECT_EQ(Diagnostic_getPMTemp(h_, 0, &t, &type), ERR_GET_TEMP); // invalid status
    unit().addFault({{"target", "board"}, {"code", 81}, {"action", "fail"}, {"remaining", 1}});
    setSensors(json::array({{{"value", 30000}, {"status", 1}, {"type", 1}}}));
    EXPECT_EQ(Diagnostic_getPMTemp(h_, 0, &t, &type), ERR_GET_TEMP);
    // The "CPU" board opens, board 0 does not: the session fails.
    unit().addFault({{"target", "board"}, {"code", 56}, {"action", "fail"}, {"skip", 1}, {"remaining", 1}});
    EXPECT_EQ(Diagnostic_getPMTemp(h_, 0, &t, &type), ERR_GET_TEMP);
    EXPECT_EQ(t, 99);
    EXPECT_EQ(type, 99);
    // The lock came back on every path: the next read is not blocked.
    EXPECT_EQ(Diagnostic_getPMTemp(h_, 0, &t, &type), ERR_SUCCESS);
    EXPECT_EQ(t, 30);
}

TEST_F(DiagnosticTest, PmTemperatureUsesTheLastBoardsHandle) {
    unit().setValue("board.boards", "2");
    int16_t t = 0;
    int32_t type = 0;
    ASSERT_EQ(Diagnostic_getPMTemp(h_, 1, &t, &type), ERR_SUCCESS);
    EXPECT_EQ(t, 38);
    const auto count = boardCalls(79);
    ASSERT_EQ(count.size(), 1u);
    EXPECT_EQ(count[0].in, bytes({0x01, 0x01, 0, 0})); // board 1: handle 0x101
}

// Threads sharing the object each read with their own session's handle, serialised by the lock.
TEST_F(DiagnosticTest, PmTemperatureFromSeveralThreads) {
    auto reader = [this](uint8_t sensor, int16_t expected) {
        for (int i = 0; i < 5; ++i) {
            int16_t t = 0;
            int32_t type = 0;
            EXPECT_EQ(Diagnostic_getPMTemp(h_, sensor, &t, &type), ERR_SUCCESS);
            EXPECT_EQ(t, expected);
        }
    };
    std::thread first(reader, 0, 42), second(reader, 1, 38);
    first.join();
    second.join();
}

} // namespace
