// The board-access library of the host build: played by the simulated unit.
#include "platform/board_library.h"

#include "sim/board_model.h"

namespace tavik::platform::board {

bool libraryInit() { return sim::boardLibraryInit() != 0; }

bool libraryInitRetry(uint32_t mode) { return sim::boardLibraryInitRetry(mode) != 0; }

uint32_t boardCount(const TavikWChar* className, uint32_t flags) { return sim::boardCount(className, flags); }

bool boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, BoardHandle* handle) {
    return sim::boardOpen(className, index, flags, handle) != 0;
}

uint32_t boardSelect(BoardHandle handle) { return sim::boardSelect(handle); }

void libraryClose() { sim::boardLibraryClose(); }

bool i2cWriteRead(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* write,
                  uint32_t writeLength, uint8_t* read, uint32_t readLength) {
    return sim::boardI2cWriteRead(handle, bus, address, write, writeLength, read, readLength) != 0;
}

bool i2cWrite(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length) {
    return sim::boardI2cWrite(handle, bus, address, data, length) != 0;
}

bool i2cReadRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value) {
    return sim::boardI2cReadRegister(handle, bus, address, reg, value) != 0;
}

bool i2cWriteRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value) {
    return sim::boardI2cWriteRegister(handle, bus, address, reg, value) != 0;
}

uint32_t temperatureSensorCount(BoardHandle handle) { return sim::boardTemperatureCount(handle); }

uint32_t temperatureRead(BoardHandle handle, uint32_t index, int32_t* value, uint32_t* status) {
    return sim::boardTemperatureRead(handle, index, value, status);
}

uint32_t temperatureInfo(BoardHandle handle, uint32_t index, uint32_t info[11]) {
    return sim::boardTemperatureInfo(handle, index, info);
}

} // namespace tavik::platform::board
