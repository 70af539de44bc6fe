// The CPU board maker's board-access library: board session, I2C bus 0 and the board's
// temperature sensors. On Windows it is Jida.dll, loaded at the first call and reached by
// ordinal only (the number after each call below); on the host the simulated unit plays it.
//
// Every call is synchronous and may block for the duration of its bus transfer. A library that
// could not be loaded behaves as one that is not usable: libraryInit and libraryInitRetry give
// false, boardCount and temperatureSensorCount give 0, every other call fails (false or 0)
// without touching its out-parameters.
#pragma once

#include <cstdint>

#include "tavik2/defs.h"

namespace tavik::platform::board {

// A board handle as the library hands it out (32 bits on the target).
using BoardHandle = uint32_t;

// Ordinal 3. Called first in every session; true when the library is usable.
bool libraryInit();

// Ordinal 40, given `mode` 1. Called only after libraryInit returned false: the library's
// second way to become usable. True when it now is.
bool libraryInitRetry(uint32_t mode);

// Ordinal 55, given (null, 0): the number of boards the library knows.
uint32_t boardCount(const TavikWChar* className, uint32_t flags);

// Ordinal 56: opens board `index` of class `className` ("CPU", or null for any class).
// On success writes the board's handle and returns true; on failure leaves it untouched.
bool boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, BoardHandle* handle);

// Ordinal 9: called on the handle of the "CPU" board after it was opened. The result is the
// library's and is not relied on.
uint32_t boardSelect(BoardHandle handle);

// Ordinal 4: ends the library session of this process (handles stay as they are: they are
// plain numbers). Called when an identity EEPROM image is destroyed and at the last release of
// the families that drive the board.
void libraryClose();

// Ordinal 69: on I2C bus `bus`, writes `writeLength` bytes to the device with the 8-bit
// address `address`, then reads `readLength` bytes from it into `read`. True on success; on
// failure `read` may have been written in part.
bool i2cWriteRead(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* write,
                  uint32_t writeLength, uint8_t* read, uint32_t readLength);

// Ordinal 32: on I2C bus `bus`, writes `length` bytes to the device `address`. True on success.
bool i2cWrite(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length);

// Ordinal 33: reads register `reg` of the device `address` (its read address byte) into `value`.
// True on success; `value` is written only then.
bool i2cReadRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value);

// Ordinal 34: writes `value` (the low byte) to register `reg` of the device `address`.
// True on success.
bool i2cWriteRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value);

// Ordinal 79: number of temperature sensors on the board.
uint32_t temperatureSensorCount(BoardHandle handle);

// Ordinal 81: current reading of sensor `index`, in thousandths of a degree Celsius, and its
// status (1 or 2 for a valid reading). Returns the library's result: 1 on success; `value` and
// `status` are written only then.
uint32_t temperatureRead(BoardHandle handle, uint32_t index, int32_t* value, uint32_t* status);

// Size of the sensor information record of temperatureInfo, in bytes (eleven 32-bit words).
constexpr uint32_t kTemperatureInfoBytes = 44;

// Ordinal 80: information record of sensor `index`. The caller sets info[0] to
// kTemperatureInfoBytes; afterwards info[1] is the sensor type. Returns the library's result:
// 1 on success; `info` is written only then.
uint32_t temperatureInfo(BoardHandle handle, uint32_t index, uint32_t info[11]);

} // namespace tavik::platform::board
