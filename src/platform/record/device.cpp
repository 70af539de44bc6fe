// Recording of driver-device requests: forwards to the backend, then writes one trace line.
#include <algorithm>

#include "platform/backend.h"
#include "platform/record/recorder.h"

namespace tavik::platform {

using record::HandleKind;

DeviceHandle openDevice(const std::string& name) {
    const DeviceHandle h = os::openDevice(name);
    if (h) record::noteOpen(HandleKind::Device, h.value, name);
    if (record::active()) record::Line("device_open").text("dev", name).flag("ok", h.valid()).commit();
    return h;
}

bool deviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize, uint32_t& returned) {
    const bool ok = os::deviceControl(device, code, in, inSize, out, outSize, returned);
    if (record::active())
        record::Line("ioctl")
            .text("dev", record::nameOf(HandleKind::Device, device.value))
            .number("code", code)
            .bytes("in", in, in != nullptr ? inSize : 0)
            .number("out_size", outSize)
            .bytes("out", out, ok && out != nullptr ? std::min(returned, outSize) : 0)
            .number("ret", returned)
            .flag("ok", ok)
            .commit();
    return ok;
}

bool deviceRead(DeviceHandle device, void* buffer, uint32_t size, uint32_t& read) {
    const bool ok = os::deviceRead(device, buffer, size, read);
    if (record::active())
        record::Line("device_read")
            .text("dev", record::nameOf(HandleKind::Device, device.value))
            .number("size", size)
            .bytes("out", buffer, ok && buffer != nullptr ? std::min(read, size) : 0)
            .number("ret", read)
            .flag("ok", ok)
            .commit();
    return ok;
}

void closeDevice(DeviceHandle device) {
    if (record::active() && device)
        record::Line("device_close").text("dev", record::nameOf(HandleKind::Device, device.value)).commit();
    if (device) record::noteClose(HandleKind::Device, device.value);
    os::closeDevice(device);
}

} // namespace tavik::platform
