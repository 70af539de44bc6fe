// Driver devices of the host build: served by the simulated unit. A unit that cannot be opened
// or written is a driver that does not answer: the open fails, and so does a request.
#include "platform/device.h"
#include "platform/backend.h"

#include "platform/host/replay.h"
#include "sim/driver.h"

namespace tavik::platform {
namespace {
struct Device {
    std::string name;
};
} // namespace

namespace os {

DeviceHandle openDevice(const std::string& name) {
    try {
        const auto replayed = host::replay::deviceOpen(name);
        if (replayed ? !*replayed : !sim::driverDeviceOpen(name)) return {};
        DeviceHandle h;
        h.value = reinterpret_cast<NativeHandle>(new Device{name});
        return h;
    } catch (...) {
        return {};
    }
}

bool deviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize, uint32_t& returned) {
    returned = 0;
    if (!device) return false;
    const auto* d = reinterpret_cast<const Device*>(device.value);
    try {
        if (auto r = host::replay::deviceControl(d->name, code, in, inSize, out, outSize, returned)) return *r;
        return sim::driverDeviceControl(d->name, code, static_cast<const uint8_t*>(in), inSize,
                                        static_cast<uint8_t*>(out), outSize, returned);
    } catch (...) {
        returned = 0;
        return false;
    }
}

bool deviceRead(DeviceHandle device, void* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    if (!device) return false;
    const auto* d = reinterpret_cast<const Device*>(device.value);
    try {
        if (auto r = host::replay::deviceRead(d->name, buffer, size, read)) return *r;
        return sim::driverDeviceRead(d->name, static_cast<uint8_t*>(buffer), size, read);
    } catch (...) {
        read = 0;
        return false;
    }
}

void closeDevice(DeviceHandle device) {
    if (!device) return;
    auto* d = reinterpret_cast<Device*>(device.value);
    host::replay::deviceClose(d->name);
    delete d;
}


} // namespace os
} // namespace tavik::platform
