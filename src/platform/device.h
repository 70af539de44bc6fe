// Device I/O on driver devices: CreateFileW / DeviceIoControl / ReadFile / CloseHandle.
#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace tavik::platform {

// Opens a device such as "\\.\TavikDrv" for read and write, no sharing, existing only.
// Does not block beyond the system call. Returns an invalid handle when the device is absent
// or refuses the open; nothing else is reported. The caller closes a valid handle.
DeviceHandle openDevice(const std::string& name);

// One synchronous device-control request. `in`/`out` may be null when their size is 0.
// Returns false when the request failed. `returned` is the byte count the driver reports
// (0 on failure). The output buffer is written only as far as the driver wrote it.
bool deviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize, uint32_t& returned);

// One synchronous read from the device. Returns false on failure; `read` is the byte count.
bool deviceRead(DeviceHandle device, void* buffer, uint32_t size, uint32_t& read);

// Closes a handle from openDevice. An invalid handle is ignored.
void closeDevice(DeviceHandle device);

} // namespace tavik::platform
