// Trace lines of the automatic backlight controller and the light-sensor averaging. Off by
// default: a line is formatted only when somebody listens, so tracing costs one flag test.
#pragma once

namespace tavik::lighting {

// Receives one finished line (with its line end).
using TraceSink = void (*)(const char* line);

// Sends the lines to `sink` instead of the platform's destination; null restores the platform's
// choice (the host build: stderr when TAVIK_TRACE=1). Safe from any thread.
void setTraceSink(TraceSink sink);

// Whether a line would go anywhere.
bool traceOn();

// Formats a printf-style line into a 121-character buffer (longer lines are cut) and emits it.
#if defined(__GNUC__) && !defined(_WIN32)
__attribute__((format(printf, 1, 2)))
#endif
void trace(const char* format, ...);

} // namespace tavik::lighting
