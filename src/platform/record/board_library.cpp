// Recording of board-library calls: forwards to the backend, then writes one trace line with the
// ordinal, the plain arguments, the bytes given ("in"), the bytes or values handed back ("out")
// and the call's result.
#include <cstring>
#include <initializer_list>

#include "platform/backend.h"
#include "platform/record/recorder.h"

namespace tavik::platform::board {
namespace {

record::Line call(uint32_t ordinal, std::initializer_list<uint32_t> args) {
    record::Line line("board");
    line.number("ord", ordinal).numbers("args", args.begin(), args.size());
    return line;
}

void commitClass(record::Line& line, const TavikWChar* className) {
    if (className != nullptr) line.text("cls", record::className(className));
}

} // namespace

bool libraryInit() {
    const bool r = os::libraryInit();
    if (record::active()) call(3, {}).number("result", r).commit();
    return r;
}

bool libraryInitRetry(uint32_t mode) {
    const bool r = os::libraryInitRetry(mode);
    if (record::active()) call(40, {mode}).number("result", r).commit();
    return r;
}

uint32_t boardCount(const TavikWChar* className, uint32_t flags) {
    const uint32_t r = os::boardCount(className, flags);
    if (record::active()) {
        record::Line line = call(55, {flags});
        commitClass(line, className);
        line.number("result", r).commit();
    }
    return r;
}

bool boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, BoardHandle* handle) {
    const bool r = os::boardOpen(className, index, flags, handle);
    if (record::active()) {
        record::Line line = call(56, {index, flags});
        commitClass(line, className);
        if (r && handle != nullptr) line.bytes("out", handle, sizeof *handle);
        line.number("result", r).commit();
    }
    return r;
}

uint32_t boardSelect(BoardHandle handle) {
    const uint32_t r = os::boardSelect(handle);
    if (record::active()) call(9, {handle}).number("result", r).commit();
    return r;
}

void libraryClose() {
    os::libraryClose();
    if (record::active()) call(4, {}).commit();
}

bool i2cWriteRead(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* write,
                  uint32_t writeLength, uint8_t* read, uint32_t readLength) {
    const bool r = os::i2cWriteRead(handle, bus, address, write, writeLength, read, readLength);
    if (record::active())
        call(69, {handle, bus, address, readLength})
            .bytes("in", write, write != nullptr ? writeLength : 0)
            .bytes("out", read, r && read != nullptr ? readLength : 0)
            .number("result", r)
            .commit();
    return r;
}

bool i2cWrite(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length) {
    const bool r = os::i2cWrite(handle, bus, address, data, length);
    if (record::active())
        call(32, {handle, bus, address}).bytes("in", data, data != nullptr ? length : 0).number("result", r).commit();
    return r;
}

bool i2cReadRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value) {
    const bool r = os::i2cReadRegister(handle, bus, address, reg, value);
    if (record::active())
        call(33, {handle, bus, address, reg}).bytes("out", value, r && value != nullptr ? 1 : 0).number("result", r).commit();
    return r;
}

bool i2cWriteRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value) {
    const bool r = os::i2cWriteRegister(handle, bus, address, reg, value);
    if (record::active()) call(34, {handle, bus, address, reg, value}).number("result", r).commit();
    return r;
}

uint32_t temperatureSensorCount(BoardHandle handle) {
    const uint32_t r = os::temperatureSensorCount(handle);
    if (record::active()) call(79, {handle}).number("result", r).commit();
    return r;
}

uint32_t temperatureRead(BoardHandle handle, uint32_t index, int32_t* value, uint32_t* status) {
    const uint32_t r = os::temperatureRead(handle, index, value, status);
    if (record::active()) {
        record::Line line = call(81, {handle, index});
        if (r == 1 && value != nullptr && status != nullptr) {
            uint8_t out[8];
            std::memcpy(out, value, 4);
            std::memcpy(out + 4, status, 4);
            line.bytes("out", out, sizeof out);
        }
        line.number("result", r).commit();
    }
    return r;
}

uint32_t temperatureInfo(BoardHandle handle, uint32_t index, uint32_t info[11]) {
    const uint32_t given = info != nullptr ? info[0] : 0; // the record size the caller set
    const uint32_t r = os::temperatureInfo(handle, index, info);
    if (record::active()) {
        record::Line line = call(80, {handle, index, given});
        if (r == 1 && info != nullptr) line.bytes("out", info, kTemperatureInfoBytes);
        line.number("result", r).commit();
    }
    return r;
}

} // namespace tavik::platform::board
