// The calls of the record-and-replay tests, as an application makes them through the exported
// functions: driver requests, a board-library sensor, a service control and a registry value.
// The wine program records them through Tavik2.dll (tests/wine/record/), the host suite replays
// the trace through libtavik2.so (tests/host/record_replay_test.cpp) and compares the results.
// Portable C++, no test framework.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tavik2/tavik2.h"

namespace tavik::test::record_cases {

// Faults the recording unit has in place: the supervisor temperature request fails, and the
// platform service refuses its controls.
constexpr uint32_t kFailedRequest = 0x222468; // Diagnostic_getSSTemp
constexpr uint8_t kLevel = 120;

using Results = std::vector<std::pair<std::string, long>>;

inline Results run() {
    Results r;
    Tavik2Backlight* b = GetBacklight();
    uint8_t level = 0;
    r.emplace_back("Backlight_setIntensity", Backlight_setIntensity(b, kLevel));
    r.emplace_back("Backlight_getIntensity", Backlight_getIntensity(b, &level));
    r.emplace_back("level", level);
    r.emplace_back("Backlight_setLedDimming", Backlight_setLedDimming(b, 1)); // a service control
    Backlight_release(b);

    Tavik2Diagnostic* d = GetDiagnostic();
    int16_t ss = -1, pm = -1;
    int32_t type = -1;
    r.emplace_back("Diagnostic_getSSTemp", Diagnostic_getSSTemp(d, &ss));
    r.emplace_back("ss", ss);
    r.emplace_back("Diagnostic_getPMTemp", Diagnostic_getPMTemp(d, 0, &pm, &type)); // the board library
    r.emplace_back("pm", pm);
    r.emplace_back("type", type);
    Diagnostic_release(d);

    Tavik2CanSetting* c = GetCanSetting();
    uint16_t baud = 0;
    r.emplace_back("CanSetting_getBaudrate", CanSetting_getBaudrate(c, 1, &baud)); // the registry
    r.emplace_back("baud", baud);
    CanSetting_release(c);
    return r;
}

inline std::string text(const Results& results) {
    std::string s;
    for (const auto& [name, value] : results) s += name + " " + std::to_string(value) + "\n";
    return s;
}

} // namespace tavik::test::record_cases
