// The board-access library of the Windows build: Jida.dll, loaded at the first call with
// LoadLibraryW and reached by ordinal only. Without it the DLL still loads and every call
// answers "not usable". With TAVIK_SIM set the calls go to the remote simulated unit instead
// (Jida.dll is then never loaded).
#include "platform/board_library.h"
#include "platform/backend.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "platform/win32/remote_calls.h"
#include "platform/win32/remote_client.h"

namespace tavik::platform::board {
namespace {

// The library's exports: stdcall, every argument one 32-bit word.
using InitFn = BOOL(WINAPI*)();                                         // 3
using InitRetryFn = BOOL(WINAPI*)(DWORD mode);                          // 40
using CountFn = DWORD(WINAPI*)(LPCWSTR className, DWORD flags);         // 55
using OpenFn = BOOL(WINAPI*)(LPCWSTR className, DWORD index, DWORD flags, HANDLE* board); // 56
using SelectFn = DWORD(WINAPI*)(HANDLE board);                          // 9
using CloseFn = BOOL(WINAPI*)();                                        // 4
using WriteReadFn = BOOL(WINAPI*)(HANDLE board, DWORD bus, DWORD address, const BYTE* write,
                                  DWORD writeLength, BYTE* read, DWORD readLength); // 69
using WriteFn = BOOL(WINAPI*)(HANDLE board, DWORD bus, DWORD address, const BYTE* data, DWORD length); // 32
using ReadRegisterFn = BOOL(WINAPI*)(HANDLE board, DWORD bus, DWORD address, DWORD reg, BYTE* value);  // 33
using WriteRegisterFn = BOOL(WINAPI*)(HANDLE board, DWORD bus, DWORD address, DWORD reg, DWORD value); // 34
using SensorCountFn = DWORD(WINAPI*)(HANDLE board);                                                    // 79
using SensorInfoFn = DWORD(WINAPI*)(HANDLE board, DWORD index, void* info);                            // 80
using SensorReadFn = DWORD(WINAPI*)(HANDLE board, DWORD index, DWORD* value, DWORD* status);          // 81

struct Library {
    InitFn init = nullptr;
    InitRetryFn initRetry = nullptr;
    CountFn count = nullptr;
    OpenFn open = nullptr;
    SelectFn select = nullptr;
    CloseFn close = nullptr;
    WriteReadFn writeRead = nullptr;
    WriteFn write = nullptr;
    ReadRegisterFn readRegister = nullptr;
    WriteRegisterFn writeRegister = nullptr;
    SensorCountFn sensorCount = nullptr;
    SensorInfoFn sensorInfo = nullptr;
    SensorReadFn sensorRead = nullptr;
};

Library gLibrary;
// 0: not tried, 1: being loaded by some thread, 2: done (loaded or not).
volatile LONG gLoadState = 0;

template <class Fn>
void find(HMODULE module, WORD ordinal, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

// Loads the library once per process; the module stays loaded until the process ends.
const Library& library() {
    if (InterlockedCompareExchange(&gLoadState, 1, 0) == 0) {
        if (const HMODULE module = LoadLibraryW(L"Jida.dll")) {
            find(module, 3, gLibrary.init);
            find(module, 40, gLibrary.initRetry);
            find(module, 55, gLibrary.count);
            find(module, 56, gLibrary.open);
            find(module, 9, gLibrary.select);
            find(module, 4, gLibrary.close);
            find(module, 69, gLibrary.writeRead);
            find(module, 32, gLibrary.write);
            find(module, 33, gLibrary.readRegister);
            find(module, 34, gLibrary.writeRegister);
            find(module, 79, gLibrary.sensorCount);
            find(module, 80, gLibrary.sensorInfo);
            find(module, 81, gLibrary.sensorRead);
        }
        InterlockedExchange(&gLoadState, 2);
    } else {
        while (InterlockedCompareExchange(&gLoadState, 2, 2) != 2) Sleep(0);
    }
    return gLibrary;
}

HANDLE native(BoardHandle handle) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle)); }

using remote::BoardOrdinal;
using remote::BoardReply;

// One call on the remote unit; false when it could not be asked (the library is then as one
// that is not usable).
bool remoteCall(BoardOrdinal ordinal, std::initializer_list<uint32_t> values, BoardReply& reply,
                const TavikWChar* className = nullptr, const void* data = nullptr, uint32_t dataLength = 0,
                uint32_t readLength = 0) {
    uint32_t args[remote::kBoardArgs] = {};
    uint32_t n = 0;
    for (const uint32_t v : values)
        if (n < remote::kBoardArgs) args[n++] = v;
    return remote::boardCall(ordinal, args, className, data, dataLength, readLength, reply);
}

// The result of a remote call whose only answer is its result; 0 when it could not be asked.
uint32_t remoteResult(BoardOrdinal ordinal, std::initializer_list<uint32_t> values,
                      const TavikWChar* className = nullptr) {
    BoardReply reply;
    return remoteCall(ordinal, values, reply, className) ? reply.result : 0;
}

} // namespace

namespace os {

bool libraryInit() {
    if (remote::enabled()) return remoteResult(BoardOrdinal::LibraryInit, {}) != 0;
    const Library& l = library();
    return l.init != nullptr && l.init() != 0;
}

bool libraryInitRetry(uint32_t mode) {
    if (remote::enabled()) return remoteResult(BoardOrdinal::LibraryInitRetry, {mode}) != 0;
    const Library& l = library();
    return l.initRetry != nullptr && l.initRetry(mode) != 0;
}

uint32_t boardCount(const TavikWChar* className, uint32_t flags) {
    if (remote::enabled()) return remoteResult(BoardOrdinal::BoardCount, {flags}, className);
    const Library& l = library();
    return l.count != nullptr ? l.count(className, flags) : 0;
}

bool boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, BoardHandle* handle) {
    if (remote::enabled()) {
        BoardReply reply;
        if (handle == nullptr || !remoteCall(BoardOrdinal::BoardOpen, {index, flags}, reply, className) ||
            reply.result == 0)
            return false;
        *handle = reply.outs[0];
        return true;
    }
    const Library& l = library();
    if (l.open == nullptr || handle == nullptr) return false;
    HANDLE board = nullptr;
    if (l.open(className, index, flags, &board) == 0) return false;
    *handle = static_cast<BoardHandle>(reinterpret_cast<ULONG_PTR>(board));
    return true;
}

uint32_t boardSelect(BoardHandle handle) {
    if (remote::enabled()) return remoteResult(BoardOrdinal::BoardSelect, {handle});
    const Library& l = library();
    return l.select != nullptr ? l.select(native(handle)) : 0;
}

void libraryClose() {
    if (remote::enabled()) {
        remoteResult(BoardOrdinal::LibraryClose, {});
        return;
    }
    const Library& l = library();
    if (l.close != nullptr) l.close();
}

bool i2cWriteRead(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* write,
                  uint32_t writeLength, uint8_t* read, uint32_t readLength) {
    if (remote::enabled()) {
        BoardReply reply;
        if (!remoteCall(BoardOrdinal::I2cWriteRead, {handle, bus, address}, reply, nullptr, write, writeLength,
                        readLength))
            return false;
        const size_t got = std::min<size_t>(reply.data.size(), readLength);
        if (read != nullptr && got > 0) std::memcpy(read, reply.data.data(), got);
        return reply.result != 0;
    }
    const Library& l = library();
    return l.writeRead != nullptr &&
           l.writeRead(native(handle), bus, address, write, writeLength, read, readLength) != 0;
}

bool i2cWrite(BoardHandle handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length) {
    if (remote::enabled()) {
        BoardReply reply;
        return remoteCall(BoardOrdinal::I2cWrite, {handle, bus, address}, reply, nullptr, data, length) &&
               reply.result != 0;
    }
    const Library& l = library();
    return l.write != nullptr && l.write(native(handle), bus, address, data, length) != 0;
}

bool i2cReadRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value) {
    if (remote::enabled()) {
        BoardReply reply;
        if (value == nullptr || !remoteCall(BoardOrdinal::I2cReadRegister, {handle, bus, address, reg}, reply) ||
            reply.result == 0)
            return false;
        *value = static_cast<uint8_t>(reply.outs[0]);
        return true;
    }
    const Library& l = library();
    if (l.readRegister == nullptr || value == nullptr) return false;
    BYTE byte = 0;
    if (l.readRegister(native(handle), bus, address, reg, &byte) == 0) return false;
    *value = byte;
    return true;
}

bool i2cWriteRegister(BoardHandle handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value) {
    if (remote::enabled()) return remoteResult(BoardOrdinal::I2cWriteRegister, {handle, bus, address, reg, value}) != 0;
    const Library& l = library();
    return l.writeRegister != nullptr && l.writeRegister(native(handle), bus, address, reg, value) != 0;
}

uint32_t temperatureSensorCount(BoardHandle handle) {
    if (remote::enabled()) return remoteResult(BoardOrdinal::TemperatureSensorCount, {handle});
    const Library& l = library();
    return l.sensorCount != nullptr ? l.sensorCount(native(handle)) : 0;
}

uint32_t temperatureRead(BoardHandle handle, uint32_t index, int32_t* value, uint32_t* status) {
    if (remote::enabled()) {
        BoardReply reply;
        if (value == nullptr || status == nullptr ||
            !remoteCall(BoardOrdinal::TemperatureRead, {handle, index}, reply))
            return 0;
        if (reply.result == 1) {
            *value = static_cast<int32_t>(reply.outs[0]);
            *status = reply.outs[1];
        }
        return reply.result;
    }
    const Library& l = library();
    if (l.sensorRead == nullptr || value == nullptr || status == nullptr) return 0;
    DWORD v = 0, s = 0;
    const DWORD result = l.sensorRead(native(handle), index, &v, &s);
    if (result == 1) {
        *value = static_cast<int32_t>(v);
        *status = s;
    }
    return result;
}

uint32_t temperatureInfo(BoardHandle handle, uint32_t index, uint32_t info[11]) {
    if (remote::enabled()) {
        // The record as the library gets it below: its size word set, the rest zero.
        uint8_t record[kTemperatureInfoBytes] = {};
        BoardReply reply;
        if (info == nullptr) return 0;
        remote::putU32(record, info[0]);
        if (!remoteCall(BoardOrdinal::TemperatureInfo, {handle, index}, reply, nullptr, record, sizeof record))
            return 0;
        if (reply.result == 1 && reply.data.size() == kTemperatureInfoBytes)
            for (uint32_t i = 0; i < 11; ++i)
                info[i] = remote::getU32(reinterpret_cast<const uint8_t*>(reply.data.data()) + 4 * i);
        return reply.result;
    }
    const Library& l = library();
    if (l.sensorInfo == nullptr || info == nullptr) return 0;
    DWORD record[11] = {};
    record[0] = info[0];
    const DWORD result = l.sensorInfo(native(handle), index, record);
    if (result == 1)
        for (int i = 0; i < 11; ++i) info[i] = record[i];
    return result;
}


} // namespace os
} // namespace tavik::platform::board
