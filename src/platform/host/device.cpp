// Driver devices of the host build: served by the simulated unit. A unit that cannot be opened
// or written is a driver that does not answer: the open fails, and so does a request.
#include "platform/device.h"

#include "sim/driver.h"

namespace tavik::platform {
namespace {
struct Device {
    std::string name;
};
} // namespace

DeviceHandle openDevice(const std::string& name) {
    try {
        if (!sim::driverDeviceOpen(name)) return {};
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
        return sim::driverDeviceRead(d->name, static_cast<uint8_t*>(buffer), size, read);
    } catch (...) {
        read = 0;
        return false;
    }
}

void closeDevice(DeviceHandle device) {
    if (device) delete reinterpret_cast<Device*>(device.value);
}

} // namespace tavik::platform
