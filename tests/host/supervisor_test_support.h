// Test helpers for the supervisor's families (Diagnostic, Power, Config): scripted replies,
// returned-count faults, the driver's presence and the requests sent, byte for byte.
#pragma once

#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace tavik::test {

class SupervisorTest : public SimTest {
protected:
    static constexpr const char* kDriver = "\\\\.\\TavikDrv";

    // The next request `code` returns the bytes `hex` (and `count` when given) instead.
    void reply(uint32_t code, const std::string& hex, int count = -1) {
        sim::json f = {{"target", kDriver}, {"code", code}, {"action", "reply"}, {"reply", hex}, {"remaining", 1}};
        if (count >= 0) f["count"] = count;
        unit().addFault(f);
    }
    // The next `times` requests `code` are served but report `count` bytes.
    void returnCount(uint32_t code, uint32_t count, int times = 1) {
        unit().addFault({{"target", kDriver}, {"code", code}, {"action", "count"}, {"count", count}, {"remaining", times}});
    }
    void failRequest(uint32_t code) {
        unit().addFault({{"target", kDriver}, {"code", code}, {"action", "fail"}, {"remaining", 1}});
    }
    // The driver cannot be opened for the next `times` opens (-1: until cleared).
    void driverAbsent(int times = -1) {
        unit().addFault({{"target", kDriver}, {"code", 0}, {"action", "absent"}, {"remaining", times}});
    }
    // The requests with this code, in order.
    std::vector<sim::LogEntry> sent(uint32_t code) {
        std::vector<sim::LogEntry> out;
        for (sim::LogEntry& e : requests())
            if (e.code == code) out.push_back(std::move(e));
        return out;
    }
    // Opens of the driver's main device (successful or not).
    size_t opens() {
        size_t n = 0;
        for (const sim::LogEntry& e : unit().readLog())
            if (e.target == kDriver && e.code == 0) ++n;
        return n;
    }
    static std::vector<uint8_t> bytes(std::initializer_list<uint8_t> b) { return b; }
};

} // namespace tavik::test
