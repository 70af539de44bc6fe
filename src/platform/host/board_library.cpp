// The board-access library of the host build: played by the simulated unit. A unit that cannot
// be opened or written is a library whose calls fail (as a missing or broken library would).
#include "platform/board_library.h"
#include "platform/backend.h"

#include <cstring>

#include "platform/host/replay.h"
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

namespace os {

bool libraryInit() {
    if (auto r = host::replay::board(3, {}, nullptr, nullptr, 0)) return *r != 0;
    return answer([] { return sim::boardLibraryInit() != 0; }, false);
}

bool libraryInitRetry(uint32_t mode) {
    if (auto r = host::replay::board(40, {mode}, nullptr, nullptr, 0)) return *r != 0;
    return answer([=] { return sim::boardLibraryInitRetry(mode) != 0; }, false);
}

uint32_t boardCount(const TavikWChar* className, uint32_t flags) {
    if (auto r = host::replay::board(55, {flags}, className, nullptr, 0)) return *r;
    return answer([=] { return sim::boardCount(className, flags); }, 0u);
}

bool boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, BoardHandle* handle) {
    BoardHandle opened = 0;
    if (auto r = host::replay::board(56, {index, flags}, className, nullptr, 0, &opened, sizeof opened)) {
        if (*r == 0) return false;
        if (handle != nullptr) *handle = opened;
        return true;
    }
    return answer([=] { return sim::boardOpen(className, index, flags, handle) != 0; }, false);
}

uint32_t boardSelect(BoardHandle handle) {
    if (auto r = host::replay::board(9, {handle}, nullptr, nullptr, 0)) return *r;
    return answer([=] { return sim::boardSelect(handle); }, 0u);
}

void libraryClose() {
    if (host::replay::board(4, {}, nullptr, nullptr, 0)) return;
    answer([] { return sim::boardLibraryClose(); }, 0u);
}

bool i2cWriteRead(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* write,
                  uint32_t writeLength, uint8_t* read, uint32_t readLength) {
    if (auto r = host::replay::board(69, {handle, bus, address, readLength}, nullptr, write, writeLength, read, readLength))
        return *r != 0;
    return answer([=] {
        return sim::boardI2cWriteRead(handle, bus, address, write, writeLength, read, readLength) != 0;
    }, false);
}

bool i2cWrite(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length) {
    if (auto r = host::replay::board(32, {handle, bus, address}, nullptr, data, length)) return *r != 0;
    return answer([=] { return sim::boardI2cWrite(handle, bus, address, data, length) != 0; }, false);
}

bool i2cReadRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value) {
    uint8_t got = 0;
    if (auto r = host::replay::board(33, {handle, bus, address, reg}, nullptr, nullptr, 0, &got, 1)) {
        if (*r != 0 && value != nullptr) *value = got;
        return *r != 0;
    }
    return answer([=] { return sim::boardI2cReadRegister(handle, bus, address, reg, value) != 0; }, false);
}

bool i2cWriteRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value) {
    if (auto r = host::replay::board(34, {handle, bus, address, reg, value}, nullptr, nullptr, 0)) return *r != 0;
    return answer([=] { return sim::boardI2cWriteRegister(handle, bus, address, reg, value) != 0; }, false);
}

uint32_t temperatureSensorCount(BoardHandle handle) {
    if (auto r = host::replay::board(79, {handle}, nullptr, nullptr, 0)) return *r;
    return answer([=] { return sim::boardTemperatureCount(handle); }, 0u);
}

uint32_t temperatureRead(BoardHandle handle, uint32_t index, int32_t* value, uint32_t* status) {
    uint8_t got[8] = {};
    if (auto r = host::replay::board(81, {handle, index}, nullptr, nullptr, 0, got, sizeof got)) {
        if (*r == 1 && value != nullptr && status != nullptr) {
            std::memcpy(value, got, 4);
            std::memcpy(status, got + 4, 4);
        }
        return *r;
    }
    return answer([=] { return sim::boardTemperatureRead(handle, index, value, status); }, 0u);
}

uint32_t temperatureInfo(BoardHandle handle, uint32_t index, uint32_t info[11]) {
    uint32_t got[11] = {};
    if (auto r = host::replay::board(80, {handle, index, info != nullptr ? info[0] : 0}, nullptr, nullptr, 0, got,
                                     kTemperatureInfoBytes)) {
        if (*r == 1 && info != nullptr) std::memcpy(info, got, kTemperatureInfoBytes);
        return *r;
    }
    return answer([=] { return sim::boardTemperatureInfo(handle, index, info); }, 0u);
}


} // namespace os
} // namespace tavik::platform::board
