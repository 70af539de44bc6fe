// The board-access library session and the I2C lock against the simulated board.
#include <gtest/gtest.h>

#include <cstdio>

#include "board_test_support.h"
#include "frame/board_session.h"
#include "identity/eeprom_image.h"
#include "sim/board/board_core.h"

namespace {

using tavik::frame::BoardHandle;
using tavik::frame::openJidaBoard;
using tavik::test::words;
namespace bc = tavik::sim::board;

class BoardSessionTest : public tavik::test::BoardTest {};

TEST_F(BoardSessionTest, UsableLibraryOpensTheCpuBoardThenEveryBoard) {
    BoardHandle handle = 0;
    ASSERT_TRUE(openJidaBoard(handle));
    EXPECT_EQ(handle, bc::kBoardHandleBase); // board 0, the last of one

    const auto log = calls();
    ASSERT_EQ(ordinals(), (std::vector<uint32_t>{3, 55, 56, 9, 56}));
    EXPECT_EQ(log[1].in, words({0}));                          // count: flags 0
    EXPECT_NE(log[1].note.find("class null"), std::string::npos); // ...and no class
    EXPECT_EQ(log[2].in, words({0, 0}));                       // "CPU", index 0, flags 0
    EXPECT_NE(log[2].note.find("class CPU"), std::string::npos);
    EXPECT_EQ(log[3].in, words({bc::kCpuBoardHandle}));       // select on the CPU board's handle
    EXPECT_EQ(log[4].in, words({0, 0}));                       // board 0 of any class
    EXPECT_NE(log[4].note.find("any class"), std::string::npos);
}

TEST_F(BoardSessionTest, LibraryThatNeedsItsSecondWay) {
    setBoard("library", "needs_retry");
    BoardHandle handle = 0;
    ASSERT_TRUE(openJidaBoard(handle));
    EXPECT_EQ(ordinals(), (std::vector<uint32_t>{3, 40, 3, 55, 56, 9, 56}));
    const auto log = calls();
    EXPECT_EQ(log[0].returned, 0u);
    EXPECT_EQ(log[1].in, words({1}));
    EXPECT_EQ(log[2].returned, 1u);
}

TEST_F(BoardSessionTest, UnusableLibraryFailsBeforeAnyBoardIsOpened) {
    setBoard("library", "unusable");
    BoardHandle handle = 77;
    EXPECT_FALSE(openJidaBoard(handle));
    EXPECT_EQ(handle, 77u);
    EXPECT_EQ(ordinals(), (std::vector<uint32_t>{3, 40}));

    // A library whose first call fails once recovers through the second way.
    setBoard("library", "ready");
    unit().clearLog();
    boardFault({{"code", 3}, {"action", "fail"}, {"remaining", 1}});
    EXPECT_TRUE(openJidaBoard(handle));
    EXPECT_EQ(ordinals(), (std::vector<uint32_t>{3, 40, 3, 55, 56, 9, 56}));
}

TEST_F(BoardSessionTest, EveryCountedBoardIsOpenedAndTheLastHandleIsKept) {
    setBoard("boards", 3);
    BoardHandle handle = 0;
    ASSERT_TRUE(openJidaBoard(handle));
    EXPECT_EQ(handle, bc::kBoardHandleBase + 2);
    const auto opens = calls(56);
    ASSERT_EQ(opens.size(), 4u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(opens[i + 1].in, words({i, 0}));

    // No boards counted: the handle is the CPU board's.
    unit().clearLog();
    boardFault({{"code", 55}, {"action", "value"}, {"value", 0}, {"remaining", 1}});
    ASSERT_TRUE(openJidaBoard(handle));
    EXPECT_EQ(handle, bc::kCpuBoardHandle);
    EXPECT_EQ(ordinals(), (std::vector<uint32_t>{3, 55, 56, 9}));
}

TEST_F(BoardSessionTest, OpenFailures) {
    // The "CPU" board not opening is no failure, it only skips the select.
    boardFault({{"code", 56}, {"action", "fail"}, {"remaining", 1}});
    BoardHandle handle = 0;
    EXPECT_TRUE(openJidaBoard(handle));
    EXPECT_EQ(ordinals(), (std::vector<uint32_t>{3, 55, 56, 56}));

    // Any counted board not opening is.
    unit().clearLog();
    setBoard("boards", 2);
    boardFault({{"code", 56}, {"action", "fail"}, {"skip", 2}, {"remaining", 1}});
    EXPECT_FALSE(openJidaBoard(handle));
    EXPECT_EQ(ordinals(), (std::vector<uint32_t>{3, 55, 56, 9, 56, 56}));
}

TEST_F(BoardSessionTest, I2cLockIsTheMachineWideSemaphore) {
    {
        tavik::frame::I2cLock lock;
        ASSERT_TRUE(lock.held());
        // Held: another taker of the same name does not get it.
        tavik::frame::ScopedCrossProcessLock other(tavik::frame::kI2cLockName, 0);
        EXPECT_FALSE(other.held());
        EXPECT_TRUE(other.timedOut());
    }
    // Given back at the end of the scope.
    tavik::frame::ScopedCrossProcessLock again(tavik::frame::kI2cLockName, 0);
    EXPECT_TRUE(again.held());
}

// A read in this process waits while another process holds "JIDA_I2C" over its own transfers:
// none of this process's transfers falls between the other's.
TEST_F(BoardSessionTest, EepromReadWaitsForAnotherProcessHoldingTheLock) {
    const std::string cmd = "TAVIK_HOME='" + home() + "' TAVIK_TIME_SCALE=1000 " +
                            tavik::test::binPath("i2c_lock_holder");
    FILE* holder = ::popen(cmd.c_str(), "r");
    ASSERT_NE(holder, nullptr);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, holder), nullptr);
    ASSERT_STREQ(line, "held\n");

    BoardHandle handle = 0;
    ASSERT_TRUE(openJidaBoard(handle));
    uint8_t content[tavik::identity::kEepromSize];
    int32_t read = 0;
    EXPECT_TRUE(tavik::identity::eepromRead(handle, tavik::identity::kMainEeprom, content, &read));
    const int status = ::pclose(holder);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    const uint32_t self = tavik::platform::currentProcessId();
    std::vector<uint32_t> pids;
    for (const auto& e : calls(69)) pids.push_back(e.pid);
    ASSERT_EQ(pids.size(), 5u); // three of the holder's, two chunks of this read
    for (int i = 0; i < 3; ++i) EXPECT_NE(pids[i], self) << "transfer " << i;
    for (int i = 3; i < 5; ++i) EXPECT_EQ(pids[i], self) << "transfer " << i;
}

} // namespace
