// The CPU board as the board-access library shows it: the library's readiness, the boards it
// opens, I2C bus 0 with the two identity EEPROMs and the telematics port expander, and the
// temperature sensors. Plain C++: the simulated unit keeps a BoardState in its shared state
// file, the stand-in board library for Windows keeps one in memory and in image files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/board/eeprom_device.h"
#include "sim/board/expander_device.h"

namespace tavik::sim::board {

// 8-bit device addresses on bus 0 (the read/write bit is ignored when a device is chosen).
constexpr uint32_t kMainEepromAddress = 0xAE;
constexpr uint32_t kAddOnEepromAddress = 0xA4;
constexpr uint32_t kExpanderAddress = 0x40;

// Handles the library hands out: the "CPU" board, and board i of any class.
constexpr uint32_t kCpuBoardHandle = 0xC0;
constexpr uint32_t kBoardHandleBase = 0x100;

enum class LibraryMode {
    Ready,      // libraryInit succeeds
    NeedsRetry, // libraryInit fails until libraryInitRetry(1) succeeded in the process
    Unusable,   // both fail
};

const char* libraryModeName(LibraryMode mode);
bool libraryModeFromName(const std::string& name, LibraryMode& mode);

struct TemperatureSensor {
    int32_t value = 0;   // thousandths of a degree Celsius
    uint32_t status = 1; // 1 or 2: valid reading
    uint32_t type = 1;   // sensor type word of the information record
};

struct BoardState {
    LibraryMode mode = LibraryMode::Ready;
    uint32_t boards = 1;
    bool mainEepromPresent = true;
    bool addOnEepromPresent = true;
    bool expanderPresent = true;
    EepromDevice mainEeprom;
    EepromDevice addOnEeprom;
    ExpanderDevice expander;
    std::vector<TemperatureSensor> sensors;
};

// What the library remembers within one process.
struct ProcessSession {
    bool retried = false; // libraryInitRetry made the library usable
};

// One call's outcome: the library's return value, whether it counts as success, and a note
// for the request log.
struct CallResult {
    uint32_t value = 0;
    bool ok = false;
    std::string note;
};

// The calls, by what they do (the ordinals are in src/platform/board_library.h).
CallResult libraryInit(const BoardState& s, const ProcessSession& session);
CallResult libraryInitRetry(const BoardState& s, ProcessSession& session, uint32_t mode);
CallResult boardCount(const BoardState& s);
// className: the class as narrow text; hasClass false for a null class name.
CallResult boardOpen(const BoardState& s, bool hasClass, const std::string& className, uint32_t index,
                     uint32_t flags, uint32_t* handle);
CallResult boardSelect(const BoardState& s, uint32_t handle);
CallResult libraryClose(ProcessSession& session);
CallResult i2cWriteRead(BoardState& s, uint32_t handle, uint32_t bus, uint32_t address,
                        const uint8_t* write, uint32_t writeLength, uint8_t* read, uint32_t readLength);
CallResult i2cWrite(BoardState& s, uint32_t handle, uint32_t bus, uint32_t address, const uint8_t* data,
                    uint32_t length);
CallResult i2cReadRegister(BoardState& s, uint32_t handle, uint32_t bus, uint32_t address, uint32_t reg,
                           uint8_t* value);
CallResult i2cWriteRegister(BoardState& s, uint32_t handle, uint32_t bus, uint32_t address, uint32_t reg,
                            uint32_t value);
CallResult temperatureSensorCount(const BoardState& s, uint32_t handle);
CallResult temperatureRead(const BoardState& s, uint32_t handle, uint32_t index, int32_t* value,
                           uint32_t* status);
CallResult temperatureInfo(const BoardState& s, uint32_t handle, uint32_t index, uint32_t info[11]);

bool validBoardHandle(const BoardState& s, uint32_t handle);

// "0xae" for the log.
std::string hexByte(uint32_t value);

} // namespace tavik::sim::board
