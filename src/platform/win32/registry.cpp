// Registry values under HKEY_LOCAL_MACHINE.
#include "platform/registry.h"
#include "platform/backend.h"

#include <windows.h>

#include "platform/win32/text.h"

namespace tavik::platform {
namespace {

HKEY native(RegistryKey key) { return reinterpret_cast<HKEY>(key.value); }

} // namespace

namespace os {

RegistryKey openMachineKey(const std::string& path, RegistryAccess access) {
    const std::wstring wide = win32::widen(path);
    if (wide.empty()) return {};
    HKEY key = nullptr;
    const REGSAM sam = access == RegistryAccess::Read ? KEY_READ : KEY_WRITE;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, sam, &key) != ERROR_SUCCESS) return {};
    RegistryKey h;
    h.value = reinterpret_cast<NativeHandle>(key);
    return h;
}

bool queryRegistryValue(RegistryKey key, const std::string& name, void* data, uint32_t& size,
                        uint32_t& type) {
    if (!key) return false;
    const std::wstring wide = win32::widen(name);
    DWORD kind = 0;
    DWORD bytes = size;
    if (RegQueryValueExW(native(key), wide.c_str(), nullptr, &kind, static_cast<BYTE*>(data), &bytes) !=
        ERROR_SUCCESS)
        return false;
    size = bytes;
    type = kind;
    return true;
}

bool setRegistryValue(RegistryKey key, const std::string& name, uint32_t type, const void* data,
                      uint32_t size) {
    if (!key) return false;
    const std::wstring wide = win32::widen(name);
    return RegSetValueExW(native(key), wide.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

void closeRegistryKey(RegistryKey key) {
    if (key) RegCloseKey(native(key));
}


} // namespace os
} // namespace tavik::platform
