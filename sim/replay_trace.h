// A recorded trace (TAVIK_RECORD) read back: every line checked against the format, the
// requests grouped into streams that replay matches in order (one per device, board-library
// ordinal, service, registry key and serial port). Used by the replaying unit and by
// `tavikctl sim trace`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavik::sim {

// The newest trace format this build reads.
constexpr int kTraceFormatVersion = 1;

// A trace that cannot be read: the message names the line (1-based) and what is wrong.
struct TraceError : std::runtime_error {
    TraceError(size_t line, const std::string& what)
        : std::runtime_error("trace line " + std::to_string(line) + ": " + what), line(line) {}
    size_t line;
};

// A line of a trace, and a request in the same form. Its fields stay in the recorded order; it is
// also several times cheaper to build and hold than nlohmann::json (a small vector per line
// instead of a tree node per field), which is what loading a long trace costs.
using TraceJson = nlohmann::ordered_json;

struct TraceRequest {
    size_t line = 0;     // 1-based line of the file
    std::string stream;  // "device \\.\TavikDrv", "board 69", "service TavikService", ...
    TraceJson data;      // the line as recorded
};

struct Trace {
    std::vector<TraceJson> headers; // one per recording process
    std::vector<TraceRequest> requests;  // in file order
    std::map<std::string, std::vector<size_t>> streams; // stream -> indexes into requests
};

// Reads a whole trace. Throws TraceError for an empty, damaged, truncated (last line without its
// end) or future-version trace, and for any line that breaks the format.
Trace parseTrace(const std::string& text);
// The same for a file; a file that cannot be read is a TraceError of line 0.
Trace readTraceFile(const std::string& path);
// A file's text as parseTrace takes it (errors as readTraceFile's).
std::string readTraceText(const std::string& path);

// The stream a request line belongs to.
std::string streamOf(const TraceJson& request);

// A payload field ("in", "out", "data") of a request line: true with the bytes when recorded
// whole; false when only its length and CRC-32 were (above the limit) or it is absent.
bool payloadOf(const TraceJson& request, const char* field, std::vector<uint8_t>& bytes);

} // namespace tavik::sim
