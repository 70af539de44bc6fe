// Shared by the display-lighting tests: waiting for what a background thread or another process
// does (polled, never timed), trace capture, and the simulated light.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lighting/lightsensor.h"
#include "lighting/trace.h"
#include "sim/lighting_model.h"
#include "sim/unit.h"

namespace tavik::test {

// Polls `condition` until it holds or a generous real-time limit passes.
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The lux the library computes from the codes the simulated sensor gives at `lux`.
inline uint16_t sensedLux(double lux, int range = 0) {
    const sim::LightCodes c = sim::lightCodesFor(lux, range, 0.25);
    const uint16_t standard = lighting::luxFromCodes(c.ch0, c.ch1);
    return static_cast<uint16_t>(range == 1 ? standard * 5 : standard);
}

// Collects trace lines while alive.
class TraceCapture {
public:
    TraceCapture() {
        std::lock_guard<std::mutex> g(mutex());
        lines().clear();
        lighting::setTraceSink(&TraceCapture::sink);
    }
    ~TraceCapture() { lighting::setTraceSink(nullptr); }
    bool contains(const std::string& line) const {
        std::lock_guard<std::mutex> g(mutex());
        for (const std::string& l : lines())
            if (l == line) return true;
        return false;
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> l;
        return l;
    }
    static void sink(const char* line) {
        std::lock_guard<std::mutex> g(mutex());
        lines().emplace_back(line);
    }
};

// Request log entries of one code on the driver device, after log entry `since`.
inline std::vector<sim::LogEntry> driverRequests(uint32_t code, uint64_t since = 0) {
    sim::LogQuery q;
    q.target = "\\\\.\\TavikDrv";
    q.code = code;
    q.since = since;
    return sim::Unit::instance().readLog(q);
}

inline uint64_t lastLogSeq() {
    sim::LogQuery q;
    q.last = 1;
    const auto log = sim::Unit::instance().readLog(q);
    return log.empty() ? 0 : log.back().seq;
}

} // namespace tavik::test
