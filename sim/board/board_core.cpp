#include "sim/board/board_core.h"

#include <cstring>

namespace tavik::sim::board {
namespace {

CallResult done(uint32_t value, std::string note) { return {value, value != 0, std::move(note)}; }
CallResult failed(std::string note) { return {0, false, std::move(note)}; }

// Which device answers to an address byte on a bus; null when none does.
enum class Device { None, MainEeprom, AddOnEeprom, Expander };

Device deviceAt(const BoardState& s, uint32_t bus, uint32_t address) {
    if (bus != 0) return Device::None;
    switch (address & 0xFE) {
    case kMainEepromAddress: return s.mainEepromPresent ? Device::MainEeprom : Device::None;
    case kAddOnEepromAddress: return s.addOnEepromPresent ? Device::AddOnEeprom : Device::None;
    case kExpanderAddress: return s.expanderPresent ? Device::Expander : Device::None;
    default: return Device::None;
    }
}

std::string where(uint32_t bus, uint32_t address) {
    return "bus " + std::to_string(bus) + ", device " + hexByte(address);
}

// Common checks of a transfer: the handle, then a device that answers.
bool reach(const BoardState& s, uint32_t handle, uint32_t bus, uint32_t address, Device& device,
           CallResult& result) {
    result.note = where(bus, address);
    if (!validBoardHandle(s, handle)) {
        result.note += ": invalid board handle " + std::to_string(handle);
        return false;
    }
    device = deviceAt(s, bus, address);
    if (device == Device::None) {
        result.note += ": no device answers";
        return false;
    }
    return true;
}

bool writeTo(BoardState& s, Device device, const uint8_t* data, uint32_t length) {
    switch (device) {
    case Device::MainEeprom: return s.mainEeprom.write(data, length);
    case Device::AddOnEeprom: return s.addOnEeprom.write(data, length);
    case Device::Expander: return s.expander.write(data, length);
    default: return false;
    }
}

bool readFrom(BoardState& s, Device device, uint8_t* out, uint32_t length) {
    switch (device) {
    case Device::MainEeprom: s.mainEeprom.read(out, length); return true;
    case Device::AddOnEeprom: s.addOnEeprom.read(out, length); return true;
    case Device::Expander: return s.expander.read(out, length);
    default: return false;
    }
}

} // namespace

const char* libraryModeName(LibraryMode mode) {
    switch (mode) {
    case LibraryMode::Ready: return "ready";
    case LibraryMode::NeedsRetry: return "needs_retry";
    case LibraryMode::Unusable: return "unusable";
    }
    return "ready";
}

bool libraryModeFromName(const std::string& name, LibraryMode& mode) {
    for (LibraryMode m : {LibraryMode::Ready, LibraryMode::NeedsRetry, LibraryMode::Unusable}) {
        if (name == libraryModeName(m)) {
            mode = m;
            return true;
        }
    }
    return false;
}

std::string hexByte(uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string s = "0x";
    s.push_back(digits[(value >> 4) & 15]);
    s.push_back(digits[value & 15]);
    return s;
}

bool validBoardHandle(const BoardState& s, uint32_t handle) {
    return handle == kCpuBoardHandle || (handle >= kBoardHandleBase && handle - kBoardHandleBase < s.boards);
}

CallResult libraryInit(const BoardState& s, const ProcessSession& session) {
    switch (s.mode) {
    case LibraryMode::Ready: return done(1, "library usable");
    case LibraryMode::NeedsRetry:
        return session.retried ? done(1, "library usable") : done(0, "library not initialised");
    default: return done(0, "library not usable");
    }
}

CallResult libraryInitRetry(const BoardState& s, ProcessSession& session, uint32_t mode) {
    if (s.mode == LibraryMode::Unusable) return done(0, "library not usable");
    if (mode != 1) return done(0, "mode " + std::to_string(mode) + " not known");
    if (s.mode == LibraryMode::NeedsRetry) session.retried = true;
    return done(1, "library usable");
}

CallResult boardCount(const BoardState& s) {
    return {s.boards, true, std::to_string(s.boards) + " board(s)"};
}

CallResult boardOpen(const BoardState& s, bool hasClass, const std::string& className, uint32_t index,
                     uint32_t flags, uint32_t* handle) {
    const std::string what = (hasClass ? "class " + className : std::string("any class")) + ", index " +
                             std::to_string(index) + ", flags " + std::to_string(flags);
    if (handle == nullptr) return failed(what + ": no handle pointer");
    if (hasClass) {
        if (className != "CPU" || index != 0) return failed(what + ": no such board");
        *handle = kCpuBoardHandle;
    } else {
        if (index >= s.boards) return failed(what + ": no such board");
        *handle = kBoardHandleBase + index;
    }
    return done(1, what + ": handle " + std::to_string(*handle));
}

CallResult boardSelect(const BoardState& s, uint32_t handle) {
    if (!validBoardHandle(s, handle)) return failed("invalid board handle " + std::to_string(handle));
    return done(1, "handle " + std::to_string(handle));
}

CallResult libraryClose(ProcessSession& session) {
    session.retried = false;
    return done(1, "session closed");
}

CallResult i2cWriteRead(BoardState& s, uint32_t handle, uint32_t bus, uint32_t address,
                        const uint8_t* write, uint32_t writeLength, uint8_t* read, uint32_t readLength) {
    CallResult r;
    Device device = Device::None;
    if (!reach(s, handle, bus, address, device, r)) return r;
    if (writeLength > 0 && !writeTo(s, device, write, writeLength)) {
        r.note += ": write refused";
        return r;
    }
    if (readLength > 0 && (read == nullptr || !readFrom(s, device, read, readLength))) {
        r.note += ": read refused";
        return r;
    }
    r.value = 1;
    r.ok = true;
    return r;
}

CallResult i2cWrite(BoardState& s, uint32_t handle, uint32_t bus, uint32_t address, const uint8_t* data,
                    uint32_t length) {
    CallResult r;
    Device device = Device::None;
    if (!reach(s, handle, bus, address, device, r)) return r;
    if (data == nullptr || !writeTo(s, device, data, length)) {
        r.note += ": write refused";
        return r;
    }
    r.value = 1;
    r.ok = true;
    return r;
}

CallResult i2cReadRegister(BoardState& s, uint32_t handle, uint32_t bus, uint32_t address, uint32_t reg,
                           uint8_t* value) {
    const uint8_t select = static_cast<uint8_t>(reg);
    uint8_t byte = 0;
    CallResult r = i2cWriteRead(s, handle, bus, address, &select, 1, &byte, 1);
    if (r.ok) {
        if (value == nullptr) return failed(r.note + ": no value pointer");
        *value = byte;
    }
    return r;
}

CallResult i2cWriteRegister(BoardState& s, uint32_t handle, uint32_t bus, uint32_t address, uint32_t reg,
                            uint32_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(reg), static_cast<uint8_t>(value)};
    return i2cWrite(s, handle, bus, address, bytes, 2);
}

CallResult temperatureSensorCount(const BoardState& s, uint32_t handle) {
    if (!validBoardHandle(s, handle)) return failed("invalid board handle " + std::to_string(handle));
    const auto n = static_cast<uint32_t>(s.sensors.size());
    return {n, true, std::to_string(n) + " sensor(s)"};
}

CallResult temperatureRead(const BoardState& s, uint32_t handle, uint32_t index, int32_t* value,
                           uint32_t* status) {
    if (!validBoardHandle(s, handle)) return failed("invalid board handle " + std::to_string(handle));
    if (index >= s.sensors.size()) return failed("no sensor " + std::to_string(index));
    if (value == nullptr || status == nullptr) return failed("no value or status pointer");
    *value = s.sensors[index].value;
    *status = s.sensors[index].status;
    return done(1, "sensor " + std::to_string(index));
}

CallResult temperatureInfo(const BoardState& s, uint32_t handle, uint32_t index, uint32_t info[11]) {
    if (!validBoardHandle(s, handle)) return failed("invalid board handle " + std::to_string(handle));
    if (index >= s.sensors.size()) return failed("no sensor " + std::to_string(index));
    if (info == nullptr || info[0] != 44) return failed("record size word is not 44");
    std::memset(info + 1, 0, 10 * sizeof(uint32_t));
    info[1] = s.sensors[index].type;
    return done(1, "sensor " + std::to_string(index));
}

} // namespace tavik::sim::board
