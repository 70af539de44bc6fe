// Trace lines of the host build: standard error when TAVIK_TRACE=1.
#include "platform/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tavik::platform {

bool traceRequested() {
    static const bool requested = [] {
        const char* v = std::getenv("TAVIK_TRACE");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return requested;
}

void writeTrace(const char* line) { std::fputs(line, stderr); }

} // namespace tavik::platform
