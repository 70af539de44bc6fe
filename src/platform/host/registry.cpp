// Registry of the host build: the simulated unit keeps a stand-in of the machine's registry.
#include "platform/registry.h"
#include "platform/backend.h"

#include <cstring>
#include <vector>

#include "platform/host/replay.h"
#include "sim/registry_model.h"

namespace tavik::platform {
namespace {

struct Key {
    std::string path;
    RegistryAccess access;
};

const Key* keyOf(RegistryKey key) { return key ? reinterpret_cast<const Key*>(key.value) : nullptr; }

} // namespace

namespace os {

RegistryKey openMachineKey(const std::string& path, RegistryAccess access) {
    const auto replayed = host::replay::registryOpen(path, access);
    if (replayed ? !*replayed : !sim::registryOpen(path, access == RegistryAccess::Write)) return {};
    RegistryKey h;
    h.value = reinterpret_cast<NativeHandle>(new Key{path, access});
    return h;
}

// As on Windows, a key opened for writing only cannot be read, and one opened for reading only
// cannot be written.
bool queryRegistryValue(RegistryKey key, const std::string& name, void* data, uint32_t& size,
                        uint32_t& type) {
    const Key* k = keyOf(key);
    if (k == nullptr) return false;
    if (auto r = host::replay::registryQuery(k->path, name, data, size, type)) return *r;
    if (k->access != RegistryAccess::Read) return false;
    sim::RegistryValue value;
    if (!sim::registryQuery(k->path, name, value)) return false;
    if (value.data.size() > size) return false; // ERROR_MORE_DATA
    if (!value.data.empty()) std::memcpy(data, value.data.data(), value.data.size());
    size = static_cast<uint32_t>(value.data.size());
    type = value.type;
    return true;
}

bool setRegistryValue(RegistryKey key, const std::string& name, uint32_t type, const void* data,
                      uint32_t size) {
    const Key* k = keyOf(key);
    if (k == nullptr) return false;
    if (auto r = host::replay::registrySet(k->path, name, type, data, size)) return *r;
    if (k->access != RegistryAccess::Write) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    sim::RegistryValue value{type, std::vector<uint8_t>(bytes, bytes + size)};
    return sim::registrySet(k->path, name, value);
}

void closeRegistryKey(RegistryKey key) {
    if (!key) return;
    auto* k = reinterpret_cast<Key*>(key.value);
    host::replay::registryClose(k->path);
    delete k;
}


} // namespace os
} // namespace tavik::platform
