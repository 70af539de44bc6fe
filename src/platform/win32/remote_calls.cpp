// Device, board-library and service-control calls as requests to the remote simulated unit.
// GCC 12 takes the Writer's appends to a fresh vector for overflows (a false positive of its
// inlined std::vector::insert); the whole unit is built without that one warning.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
#include "platform/win32/remote_calls.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>
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

// One request and its decoded reply; false when the server could not be asked or the reply does
// not decode.
template <class Request, class Reply>
bool ask(const Request& request, std::vector<uint8_t>& payload, Reply& reply, Generation required = 0,
         Generation* answered = nullptr) {
    return call(Request::kind, encoded(request), payload, required, answered) && decode(payload, reply);
}

} // namespace

DeviceHandle openDevice(const std::string& name) {
    DeviceOpenRequest request;
    request.name = name;
    std::vector<uint8_t> payload;
    DeviceOpenReply reply;
    Generation generation = 0;
    if (!ask(request, payload, reply, 0, &generation) || !reply.opened) return {};
    DevicesLocked lock;
    // Kernel handles are multiples of 4: values with the low bits 11 are never one of them.
    gNextDevice = (gNextDevice + 4) & 0x3FFFFFFC;
    DeviceHandle device;
    device.value = gNextDevice | 3;
    gDevices[device.value] = {generation, reply.device};
    return device;
}

bool deviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize, uint32_t& returned) {
    returned = 0;
    RemoteDevice d;
    if (!findDevice(device, d) || (in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) return false;
    DeviceControlRequest request;
    request.device = d.id;
    request.code = code;
    request.in = {static_cast<const uint8_t*>(in), inSize};
    request.outSize = outSize;
    std::vector<uint8_t> payload;
    DeviceControlReply reply;
    if (!ask(request, payload, reply, d.generation) || reply.out.size > outSize) return false;
    if (reply.out.size > 0) std::memcpy(out, reply.out.data, reply.out.size);
    if (!reply.ok) return false;
    returned = reply.returned;
    return true;
}

bool deviceRead(DeviceHandle device, void* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    RemoteDevice d;
    if (!findDevice(device, d) || (buffer == nullptr && size != 0)) return false;
    DeviceReadRequest request;
    request.device = d.id;
    request.size = size;
    std::vector<uint8_t> payload;
    DeviceReadReply reply;
    if (!ask(request, payload, reply, d.generation) || reply.data.size > size) return false;
    if (reply.data.size > 0) std::memcpy(buffer, reply.data.data, reply.data.size);
    if (!reply.ok) return false;
    read = reply.data.size;
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
    DeviceCloseRequest request;
    request.device = d.id;
    std::vector<uint8_t> payload;
    DeviceCloseReply reply;
    ask(request, payload, reply, d.generation);
}

ServiceControlResult controlService(const std::string& serviceName, uint32_t code) {
    ServiceControlRequest request;
    request.service = serviceName;
    request.code = code;
    std::vector<uint8_t> payload;
    ServiceControlReply reply;
    if (!ask(request, payload, reply)) return ServiceControlResult::NotOpened;
    switch (reply.answer) {
    case ServiceAnswer::Accepted: return ServiceControlResult::Accepted;
    case ServiceAnswer::Refused: return ServiceControlResult::Refused;
    default: return ServiceControlResult::NotOpened;
    }
}

bool boardCall(BoardOrdinal ordinal, const uint32_t (&args)[kBoardArgs], const TavikWChar* className,
               const void* data, uint32_t dataLength, uint32_t readLength, BoardReply& out) {
    if (data == nullptr && dataLength != 0) return false;
    BoardCallRequest request;
    request.ordinal = ordinal;
    std::copy(std::begin(args), std::end(args), request.args);
    request.hasClass = className != nullptr;
    for (const TavikWChar* c = className; c != nullptr && *c != 0; ++c)
        request.className.push_back(static_cast<char16_t>(*c));
    request.data = {static_cast<const uint8_t*>(data), dataLength};
    request.readLength = readLength;
    std::vector<uint8_t> payload;
    BoardCallReply reply;
    if (!ask(request, payload, reply)) return false;
    out.result = reply.result;
    std::copy(std::begin(reply.outs), std::end(reply.outs), out.outs);
    out.data.assign(reinterpret_cast<const char*>(reply.data.data), reply.data.size);
    return true;
}

} // namespace tavik::platform::remote
