// The trace of every request the library makes to the outside world (TAVIK_RECORD=FILE): one
// JSON line per request, appended by the wrappers of platform/record/*.cpp after the backend has
// answered. Format (version kFormatVersion) in docs/record-replay.md. The win32 build has no JSON
// library: Line writes the text itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/handles.h"
#include "platform/serial.h"
#include "tavik2/defs.h"

namespace tavik::platform::record {

constexpr int kFormatVersion = 1;
constexpr size_t kDefaultPayloadLimit = 64 * 1024; // bytes; TAVIK_RECORD_LIMIT sets another

// Whether TAVIK_RECORD names a trace now. Cheap when it does not (one environment look-up).
bool active();

// One request line under construction. Fields appear in the order they are added.
class Line {
public:
    explicit Line(const char* kind);
    Line& text(const char* key, const std::string& value);
    Line& number(const char* key, uint64_t value);
    Line& flag(const char* key, bool value);
    // Bytes as hex under `key`; above the payload limit as "<key>_len" and "<key>_crc" instead.
    Line& bytes(const char* key, const void* data, size_t size);
    // A JSON array of numbers.
    Line& numbers(const char* key, const uint32_t* values, size_t count);
    // Writes the line (sequence number, process and time first). Failures to write are said once
    // on the trace output and end the recording into that file.
    void commit();

private:
    void key(const char* name);
    std::string body_;
};

// The name a handle was opened with, kept from open to close so that every line names its
// device, key or port. Opens are noted whether recording or not, so that a recording started
// later still names them.
enum class HandleKind { Device, RegistryKey, SerialPort };
void noteOpen(HandleKind kind, NativeHandle handle, const std::string& name);
std::string nameOf(HandleKind kind, NativeHandle handle);
void noteClose(HandleKind kind, NativeHandle handle);

// A board class name ("CPU") as recorded: its UTF-16 units, each below 0x100 as one character.
std::string className(const TavikWChar* name);

// The named fields of a serial line setting as recorded, in this order: baud rate, data bits,
// parity, stop bits, then the flags (bit 0 CTS flow, 1 DSR flow, 2 XON/XOFF out, 3 XON/XOFF in,
// 4 discard nulls, 5 abort on error, 6 binary). settingsOf is the way back (`native` zeroed).
void settingsArgs(const SerialSettings& s, uint32_t (&args)[5]);
SerialSettings settingsOf(const uint32_t (&args)[5]);

// CRC-32 (IEEE 802.3) of a payload, as recorded for those above the limit.
uint32_t crc32(const void* data, size_t size);

} // namespace tavik::platform::record
