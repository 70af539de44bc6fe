// Trace lines of the DLL: the debugger output when the environment variable TAVIK_TRACE is 1.
#include "platform/trace.h"

#include <windows.h>

namespace tavik::platform {

bool traceRequested() {
    static const bool requested = [] {
        char value[4] = {};
        const DWORD n = GetEnvironmentVariableA("TAVIK_TRACE", value, sizeof value);
        return n == 1 && value[0] == '1';
    }();
    return requested;
}

void writeTrace(const char* line) { OutputDebugStringA(line); }

} // namespace tavik::platform
