// tavikctl battery: the backup battery's state through the Battery family.
#include <cstdio>

#include "readings.h"
#include "tavik2/battery.h"

namespace tavikctl {
namespace battery_cmd {

using Varnholtstad::Battery;

constexpr const char* kCelsius = "°C";
constexpr const char* kPercent = "%";
constexpr const char* kMinutes = "min";

// A time counter in minutes, shown with its hours: "150 min (2.5 h)".
Reading timeCounter(int n, ErrorCode e, uint32_t minutes) {
    char hours[32];
    std::snprintf(hours, sizeof hours, "%.1f", minutes / 60.0);
    Reading r = reading("timer_" + std::to_string(n), "Time counter " + std::to_string(n), kMinutes, e, minutes);
    if (e == ERR_SUCCESS) {
        r.text = std::to_string(minutes) + " min (" + hours + " h)";
        r.unit.clear();
        r.extra = {{"unit", kMinutes}, {"hours", minutes / 60.0}};
    }
    return r;
}

void showBattery(Context& ctx) {
    Battery* h = GetBattery();
    if (h == nullptr) return failWith(ctx, "battery", ERR_MEMORY_ALLOCATION);
    std::vector<Reading> out;
    bool present = false;
    ErrorCode e = Battery_isBatteryPresent(h, &present);
    out.push_back(reading("present", "Battery fitted", "", e, present, present ? "yes" : "no"));

    uint8_t percent = 0;
    e = Battery_getBatteryVoltageStatus(h, &percent);
    out.push_back(reading("charge", "Charge level", kPercent, e, percent));
    int32_t state = 0;
    e = Battery_getBatteryChargingStatus(h, &state);
    out.push_back(reading("charging_state", "Charging state (0..4)", "", e, state));
    e = Battery_getPowerSource(h, &state);
    out.push_back(reading("power_source", "Power source (0/1)", "", e, state));
    e = Battery_getHwErrorStatus(h, &state);
    out.push_back(reading("error_state", "Error state (0..5)", "", e, state));

    int16_t t = 0, lo = 0, hi = 0;
    e = Battery_getBatteryTemp(h, &t);
    out.push_back(reading("temperature", "Temperature", kCelsius, e, t));
    e = Battery_getMinMaxTemp(h, &lo, &hi);
    out.push_back(reading("min_temp", "Lowest temperature seen", kCelsius, e, lo));
    out.push_back(reading("max_temp", "Highest temperature seen", kCelsius, e, hi));

    Varnholtstad::BatteryTimer timer{};
    e = Battery_getTimer(h, &timer);
    for (int i = 0; i < 9; ++i) out.push_back(timeCounter(i + 1, e, timer.counter[i]));

    char text[64] = {};
    e = Battery_getBatteryHWversion(h, text, sizeof text);
    out.push_back(reading("hw_version", "Hardware version", "", e, text, text));
    uint16_t v[4] = {};
    e = Battery_getBatterySwVersion(h, &v[0], &v[1], &v[2], &v[3]);
    const std::string sw = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) +
                           "." + std::to_string(v[3]);
    out.push_back(reading("sw_version", "Software version", "", e, sw, sw));
    e = Battery_getBatterySerial(h, text, sizeof text);
    out.push_back(reading("serial", "Serial number", "", e, text, text));
    Battery_release(h);
    showReadings(ctx, out);
}

} // namespace battery_cmd

void addBatteryCommands(CLI::App& app, Context& ctx) {
    using namespace battery_cmd;
    app.add_subcommand("battery", "Backup battery: charge, charging state, power source, temperatures, "
                                  "error state, time counters, versions, serial number")
        ->callback([&ctx] { showBattery(ctx); });
}

} // namespace tavikctl
