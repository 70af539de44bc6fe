// The board-access library as the simulated unit plays it. Each call is one access to the
// unit's state, logged with target "board" and the call's ordinal as code; faults with target
// "board" make calls fail (docs/simulator.md, "Board library and EEPROMs").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/unit.h"
#include "tavik2/defs.h"

namespace tavik::sim {

constexpr const char* kBoardTarget = "board";

// The calls of the board library, with the arguments of src/platform/board_library.h.
uint32_t boardLibraryInit();
uint32_t boardLibraryInitRetry(uint32_t mode);
uint32_t boardCount(const TavikWChar* className, uint32_t flags);
uint32_t boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, uint32_t* handle);
uint32_t boardSelect(uint32_t handle);
uint32_t boardLibraryClose();
uint32_t boardI2cWriteRead(uint32_t handle, uint32_t bus, uint32_t address, const uint8_t* write,
                           uint32_t writeLength, uint8_t* read, uint32_t readLength);
uint32_t boardI2cWrite(uint32_t handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length);
uint32_t boardI2cReadRegister(uint32_t handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value);
uint32_t boardI2cWriteRegister(uint32_t handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value);
uint32_t boardTemperatureCount(uint32_t handle);
uint32_t boardTemperatureRead(uint32_t handle, uint32_t index, int32_t* value, uint32_t* status);
uint32_t boardTemperatureInfo(uint32_t handle, uint32_t index, uint32_t info[11]);

// Forgets what the library remembers for a remote client (sim::Client) whose connection ended.
void boardEndClientSession(uint64_t clientId);

// The board's power-up, as at every power cycle of the unit: the port expander loses its
// programming (direction 0xFF, latches 0) and the modules behind it are off.
void boardPowerUp(Txn& txn);

// The two identity EEPROMs in the state: "main" and "addon".
bool isEepromName(const std::string& which);

// The 4096 bytes of an EEPROM in a state (all 0xFF when the state has none).
std::vector<uint8_t> eepromContents(Txn& txn, const std::string& which);
// Replaces the contents (shorter data is filled up with 0xFF).
void setEepromContents(Txn& txn, const std::string& which, const std::vector<uint8_t>& bytes);

// The image a profile gives an EEPROM: a list of "KEY:VALUE" records (each followed by CR LF),
// or an object with "text" (the bytes as they are), "hex" (raw bytes) or "records".
// Null when the profile says the device is not fitted.
bool eepromImageFromProfile(const json& source, std::vector<uint8_t>& image, std::string* error = nullptr);

} // namespace tavik::sim
