#include "lighting/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/trace.h"

namespace tavik::lighting {
namespace {

std::atomic<TraceSink> overrideSink{nullptr};

constexpr int kLineCapacity = 121;

} // namespace

void setTraceSink(TraceSink sink) { overrideSink.store(sink, std::memory_order_release); }

bool traceOn() {
    return overrideSink.load(std::memory_order_acquire) != nullptr || platform::traceRequested();
}

void trace(const char* format, ...) {
    TraceSink sink = overrideSink.load(std::memory_order_acquire);
    if (sink == nullptr && !platform::traceRequested()) return;
    char line[kLineCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (sink != nullptr)
        sink(line);
    else
        platform::writeTrace(line);
}

} // namespace tavik::lighting
