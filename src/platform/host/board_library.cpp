// The board-access library of the host build: played by the simulated unit. A unit that cannot
// be opened or written is a library whose calls fail (as a missing or broken library would).
#include "platform/board_library.h"

#include "sim/board_model.h"

namespace tavik::platform::board {
namespace {

// The call's answer, or `failed` when the simulated unit could not serve it.
template <class Call>
auto answer(Call call, decltype(call()) failed) noexcept -> decltype(call()) {
    try {
        return call();
    } catch (...) {
        return failed;
    }
}

} // namespace

bool libraryInit() {
    return answer([] { return sim::boardLibraryInit() != 0; }, false);
}

bool libraryInitRetry(uint32_t mode) {
    return answer([=] { return sim::boardLibraryInitRetry(mode) != 0; }, false);
}

uint32_t boardCount(const TavikWChar* className, uint32_t flags) {
    return answer([=] { return sim::boardCount(className, flags); }, 0u);
}

bool boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, BoardHandle* handle) {
    return answer([=] { return sim::boardOpen(className, index, flags, handle) != 0; }, false);
}

uint32_t boardSelect(BoardHandle handle) {
    return answer([=] { return sim::boardSelect(handle); }, 0u);
}

void libraryClose() {
    answer([] { return sim::boardLibraryClose(); }, 0u);
}

bool i2cWriteRead(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* write,
                  uint32_t writeLength, uint8_t* read, uint32_t readLength) {
    return answer([=] {
        return sim::boardI2cWriteRead(handle, bus, address, write, writeLength, read, readLength) != 0;
    }, false);
}

bool i2cWrite(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length) {
    return answer([=] { return sim::boardI2cWrite(handle, bus, address, data, length) != 0; }, false);
}

bool i2cReadRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value) {
    return answer([=] { return sim::boardI2cReadRegister(handle, bus, address, reg, value) != 0; }, false);
}

bool i2cWriteRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value) {
    return answer([=] { return sim::boardI2cWriteRegister(handle, bus, address, reg, value) != 0; }, false);
}

uint32_t temperatureSensorCount(BoardHandle handle) {
    return answer([=] { return sim::boardTemperatureCount(handle); }, 0u);
}

uint32_t temperatureRead(BoardHandle handle, uint32_t index, int32_t* value, uint32_t* status) {
    return answer([=] { return sim::boardTemperatureRead(handle, index, value, status); }, 0u);
}

uint32_t temperatureInfo(BoardHandle handle, uint32_t index, uint32_t info[11]) {
    return answer([=] { return sim::boardTemperatureInfo(handle, index, info); }, 0u);
}

} // namespace tavik::platform::board
