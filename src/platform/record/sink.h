// What the recorder needs of the operating system, one implementation per backend
// (host/record_sink.cpp, win32/record_sink.cpp). Every call is safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tavik::platform::record {

// The value of an environment variable of this process; false when it is unset or empty.
bool environmentValue(const char* name, std::string& value);

// Opens (creating it when missing) a file for appending. -1 when it cannot be opened.
intptr_t openAppend(const std::string& path);

// Appends `size` bytes as one write at the end of the file, so that lines appended by several
// processes never interleave. False when the write failed or was short.
bool append(intptr_t file, const char* data, size_t size);

void closeAppend(intptr_t file);

uint32_t processId();

// The recorder's one lock: exclusive, not recursive, usable from static initialisation on.
void lockRecorder();
void unlockRecorder();

// A monotonic clock, in microseconds.
uint64_t monotonicMicros();

// The wall-clock time as ISO 8601 UTC text ("2026-12-09T21:30:00.123Z").
std::string utcNow();

// The unit's identity as named texts, from what is readable without requests to the unit.
std::vector<std::pair<std::string, std::string>> unitIdentity();

} // namespace tavik::platform::record
