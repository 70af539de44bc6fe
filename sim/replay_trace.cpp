// Reading a trace: the format of each kind of line as a table, one routine that checks a line
// against its row.
#include "sim/replay_trace.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace tavik::sim {
namespace {

enum class Type { Text, Number, Flag, Bytes, Numbers };

struct Field {
    const char* name;
    Type type;
    bool required;
};

struct EntryKind {
    const char* kind;
    const char* streamKey; // the field naming the stream
    const char* stream;    // the stream's prefix
    std::vector<Field> fields;
};

const std::vector<EntryKind>& kinds() {
    using T = Type;
    static const std::vector<EntryKind> table = {
        {"device_open", "dev", "device", {{"dev", T::Text, true}, {"ok", T::Flag, true}}},
        {"ioctl", "dev", "device",
         {{"dev", T::Text, true}, {"code", T::Number, true}, {"in", T::Bytes, true}, {"out_size", T::Number, true},
          {"out", T::Bytes, true}, {"ret", T::Number, true}, {"ok", T::Flag, true}}},
        {"device_read", "dev", "device",
         {{"dev", T::Text, true}, {"size", T::Number, true}, {"out", T::Bytes, true}, {"ret", T::Number, true},
          {"ok", T::Flag, true}}},
        {"device_close", "dev", "device", {{"dev", T::Text, true}}},
        {"board", "ord", "board",
         {{"ord", T::Number, true}, {"args", T::Numbers, true}, {"cls", T::Text, false}, {"in", T::Bytes, false},
          {"out", T::Bytes, false}, {"result", T::Number, false}}},
        {"service", "name", "service", {{"name", T::Text, true}, {"code", T::Number, true}, {"result", T::Text, true}}},
        {"reg_open", "key", "registry", {{"key", T::Text, true}, {"access", T::Text, true}, {"ok", T::Flag, true}}},
        {"reg_query", "key", "registry",
         {{"key", T::Text, true}, {"name", T::Text, true}, {"cap", T::Number, true}, {"data", T::Bytes, false},
          {"type", T::Number, false}, {"ok", T::Flag, true}}},
        {"reg_set", "key", "registry",
         {{"key", T::Text, true}, {"name", T::Text, true}, {"type", T::Number, true}, {"data", T::Bytes, true},
          {"ok", T::Flag, true}}},
        {"reg_close", "key", "registry", {{"key", T::Text, true}}},
        {"serial_open", "port", "serial", {{"port", T::Text, true}, {"ok", T::Flag, true}}},
        {"serial_close", "port", "serial", {{"port", T::Text, true}}},
        {"serial_buffers", "port", "serial", {{"port", T::Text, true}, {"args", T::Numbers, true}, {"ok", T::Flag, true}}},
        {"serial_timeouts", "port", "serial", {{"port", T::Text, true}, {"args", T::Numbers, true}, {"ok", T::Flag, true}}},
        {"serial_mask", "port", "serial", {{"port", T::Text, true}, {"args", T::Numbers, true}, {"ok", T::Flag, true}}},
        {"serial_get", "port", "serial", {{"port", T::Text, true}, {"out", T::Numbers, false}, {"ok", T::Flag, true}}},
        {"serial_set", "port", "serial", {{"port", T::Text, true}, {"args", T::Numbers, true}, {"ok", T::Flag, true}}},
        {"serial_purge", "port", "serial", {{"port", T::Text, true}, {"args", T::Numbers, true}, {"ok", T::Flag, true}}},
        {"serial_read", "port", "serial",
         {{"port", T::Text, true}, {"size", T::Number, true}, {"out", T::Bytes, true}, {"ret", T::Number, true},
          {"ok", T::Flag, true}}},
        {"serial_write", "port", "serial",
         {{"port", T::Text, true}, {"in", T::Bytes, true}, {"ret", T::Number, true}, {"ok", T::Flag, true}}},
    };
    return table;
}

const EntryKind* kindOf(const std::string& name) {
    for (const EntryKind& k : kinds())
        if (name == k.kind) return &k;
    return nullptr;
}

bool isUint32(const TraceJson& v) { return v.is_number_unsigned() && v.get<uint64_t>() <= 0xFFFFFFFFull; }

bool isHex(const TraceJson& v) {
    if (!v.is_string()) return false;
    const std::string& s = v.get_ref<const std::string&>();
    return s.size() % 2 == 0 && s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// Why `v` is not a field of type `t`; null when it is.
const char* typeError(const TraceJson& v, Type t) {
    switch (t) {
    case Type::Text: return v.is_string() ? nullptr : "is not a text";
    case Type::Number: return isUint32(v) ? nullptr : "is not a 32-bit unsigned number";
    case Type::Flag: return v.is_boolean() ? nullptr : "is not true or false";
    case Type::Bytes: return isHex(v) ? nullptr : "is not hex bytes";
    case Type::Numbers:
        if (!v.is_array()) return "is not a list of numbers";
        for (const TraceJson& e : v)
            if (!isUint32(e)) return "is not a list of 32-bit unsigned numbers";
        return nullptr;
    }
    return "has an unknown type";
}

void checkRequest(size_t line, const TraceJson& j) {
    for (const char* key : {"seq", "pid", "t"})
        if (!j.contains(key) || !j[key].is_number_unsigned())
            throw TraceError(line, std::string("\"") + key + "\" is missing or not an unsigned number");
    if (!j.contains("kind") || !j["kind"].is_string()) throw TraceError(line, "\"kind\" is missing");
    const EntryKind* k = kindOf(j["kind"].get<std::string>());
    if (k == nullptr) throw TraceError(line, "unknown kind \"" + j["kind"].get<std::string>() + "\"");
    for (const Field& f : k->fields) {
        if (j.contains(f.name)) {
            if (const char* e = typeError(j[f.name], f.type))
                throw TraceError(line, std::string("\"") + f.name + "\" " + e);
            continue;
        }
        if (f.type == Type::Bytes) { // a payload above the limit: its length and CRC-32 instead
            const std::string len = std::string(f.name) + "_len", crc = std::string(f.name) + "_crc";
            const bool summarised = j.contains(len) && j.contains(crc);
            if (summarised && isUint32(j[len]) && isUint32(j[crc])) continue;
            if (summarised) throw TraceError(line, "\"" + len + "\" or \"" + crc + "\" is not a 32-bit unsigned number");
        }
        if (f.required) throw TraceError(line, std::string("\"") + f.name + "\" is missing");
    }
}

void checkHeader(size_t line, const TraceJson& j) {
    const TraceJson& v = j["tavik_trace"];
    if (!v.is_number_unsigned()) throw TraceError(line, "\"tavik_trace\" is not a format version");
    if (v.get<uint64_t>() > static_cast<uint64_t>(kTraceFormatVersion))
        throw TraceError(line, "format version " + v.dump() + " is newer than this build reads (" +
                                   std::to_string(kTraceFormatVersion) + ")");
    if (v.get<uint64_t>() == 0) throw TraceError(line, "format version 0 does not exist");
}

} // namespace

std::string streamOf(const TraceJson& request) {
    const EntryKind* k = kindOf(request.value("kind", std::string()));
    if (k == nullptr) return {};
    const auto key = request.find(k->streamKey);
    if (key == request.end()) return k->stream;
    return std::string(k->stream) + " " + (key->is_string() ? key->get<std::string>() : key->dump());
}

bool payloadOf(const TraceJson& request, const char* field, std::vector<uint8_t>& bytes) {
    const auto it = request.find(field);
    if (it == request.end() || !isHex(*it)) return false;
    const std::string& s = it->get_ref<const std::string&>();
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    bytes.resize(s.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(nibble(s[2 * i]) << 4 | nibble(s[2 * i + 1]));
    return true;
}

Trace parseTrace(const std::string& text) {
    Trace trace;
    if (text.empty()) throw TraceError(1, "the trace is empty");
    trace.requests.reserve(size_t(std::count(text.begin(), text.end(), '\n')));
    size_t start = 0, line = 0;
    while (start < text.size()) {
        ++line;
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) throw TraceError(line, "truncated: the last line has no end");
        const std::string_view body(text.data() + start, end - start);
        start = end + 1;
        TraceJson j = TraceJson::parse(body.begin(), body.end(), nullptr, false);
        if (j.is_discarded() || !j.is_object()) throw TraceError(line, "not a JSON object");
        if (j.contains("tavik_trace")) {
            checkHeader(line, j);
            trace.headers.push_back(std::move(j));
            continue;
        }
        if (trace.headers.empty()) throw TraceError(line, "a request before the first header");
        checkRequest(line, j);
        TraceRequest r;
        r.line = line;
        r.stream = streamOf(j);
        r.data = std::move(j);
        trace.streams[r.stream].push_back(trace.requests.size());
        trace.requests.push_back(std::move(r));
    }
    return trace;
}

std::string readTraceText(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw TraceError(0, "cannot read " + path);
    std::string text(size_t(in.tellg()), '\0');
    in.seekg(0);
    if (!in.read(text.data(), std::streamsize(text.size()))) throw TraceError(0, "cannot read " + path);
    return text;
}

Trace readTraceFile(const std::string& path) { return parseTrace(readTraceText(path)); }

} // namespace tavik::sim
