// Opaque handles the platform backends hand to the system code.
#pragma once

#include <cstdint>

namespace tavik::platform {

// A backend's native handle value (a Win32 HANDLE on Windows, a backend-owned id on the host).
using NativeHandle = std::intptr_t;

template <class Tag>
struct Handle {
    NativeHandle value = kInvalid;
    static constexpr NativeHandle kInvalid = -1;
    bool valid() const { return value != kInvalid; }
    explicit operator bool() const { return valid(); }
};

struct DeviceTag {};
struct SemaphoreTag {};
struct ThreadTag {};
struct FileTag {};

using DeviceHandle = Handle<DeviceTag>;
using SemaphoreHandle = Handle<SemaphoreTag>;
using ThreadHandle = Handle<ThreadTag>;
using FileHandle = Handle<FileTag>;

// Wait time meaning "no time limit" (INFINITE).
constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

enum class WaitResult { Signaled, Timeout, Failed };

} // namespace tavik::platform
