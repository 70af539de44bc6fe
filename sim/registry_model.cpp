#include "sim/registry_model.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "sim/unit.h"

namespace tavik::sim {
namespace {

constexpr const char* kRegistryModel = "registry";
constexpr const char* kTarget = "registry";

// The keys an installed CAN driver leaves for its four channels.
constexpr int kCanChannels = 4;
constexpr const char* kCanKeyPrefix = "SYSTEM\\CurrentControlSet\\Services\\CanXilinxQX\\Parameters\\Device";

const std::pair<uint32_t, const char*> kTypeNames[] = {
    {0, "REG_NONE"}, {1, "REG_SZ"}, {2, "REG_EXPAND_SZ"}, {3, "REG_BINARY"},
    {4, "REG_DWORD"}, {7, "REG_MULTI_SZ"}, {11, "REG_QWORD"},
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool sameName(const std::string& a, const std::string& b) { return lower(a) == lower(b); }

// `path` itself or a key below it.
bool atOrBelow(const std::string& key, const std::string& path) {
    if (path.empty()) return true;
    const std::string k = lower(key), p = lower(path);
    return k.compare(0, p.size(), p) == 0 && (k.size() == p.size() || k[p.size()] == '\\');
}

// The stored spelling of a key or value name in `object`, or nothing.
std::optional<std::string> findName(const json& object, const std::string& name) {
    if (!object.is_object()) return std::nullopt;
    for (auto it = object.begin(); it != object.end(); ++it)
        if (sameName(it.key(), name)) return it.key();
    return std::nullopt;
}

// A key exists when it is stored or has a stored key below it.
bool keyExists(const json& keys, const std::string& path) {
    if (!keys.is_object() || path.empty()) return false;
    for (auto it = keys.begin(); it != keys.end(); ++it)
        if (atOrBelow(it.key(), path)) return true;
    return false;
}

json valueToDoc(const RegistryValue& v) {
    return {{"type", registryTypeName(v.type)}, {"hex", toHex(v.data.data(), v.data.size())}};
}

bool valueFromDoc(const json& doc, RegistryValue& v) {
    if (!doc.is_object() || !doc.contains("type") || !doc.contains("hex")) return false;
    const json& t = doc["type"];
    if (t.is_string()) {
        if (!registryTypeFromName(t.get<std::string>(), v.type)) return false;
    } else if (t.is_number_unsigned()) {
        v.type = t.get<uint32_t>();
    } else {
        return false;
    }
    return doc["hex"].is_string() && fromHex(doc["hex"].get<std::string>(), v.data);
}

std::vector<uint8_t> utf16z(const std::string& text) {
    std::vector<uint8_t> data;
    for (unsigned char c : text) {
        data.push_back(c);
        data.push_back(0);
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

// A profile value: a text is REG_SZ, an integer REG_DWORD, an object {"type", "hex"} exact bytes.
bool profileValue(const json& v, RegistryValue& out) {
    if (v.is_string()) return registryValueFromText(1, v.get<std::string>(), out);
    if (v.is_number_integer()) return registryValueFromText(4, std::to_string(v.get<int64_t>()), out);
    return valueFromDoc(v, out);
}

void initRegistry(const json& profile, Txn& txn) {
    json keys = json::object();
    if (profile.contains("registry") && profile["registry"].is_object()) {
        for (auto k = profile["registry"].begin(); k != profile["registry"].end(); ++k) {
            keys[k.key()] = json::object();
            if (!k.value().is_object()) continue;
            for (auto v = k.value().begin(); v != k.value().end(); ++v) {
                RegistryValue value;
                if (profileValue(v.value(), value)) keys[k.key()][v.key()] = valueToDoc(value);
            }
        }
    } else {
        for (int i = 0; i < kCanChannels; ++i) {
            RegistryValue rate, mode;
            registryValueFromText(1, "250000", rate);
            registryValueFromText(1, "Standard", mode);
            keys[kCanKeyPrefix + std::to_string(i)] = {{"BaudRate", valueToDoc(rate)}, {"Mode", valueToDoc(mode)}};
        }
    }
    txn.edit(kRegistryModel) = {{"keys", keys}};
}

bool validateRegistry(json& doc, std::string& error) {
    if (!doc.is_object() || !doc.contains("keys") || !doc["keys"].is_object()) {
        error = "registry needs \"keys\": {PATH: {NAME: {\"type\", \"hex\"}}}";
        return false;
    }
    for (auto k = doc["keys"].begin(); k != doc["keys"].end(); ++k) {
        if (!k.value().is_object()) {
            error = "key " + k.key() + " is not an object of values";
            return false;
        }
        for (auto v = k.value().begin(); v != k.value().end(); ++v) {
            RegistryValue value;
            if (!valueFromDoc(v.value(), value)) {
                error = "value " + k.key() + "\\" + v.key() + " needs a known \"type\" and \"hex\" bytes";
                return false;
            }
            v.value() = valueToDoc(value);
        }
    }
    return true;
}

const bool registryRegistered = (registerModel({kRegistryModel, &initRegistry, &validateRegistry}), true);

// One library call: fault check, the call itself, a log entry.
template <class F>
bool libraryCall(RegistryCall call, const std::string& what, F&& body) {
    bool ok = false;
    Unit::instance().transact([&](Txn& txn) {
        LogEntry e;
        e.pid = static_cast<uint32_t>(::getpid());
        e.target = kTarget;
        e.code = call;
        const json fault = takeFault(txn, kTarget, call);
        if (!fault.is_null() && fault.value("action", "") == "fail") {
            e.note = "fault: fails: " + what;
        } else {
            ok = body(txn, e);
            e.note = (ok ? "" : "refused: ") + what + (e.note.empty() ? "" : " (" + e.note + ")");
        }
        e.ok = ok;
        Unit::instance().appendLog(txn, std::move(e));
    });
    return ok;
}

} // namespace

bool registryOpen(const std::string& path, bool forWrite) {
    return libraryCall(forWrite ? kRegistryOpenWrite : kRegistryOpenRead, path, [&](Txn& txn, LogEntry& e) {
        if (keyExists(txn.get(kRegistryModel).value("keys", json::object()), path)) return true;
        e.note = "no such key";
        return false;
    });
}

bool registryQuery(const std::string& path, const std::string& name, RegistryValue& value) {
    return libraryCall(kRegistryQuery, path + "\\" + name, [&](Txn& txn, LogEntry& e) {
        const json keys = txn.get(kRegistryModel).value("keys", json::object());
        const auto key = findName(keys, path);
        const auto stored = key ? findName(keys[*key], name) : std::nullopt;
        if (!stored || !valueFromDoc(keys[*key][*stored], value)) {
            e.note = "no such value";
            return false;
        }
        e.out = value.data;
        e.returned = static_cast<uint32_t>(value.data.size());
        return true;
    });
}

bool registrySet(const std::string& path, const std::string& name, const RegistryValue& value) {
    return libraryCall(kRegistrySet, path + "\\" + name, [&](Txn& txn, LogEntry& e) {
        e.in = value.data;
        json& keys = txn.edit(kRegistryModel)["keys"];
        // The key was opened, so it exists; it is stored once it holds a value.
        const std::string key = findName(keys, path).value_or(path);
        const std::string stored = findName(keys[key], name).value_or(name);
        keys[key][stored] = valueToDoc(value);
        e.returned = static_cast<uint32_t>(value.data.size());
        return true;
    });
}

std::optional<RegistryValue> registryGet(const std::string& path, const std::string& name) {
    std::optional<RegistryValue> result;
    Unit::instance().transact([&](Txn& txn) {
        const json keys = txn.get(kRegistryModel).value("keys", json::object());
        const auto key = findName(keys, path);
        const auto stored = key ? findName(keys[*key], name) : std::nullopt;
        RegistryValue v;
        if (stored && valueFromDoc(keys[*key][*stored], v)) result = v;
    });
    return result;
}

void registryPut(const std::string& path, const std::string& name, const RegistryValue& value) {
    Unit::instance().transact([&](Txn& txn) {
        json& keys = txn.edit(kRegistryModel)["keys"];
        const std::string key = findName(keys, path).value_or(path);
        const std::string stored = findName(keys[key], name).value_or(name);
        keys[key][stored] = valueToDoc(value);
    });
}

bool registryDelete(const std::string& path, const std::string& name) {
    bool removed = false;
    Unit::instance().transact([&](Txn& txn) {
        json& keys = txn.edit(kRegistryModel)["keys"];
        if (!name.empty()) {
            const auto key = findName(keys, path);
            const auto stored = key ? findName(keys[*key], name) : std::nullopt;
            if (stored) removed = keys[*key].erase(*stored) > 0;
            return;
        }
        std::vector<std::string> doomed;
        for (auto it = keys.begin(); it != keys.end(); ++it)
            if (atOrBelow(it.key(), path)) doomed.push_back(it.key());
        for (const std::string& k : doomed) keys.erase(k);
        removed = !doomed.empty();
    });
    return removed;
}

json registryList(const std::string& path) {
    json out = json::object();
    Unit::instance().transact([&](Txn& txn) {
        const json keys = txn.get(kRegistryModel).value("keys", json::object());
        for (auto k = keys.begin(); k != keys.end(); ++k) {
            if (!atOrBelow(k.key(), path)) continue;
            out[k.key()] = json::object();
            for (auto v = k.value().begin(); v != k.value().end(); ++v) {
                RegistryValue value;
                if (valueFromDoc(v.value(), value)) out[k.key()][v.key()] = registryValueJson(value);
            }
        }
    });
    return out;
}

std::string registryTypeName(uint32_t type) {
    for (const auto& [number, name] : kTypeNames)
        if (number == type) return name;
    return std::to_string(type);
}

bool registryTypeFromName(const std::string& name, uint32_t& type) {
    for (const auto& [number, text] : kTypeNames) {
        if (sameName(name, text)) {
            type = number;
            return true;
        }
    }
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    type = static_cast<uint32_t>(std::stoul(name));
    return true;
}

json registryValueJson(const RegistryValue& v) {
    json j = valueToDoc(v);
    j["size"] = v.data.size();
    if (v.type == 1 || v.type == 2) {
        std::string text;
        for (size_t i = 0; i + 1 < v.data.size(); i += 2) {
            const uint16_t c = static_cast<uint16_t>(v.data[i] | v.data[i + 1] << 8);
            if (c == 0) break;
            text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        j["text"] = text;
    } else if (v.type == 4 && v.data.size() == 4) {
        j["value"] = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<uint32_t>(v.data[3]) << 24;
    }
    return j;
}

bool registryValueFromText(uint32_t type, const std::string& text, RegistryValue& value) {
    value.type = type;
    if (type == 1 || type == 2) {
        value.data = utf16z(text);
        return true;
    }
    if (type == 4) {
        size_t used = 0;
        unsigned long long n = 0;
        try {
            n = std::stoull(text, &used, 0);
        } catch (const std::exception&) {
            return false;
        }
        if (used != text.size() || n > 0xFFFFFFFFull) return false;
        value.data = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                      static_cast<uint8_t>(n >> 24)};
        return true;
    }
    return fromHex(text, value.data);
}

} // namespace tavik::sim
