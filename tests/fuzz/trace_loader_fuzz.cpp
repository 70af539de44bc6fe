// Fuzz target: the trace loader of replay and `tavikctl sim trace` on arbitrary file contents.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/replay_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const tavik::sim::Trace trace = tavik::sim::parseTrace(std::string(reinterpret_cast<const char*>(data), size));
        // A trace that was read has a header first and every request in exactly one stream.
        if (trace.headers.empty() && !trace.requests.empty()) std::abort();
        size_t inStreams = 0;
        for (const auto& [name, list] : trace.streams) {
            inStreams += list.size();
            for (size_t i : list)
                if (i >= trace.requests.size() || trace.requests[i].stream != name) std::abort();
        }
        if (inStreams != trace.requests.size()) std::abort();
        std::vector<uint8_t> bytes;
        for (const auto& r : trace.requests)
            for (const char* field : {"in", "out", "data"}) tavik::sim::payloadOf(r.data, field, bytes);
    } catch (const tavik::sim::TraceError&) {
    }
    return 0;
}
