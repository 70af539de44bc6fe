// Requests in their trace form (the fields the recorder writes as inputs), answered by the
// replaying unit.
#include "platform/host/replay.h"

#include <algorithm>
#include <cstring>

#include "platform/record/recorder.h"
#include "sim/replay.h"
#include "sim/replay_trace.h"
#include "sim/unit.h"

namespace tavik::platform::host::replay {
namespace host_replay {

using json = sim::TraceJson; // requests in the trace's form

std::string hex(const void* data, uint32_t size) {
    return data != nullptr ? sim::toHex(static_cast<const uint8_t*>(data), size) : std::string();
}

// The replay's answer to the request `build` makes (built only while a replay runs): false when
// the models answer; else the recorded line, or a null json when the replay refused the request.
// A unit that cannot be read refuses.
struct Answer {
    sim::ReplayAnswer a;
    explicit operator bool() const { return a.kind != sim::ReplayAnswer::Models; }
    const json& operator*() const {
        static const json refused;
        return a.entry != nullptr ? *a.entry : refused;
    }
    const json* operator->() const { return &**this; }
};

template <class Build>
Answer ask(Build build) {
    Answer answer;
    try {
        if (const auto running = sim::runningReplay()) answer.a = sim::replayRequest(running, build());
    } catch (...) {
        answer.a = {};
        answer.a.kind = sim::ReplayAnswer::Fail;
    }
    return answer;
}

// Copies the recorded payload `field` into `out` (at most `size` bytes); the count copied.
uint32_t copyOut(const json& entry, const char* field, void* out, uint32_t size) {
    std::vector<uint8_t> bytes;
    if (out == nullptr || !sim::payloadOf(entry, field, bytes)) return 0;
    const uint32_t n = std::min<uint32_t>(size, static_cast<uint32_t>(bytes.size()));
    if (n != 0) std::memcpy(out, bytes.data(), n);
    return n;
}

bool ok(const json& entry) { return entry.is_object() && entry.value("ok", false); }

} // namespace host_replay

using host_replay::ask;
using host_replay::copyOut;
using host_replay::hex;
using host_replay::json;
using host_replay::ok;

std::optional<bool> deviceOpen(const std::string& device) {
    const auto e = ask([&] { return json{{"kind", "device_open"}, {"dev", device}}; });
    if (!e) return std::nullopt;
    return ok(*e);
}

std::optional<bool> deviceControl(const std::string& device, uint32_t code, const void* in, uint32_t inSize,
                                  void* out, uint32_t outSize, uint32_t& returned) {
    const auto e = ask([&] {
        return json{{"kind", "ioctl"}, {"dev", device}, {"code", code}, {"in", hex(in, inSize)}, {"out_size", outSize}};
    });
    if (!e) return std::nullopt;
    returned = 0;
    if (!ok(*e)) return false;
    copyOut(*e, "out", out, outSize);
    returned = e->value("ret", 0u);
    return true;
}

std::optional<bool> deviceRead(const std::string& device, void* buffer, uint32_t size, uint32_t& read) {
    const auto e = ask([&] { return json{{"kind", "device_read"}, {"dev", device}, {"size", size}}; });
    if (!e) return std::nullopt;
    read = 0;
    if (!ok(*e)) return false;
    copyOut(*e, "out", buffer, size);
    read = e->value("ret", 0u);
    return true;
}

void deviceClose(const std::string& device) { ask([&] { return json{{"kind", "device_close"}, {"dev", device}}; }); }

std::optional<ServiceControlResult> service(const std::string& name, uint32_t code) {
    const auto e = ask([&] { return json{{"kind", "service"}, {"name", name}, {"code", code}}; });
    if (!e) return std::nullopt;
    const std::string r = e->is_object() ? e->value("result", std::string()) : std::string();
    if (r == "accepted") return ServiceControlResult::Accepted;
    if (r == "refused") return ServiceControlResult::Refused;
    return ServiceControlResult::NotOpened;
}

std::optional<bool> registryOpen(const std::string& key, RegistryAccess access) {
    const auto e = ask([&] {
        return json{{"kind", "reg_open"}, {"key", key}, {"access", access == RegistryAccess::Read ? "read" : "write"}};
    });
    if (!e) return std::nullopt;
    return ok(*e);
}

std::optional<bool> registryQuery(const std::string& key, const std::string& name, void* data, uint32_t& size,
                                  uint32_t& type) {
    const auto e = ask([&] { return json{{"kind", "reg_query"}, {"key", key}, {"name", name}, {"cap", size}}; });
    if (!e) return std::nullopt;
    if (!ok(*e)) return false;
    size = copyOut(*e, "data", data, size);
    type = e->value("type", 0u);
    return true;
}

std::optional<bool> registrySet(const std::string& key, const std::string& name, uint32_t type, const void* data,
                                uint32_t size) {
    const auto e = ask([&] {
        return json{{"kind", "reg_set"}, {"key", key}, {"name", name}, {"type", type}, {"data", hex(data, size)}};
    });
    if (!e) return std::nullopt;
    return ok(*e);
}

void registryClose(const std::string& key) { ask([&] { return json{{"kind", "reg_close"}, {"key", key}}; }); }

std::optional<uint32_t> board(uint32_t ordinal, const std::vector<uint32_t>& args, const TavikWChar* className,
                              const void* in, uint32_t inSize, void* out, uint32_t size) {
    const auto e = ask([&] {
        json request = {{"kind", "board"}, {"ord", ordinal}, {"args", args}};
        if (className != nullptr) request["cls"] = record::className(className);
        if (in != nullptr && inSize != 0) request["in"] = hex(in, inSize);
        return request;
    });
    if (!e) return std::nullopt;
    if (!e->is_object()) return 0u;
    copyOut(*e, "out", out, size);
    return e->value("result", 0u);
}

std::optional<bool> serialOpen(const std::string& port) {
    const auto e = ask([&] { return json{{"kind", "serial_open"}, {"port", port}}; });
    if (!e) return std::nullopt;
    return ok(*e);
}

void serialClose(const std::string& port) { ask([&] { return json{{"kind", "serial_close"}, {"port", port}}; }); }

bool serialArgs(const std::string& port, const char* kind, const std::vector<uint32_t>& args) {
    const auto e = ask([&] { return json{{"kind", kind}, {"port", port}, {"args", args}}; });
    return e && ok(*e);
}

bool serialGet(const std::string& port, SerialSettings& s) {
    const auto e = ask([&] { return json{{"kind", "serial_get"}, {"port", port}}; });
    if (!e || !ok(*e)) return false;
    const json out = e->value("out", json::array());
    if (out.size() != 5) return false;
    uint32_t args[5];
    for (size_t i = 0; i < 5; ++i) args[i] = out[i].get<uint32_t>();
    s = record::settingsOf(args);
    return true;
}

bool serialSet(const std::string& port, const SerialSettings& s) {
    uint32_t args[5];
    record::settingsArgs(s, args);
    return serialArgs(port, "serial_set", std::vector<uint32_t>(args, args + 5));
}

bool serialRead(const std::string& port, void* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    const auto e = ask([&] { return json{{"kind", "serial_read"}, {"port", port}, {"size", size}}; });
    if (!e || !ok(*e)) return false;
    copyOut(*e, "out", buffer, size);
    read = std::min(e->value("ret", 0u), size);
    return true;
}

bool serialWrite(const std::string& port, const void* data, uint32_t size, uint32_t& written) {
    written = 0;
    const auto e = ask([&] { return json{{"kind", "serial_write"}, {"port", port}, {"in", hex(data, size)}}; });
    if (!e || !e->is_object()) return false;
    written = e->value("ret", 0u);
    return e->value("ok", false);
}

} // namespace tavik::platform::host::replay
