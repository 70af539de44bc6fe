// The registry under HKEY_LOCAL_MACHINE: RegOpenKeyExW / RegQueryValueExW / RegSetValueExW /
// RegCloseKey. Paths and value names are plain ASCII; value data passes as the exact bytes stored
// (REG_SZ data is UTF-16LE, as the system keeps it).
#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace tavik::platform {

struct RegistryKeyTag {};
using RegistryKey = Handle<RegistryKeyTag>;

enum class RegistryAccess {
    Read,  // KEY_READ
    Write, // KEY_WRITE
};

// Value types, numbered as the registry numbers them.
constexpr uint32_t kRegSz = 1;     // REG_SZ
constexpr uint32_t kRegBinary = 3; // REG_BINARY
constexpr uint32_t kRegDword = 4;  // REG_DWORD

// Opens an existing key (path without the hive, e.g. "SYSTEM\CurrentControlSet\..."); never
// creates one. Does not block beyond the system call. Invalid handle when the key is missing or
// the access is refused. The caller closes a valid handle.
RegistryKey openMachineKey(const std::string& path, RegistryAccess access);

// Reads one value into `data`, whose capacity is `size` bytes. On success `size` is the value's
// byte count and `type` its type. False when the value is missing, unreadable or longer than the
// buffer; `data` may then hold anything, `size` and `type` are unspecified.
bool queryRegistryValue(RegistryKey key, const std::string& name, void* data, uint32_t& size,
                        uint32_t& type);

// Writes one value with exactly `size` bytes of `data`. False when the write is refused.
bool setRegistryValue(RegistryKey key, const std::string& name, uint32_t type, const void* data,
                      uint32_t size);

// Closes a key from openMachineKey. An invalid handle is ignored.
void closeRegistryKey(RegistryKey key);

} // namespace tavik::platform
