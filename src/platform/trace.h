// Where diagnostic trace lines go: nowhere unless the process asks for them. The host backend
// writes them to standard error when TAVIK_TRACE=1; the win32 backend to the debugger output
// (OutputDebugStringA) when the environment variable TAVIK_TRACE is 1.
#pragma once

namespace tavik::platform {

// Whether trace lines are wanted; decided once per process, on the first call. Safe from any thread.
bool traceRequested();

// Emits one finished line (it carries its own line end). Never blocks for long; never fails.
void writeTrace(const char* line);

} // namespace tavik::platform
