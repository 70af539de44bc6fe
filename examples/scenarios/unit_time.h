// The example programs wait in the unit's time: TAVIK_TIME_SCALE (set by the scenario runner)
// makes their pauses as much shorter as the library's.
#pragma once

#include <chrono>
#include <cstdlib>
#include <thread>

inline void sleepUnitMs(double ms) {
    const char* v = std::getenv("TAVIK_TIME_SCALE");
    const double scale = v != nullptr && std::atof(v) > 0 ? std::atof(v) : 1.0;
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms / scale));
}
