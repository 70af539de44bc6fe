// The machine's registry as the simulated unit keeps it (HKEY_LOCAL_MACHINE only): keys by path,
// each with values of a type and exact bytes. Key paths and value names compare without regard to
// case, as the registry does.
// State: "registry": {"keys": {PATH: {NAME: {"type": "REG_SZ", "hex": "3200..."}}}}.
// Library calls are logged with target "registry" and one of the codes below; a fault with target
// "registry", that code (0: any) and action "fail" makes the call fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavik::sim {

enum RegistryCall : uint32_t {
    kRegistryOpenRead = 1,  // RegOpenKeyExW with KEY_READ
    kRegistryOpenWrite = 2, // RegOpenKeyExW with KEY_WRITE
    kRegistryQuery = 3,     // RegQueryValueExW
    kRegistrySet = 4,       // RegSetValueExW
};

struct RegistryValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// The library's side (through src/platform/host/registry.cpp): logged, faults apply.
bool registryOpen(const std::string& path, bool forWrite); // the key exists and may be opened
bool registryQuery(const std::string& path, const std::string& name, RegistryValue& value);
bool registrySet(const std::string& path, const std::string& name, const RegistryValue& value);

// The operator's side (tavikctl sim registry): not logged, no faults.
std::optional<RegistryValue> registryGet(const std::string& path, const std::string& name);
// Creates the key when missing.
void registryPut(const std::string& path, const std::string& name, const RegistryValue& value);
// Removes one value, or (empty name) the key with its subkeys; false when nothing was there.
bool registryDelete(const std::string& path, const std::string& name);
// Keys at or below `path` (empty: all) with their values, as registryValueJson gives them.
nlohmann::json registryList(const std::string& path);

// "REG_SZ" and the other type names; a number for types without a name.
std::string registryTypeName(uint32_t type);
bool registryTypeFromName(const std::string& name, uint32_t& type);
// {"type", "hex"} and, for REG_SZ, "text" (the UTF-16 text up to its first zero) and for
// REG_DWORD, "value".
nlohmann::json registryValueJson(const RegistryValue& value);
// A value from its type and text: REG_SZ text (stored as UTF-16LE with its terminating zero),
// REG_DWORD a number, REG_BINARY hex. False when the text does not fit the type.
bool registryValueFromText(uint32_t type, const std::string& text, RegistryValue& value);

} // namespace tavik::sim
