// Device, board-library and service-control calls as requests to the remote simulated unit.
// GCC 12 takes the Writer's appends to a fresh vector for overflows (a false positive of its
// inlined std::vector::insert); the whole unit is built without that one warning.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
#include "platform/win32/remote_calls.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <vector>

#include "platform/win32/remote_client.h"

namespace tavik::platform::remote {
namespace {

// The remote devices this process holds: its handle value -> the server's device id and the
// connection that opened it.
struct RemoteDevice {
    Generation generation;
    uint32_t id;
};
SRWLOCK gDevicesLock = SRWLOCK_INIT;
std::map<NativeHandle, RemoteDevice> gDevices;
NativeHandle gNextDevice = 0;

struct DevicesLocked {
    DevicesLocked() { AcquireSRWLockExclusive(&gDevicesLock); }
    ~DevicesLocked() { ReleaseSRWLockExclusive(&gDevicesLock); }
    DevicesLocked(const DevicesLocked&) = delete;
    DevicesLocked& operator=(const DevicesLocked&) = delete;
};

bool findDevice(DeviceHandle device, RemoteDevice& found) {
    if (!device) return false;
    DevicesLocked lock;
    const auto it = gDevices.find(device.value);
    if (it == gDevices.end()) return false;
    found = it->second;
    return true;
}

} // namespace

DeviceHandle openDevice(const std::string& name) {
    std::vector<uint8_t> reply;
    Generation generation = 0;
    if (!call(Kind::DeviceOpen, Writer().text(name).data(), reply, 0, &generation)) return {};
    Reader r(reply);
    const uint32_t opened = r.u32();
    const uint32_t id = r.u32();
    if (!r.complete() || opened == 0) return {};
    DevicesLocked lock;
    // Kernel handles are multiples of 4: values with the low bits 11 are never one of them.
    gNextDevice = (gNextDevice + 4) & 0x3FFFFFFC;
    DeviceHandle device;
    device.value = gNextDevice | 3;
    gDevices[device.value] = {generation, id};
    return device;
}

bool deviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize, uint32_t& returned) {
    returned = 0;
    RemoteDevice d;
    if (!findDevice(device, d) || (in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) return false;
    Writer request;
    request.u32(d.id).u32(code).bytes(in, inSize).u32(outSize);
    std::vector<uint8_t> reply;
    if (!call(Kind::DeviceControl, request.data(), reply, d.generation)) return false;
    Reader r(reply);
    const uint32_t ok = r.u32();
    const uint32_t count = r.u32();
    uint32_t written = 0;
    const uint8_t* bytes = r.bytes(written);
    if (!r.complete() || written > outSize) return false;
    if (written > 0) std::memcpy(out, bytes, written);
    if (ok == 0) return false;
    returned = count;
    return true;
}

bool deviceRead(DeviceHandle device, void* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    RemoteDevice d;
    if (!findDevice(device, d) || (buffer == nullptr && size != 0)) return false;
    std::vector<uint8_t> reply;
    if (!call(Kind::DeviceRead, Writer().u32(d.id).u32(size).data(), reply, d.generation)) return false;
    Reader r(reply);
    const uint32_t ok = r.u32();
    uint32_t got = 0;
    const uint8_t* bytes = r.bytes(got);
    if (!r.complete() || got > size) return false;
    if (got > 0) std::memcpy(buffer, bytes, got);
    if (ok == 0) return false;
    read = got;
    return true;
}

void closeDevice(DeviceHandle device) {
    RemoteDevice d;
    {
        DevicesLocked lock;
        const auto it = gDevices.find(device.value);
        if (it == gDevices.end()) return;
        d = it->second;
        gDevices.erase(it);
    }
    // A device of a connection that is gone was closed by the server with it.
    std::vector<uint8_t> reply;
    call(Kind::DeviceClose, Writer().u32(d.id).data(), reply, d.generation);
}

ServiceControlResult controlService(const std::string& serviceName, uint32_t code) {
    std::vector<uint8_t> reply;
    if (!call(Kind::ServiceControl, Writer().text(serviceName).u32(code).data(), reply))
        return ServiceControlResult::NotOpened;
    Reader r(reply);
    const uint32_t answer = r.u32();
    if (!r.complete()) return ServiceControlResult::NotOpened;
    switch (static_cast<ServiceAnswer>(answer)) {
    case ServiceAnswer::Accepted: return ServiceControlResult::Accepted;
    case ServiceAnswer::Refused: return ServiceControlResult::Refused;
    default: return ServiceControlResult::NotOpened;
    }
}

bool boardCall(BoardOrdinal ordinal, const uint32_t (&args)[kBoardArgs], const TavikWChar* className,
               const void* data, uint32_t dataLength, uint32_t readLength, BoardReply& out) {
    if (data == nullptr && dataLength != 0) return false;
    Writer request;
    request.u32(static_cast<uint32_t>(ordinal));
    for (const uint32_t a : args) request.u32(a);
    request.wtext(className).bytes(data, dataLength).u32(readLength);
    std::vector<uint8_t> reply;
    if (!call(Kind::BoardCall, request.data(), reply)) return false;
    Reader r(reply);
    BoardReply got;
    got.result = r.u32();
    for (uint32_t& o : got.outs) o = r.u32();
    got.data = r.text();
    if (!r.complete()) return false;
    out = got;
    return true;
}

} // namespace tavik::platform::remote
