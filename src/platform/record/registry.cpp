// Recording of registry access: forwards to the backend, then writes one trace line.
#include "platform/backend.h"
#include "platform/record/recorder.h"

namespace tavik::platform {

using record::HandleKind;

RegistryKey openMachineKey(const std::string& path, RegistryAccess access) {
    const RegistryKey k = os::openMachineKey(path, access);
    if (k) record::noteOpen(HandleKind::RegistryKey, k.value, path);
    if (record::active())
        record::Line("reg_open")
            .text("key", path)
            .text("access", access == RegistryAccess::Read ? "read" : "write")
            .flag("ok", k.valid())
            .commit();
    return k;
}

bool queryRegistryValue(RegistryKey key, const std::string& name, void* data, uint32_t& size,
                        uint32_t& type) {
    const uint32_t capacity = size;
    const bool ok = os::queryRegistryValue(key, name, data, size, type);
    if (record::active()) {
        record::Line line("reg_query");
        line.text("key", record::nameOf(HandleKind::RegistryKey, key.value)).text("name", name).number("cap", capacity);
        if (ok) line.bytes("data", data, size <= capacity ? size : 0).number("type", type);
        line.flag("ok", ok).commit();
    }
    return ok;
}

bool setRegistryValue(RegistryKey key, const std::string& name, uint32_t type, const void* data,
                      uint32_t size) {
    const bool ok = os::setRegistryValue(key, name, type, data, size);
    if (record::active())
        record::Line("reg_set")
            .text("key", record::nameOf(HandleKind::RegistryKey, key.value))
            .text("name", name)
            .number("type", type)
            .bytes("data", data, data != nullptr ? size : 0)
            .flag("ok", ok)
            .commit();
    return ok;
}

void closeRegistryKey(RegistryKey key) {
    if (record::active() && key)
        record::Line("reg_close").text("key", record::nameOf(HandleKind::RegistryKey, key.value)).commit();
    if (key) record::noteClose(HandleKind::RegistryKey, key.value);
    os::closeRegistryKey(key);
}

} // namespace tavik::platform
