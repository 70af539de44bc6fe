// The trace writer: one line per request, one write per line, and the header of each recording.
#include "platform/record/recorder.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/record/sink.h"
#include "platform/trace.h"

namespace tavik::platform::record {
namespace {

constexpr char kLibraryVersion[] = TAVIK_LIBRARY_VERSION; // the project version, from the build

// The recording of this process: the file TAVIK_RECORD named when it started. A change of the
// variable starts a new recording (with its own header) in the new file.
struct Recording {
    std::string path;
    intptr_t file = -1;
    bool failed = false; // this path could not be written: said once, recording stopped
    uint64_t seq = 0;
    uint64_t start = 0;
};

Recording& recording() {
    static Recording* r = new Recording; // lives until exit: requests may come from static destructors
    return *r;
}

std::atomic<size_t> gLimit{kDefaultPayloadLimit};

struct Guard {
    Guard() { lockRecorder(); }
    ~Guard() { unlockRecorder(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

void appendEscaped(std::string& out, const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    out.push_back('"');
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c >= 0x7F) { // bytes above ASCII as the code points U+0080..U+00FF
            out += "\\u00";
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
}

void stop(Recording& r, const std::string& why) {
    writeTrace(("tavik2: recording into " + r.path + " stopped: " + why + "\n").c_str());
    if (r.file != -1) closeAppend(r.file);
    r.file = -1;
    r.failed = true;
}

// Opens the file `path` (when it is another than before) and writes the header. False when
// nothing can be recorded there.
bool ready(Recording& r, const std::string& path) {
    if (path == r.path) return !r.failed;
    if (r.file != -1) closeAppend(r.file);
    r.file = -1;
    r.failed = false;
    r.seq = 0;
    r.path = path;
    std::string limit;
    if (environmentValue("TAVIK_RECORD_LIMIT", limit)) {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(limit.c_str(), &end, 10);
        gLimit = (end != nullptr && *end == '\0') ? static_cast<size_t>(v) : kDefaultPayloadLimit;
    } else {
        gLimit = kDefaultPayloadLimit;
    }
    r.file = openAppend(path);
    if (r.file == -1) {
        stop(r, "the file cannot be opened for appending");
        return false;
    }
    r.start = monotonicMicros();
    std::string header = "{\"tavik_trace\":" + std::to_string(kFormatVersion) + ",\"library\":\"" + kLibraryVersion +
                         "\",\"time\":\"" + utcNow() + "\",\"pid\":" + std::to_string(processId()) +
                         ",\"limit\":" + std::to_string(gLimit.load());
    const auto unit = unitIdentity();
    for (size_t i = 0; i < unit.size(); ++i) {
        header += i == 0 ? ",\"unit\":{" : ",";
        appendEscaped(header, unit[i].first);
        header += ':';
        appendEscaped(header, unit[i].second);
        header += i + 1 == unit.size() ? "}" : "";
    }
    header += "}\n";
    if (!append(r.file, header.data(), header.size())) {
        stop(r, "the header cannot be written");
        return false;
    }
    return true;
}

struct Names {
    std::map<std::pair<int, NativeHandle>, std::string> names;
};

Names& names() {
    static Names* n = new Names;
    return *n;
}

} // namespace

bool active() {
    std::string path;
    if (!environmentValue("TAVIK_RECORD", path)) return false;
    Recording& r = recording();
    Guard guard;
    return ready(r, path);
}

Line::Line(const char* kind) {
    body_.reserve(160);
    body_ = "\"kind\":\"";
    body_ += kind;
    body_ += '"';
}

void Line::key(const char* name) {
    body_ += ",\"";
    body_ += name;
    body_ += "\":";
}

Line& Line::text(const char* k, const std::string& value) {
    key(k);
    appendEscaped(body_, value);
    return *this;
}

Line& Line::number(const char* k, uint64_t value) {
    key(k);
    body_ += std::to_string(value);
    return *this;
}

Line& Line::flag(const char* k, bool value) {
    key(k);
    body_ += value ? "true" : "false";
    return *this;
}

Line& Line::bytes(const char* k, const void* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    if (size > gLimit.load()) {
        number((std::string(k) + "_len").c_str(), size);
        return number((std::string(k) + "_crc").c_str(), crc32(data, size));
    }
    key(k);
    body_.push_back('"');
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        body_.push_back(digits[p[i] >> 4]);
        body_.push_back(digits[p[i] & 15]);
    }
    body_.push_back('"');
    return *this;
}

Line& Line::numbers(const char* k, const uint32_t* values, size_t count) {
    key(k);
    body_.push_back('[');
    for (size_t i = 0; i < count; ++i) {
        if (i != 0) body_.push_back(',');
        body_ += std::to_string(values[i]);
    }
    body_.push_back(']');
    return *this;
}

void Line::commit() {
    Recording& r = recording();
    Guard guard;
    if (r.file == -1) return; // stopped since active() said yes
    char prefix[96];
    const int n = std::snprintf(prefix, sizeof prefix, "{\"seq\":%llu,\"pid\":%lu,\"t\":%llu,",
                                static_cast<unsigned long long>(++r.seq), static_cast<unsigned long>(processId()),
                                static_cast<unsigned long long>(monotonicMicros() - r.start));
    std::string line;
    line.reserve(static_cast<size_t>(n) + body_.size() + 2);
    line.append(prefix, static_cast<size_t>(n));
    line += body_;
    line += "}\n";
    if (!append(r.file, line.data(), line.size())) stop(r, "a line cannot be written");
}

void noteOpen(HandleKind kind, NativeHandle handle, const std::string& name) {
    Names& n = names();
    Guard guard;
    n.names[{static_cast<int>(kind), handle}] = name;
}

std::string nameOf(HandleKind kind, NativeHandle handle) {
    Names& n = names();
    Guard guard;
    const auto it = n.names.find({static_cast<int>(kind), handle});
    return it == n.names.end() ? std::string("?") : it->second;
}

void noteClose(HandleKind kind, NativeHandle handle) {
    Names& n = names();
    Guard guard;
    n.names.erase({static_cast<int>(kind), handle});
}

std::string className(const TavikWChar* name) {
    std::string s;
    if (name != nullptr)
        for (; *name != 0; ++name) s.push_back(static_cast<char>(*name < 0x100 ? *name : '?'));
    return s;
}

void settingsArgs(const SerialSettings& s, uint32_t (&args)[5]) {
    args[0] = s.baudRate;
    args[1] = s.dataBits;
    args[2] = static_cast<uint32_t>(s.parity);
    args[3] = static_cast<uint32_t>(s.stopBits);
    args[4] = (s.ctsOutputFlow ? 1u : 0u) | (s.dsrOutputFlow ? 2u : 0u) | (s.xonXoffOutput ? 4u : 0u) |
              (s.xonXoffInput ? 8u : 0u) | (s.discardNulls ? 16u : 0u) | (s.abortOnError ? 32u : 0u) |
              (s.binary ? 64u : 0u);
}

SerialSettings settingsOf(const uint32_t (&args)[5]) {
    SerialSettings s;
    s.baudRate = args[0];
    s.dataBits = static_cast<uint8_t>(args[1]);
    s.parity = static_cast<SerialParity>(args[2]);
    s.stopBits = static_cast<SerialStopBits>(args[3]);
    const uint32_t f = args[4];
    s.ctsOutputFlow = f & 1;
    s.dsrOutputFlow = f & 2;
    s.xonXoffOutput = f & 4;
    s.xonXoffInput = f & 8;
    s.discardNulls = f & 16;
    s.abortOnError = f & 32;
    s.binary = f & 64;
    return s;
}

uint32_t crc32(const void* data, size_t size) {
    static const auto table = [] {
        struct T {
            uint32_t v[256];
        } t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t.v[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) crc = table.v[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

} // namespace tavik::platform::record
