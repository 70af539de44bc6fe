// Driver devices: the real device files of the auxiliary and video drivers, or with TAVIK_SIM
// set those of the remote simulated unit.
#include "platform/device.h"
#include "platform/backend.h"

#include <windows.h>

#include "platform/win32/remote_calls.h"
#include "platform/win32/remote_client.h"
#include "platform/win32/text.h"

namespace tavik::platform {
namespace {
HANDLE native(DeviceHandle device) { return reinterpret_cast<HANDLE>(device.value); }
} // namespace

namespace os {

DeviceHandle openDevice(const std::string& name) {
    if (remote::enabled()) return remote::openDevice(name);
    const std::wstring wide = win32::widen(name);
    if (wide.empty()) return {};
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    DeviceHandle device;
    device.value = reinterpret_cast<NativeHandle>(h);
    return device;
}

bool deviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize, uint32_t& returned) {
    if (remote::enabled()) return remote::deviceControl(device, code, in, inSize, out, outSize, returned);
    returned = 0;
    if (!device) return false;
    DWORD count = 0;
    // DeviceIoControl takes a non-const input buffer; buffered requests never write it.
    const BOOL ok = DeviceIoControl(native(device), code, const_cast<void*>(in), inSize, out, outSize,
                                    &count, nullptr);
    if (!ok) return false;
    returned = count;
    return true;
}

bool deviceRead(DeviceHandle device, void* buffer, uint32_t size, uint32_t& read) {
    if (remote::enabled()) return remote::deviceRead(device, buffer, size, read);
    read = 0;
    if (!device) return false;
    DWORD count = 0;
    if (!ReadFile(native(device), buffer, size, &count, nullptr)) return false;
    read = count;
    return true;
}

void closeDevice(DeviceHandle device) {
    if (remote::enabled()) return remote::closeDevice(device);
    if (device) CloseHandle(native(device));
}


} // namespace os
} // namespace tavik::platform
