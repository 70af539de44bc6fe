// The front LED as the supervisor drives it: the blink pattern (signal record), the colour and
// whether it is lit during start-up.
// Document "front_led": {"on_time", "off_time", "idle_time", "pulses" (0..255 each; the times in
// hundredths of a second), "color": {"red", "green", "blue"} (0..15 each), "enabled_during_startup"}.
#include <cstdint>
#include <string>

#include "frame/request_index.h"
#include "sim/driver.h"

namespace tavik::sim {
namespace front_led_model {

constexpr const char* kModel = "front_led";
// Signal record bytes 0..3, in order.
constexpr const char* kSignalFields[] = {"on_time", "off_time", "idle_time", "pulses"};
constexpr const char* kColorFields[] = {"red", "green", "blue"};
constexpr int kMaxLevel = 15;

bool inRange(const json& v, int64_t low, int64_t high) {
    return v.is_number_integer() && v.get<int64_t>() >= low && v.get<int64_t>() <= high;
}

bool validateFrontLed(json& d, std::string& error) {
    for (const char* f : kSignalFields)
        if (!inRange(d[f], 0, 255)) {
            error = std::string(f) + " is 0..255";
            return false;
        }
    if (!d["color"].is_object()) {
        error = "color is {\"red\", \"green\", \"blue\"}";
        return false;
    }
    for (const char* c : kColorFields)
        if (!inRange(d["color"][c], 0, kMaxLevel)) {
            error = std::string("color.") + c + " is 0..15";
            return false;
        }
    if (!d["enabled_during_startup"].is_boolean()) {
        error = "enabled_during_startup is true or false";
        return false;
    }
    return true;
}

// Defaults: steady green, one second on and off, lit during start-up.
void initFrontLed(const json& profile, Txn& txn) {
    const json defaults = {{"on_time", 50}, {"off_time", 50}, {"idle_time", 0}, {"pulses", 0},
                           {"color", {{"red", 0}, {"green", kMaxLevel}, {"blue", 0}}},
                           {"enabled_during_startup", true}};
    json d = defaults;
    const json p = profile.value(kModel, json::object());
    if (p.is_object()) d.merge_patch(p);
    std::string error;
    if (!validateFrontLed(d, error)) d = defaults;
    txn.edit(kModel) = d;
}

bool readSignal(Txn& txn, Request& r) {
    const json& d = txn.get(kModel);
    for (int i = 0; i < 4; ++i) r.out[i] = d.value(kSignalFields[i], 0);
    r.returned = 4;
    return true;
}

bool writeSignal(Txn& txn, Request& r) {
    json& d = txn.edit(kModel);
    for (int i = 0; i < 4; ++i) d[kSignalFields[i]] = r.in[i];
    r.returned = 4;
    return true;
}

bool readColor(Txn& txn, Request& r) {
    const json c = txn.get(kModel).value("color", json::object());
    for (int i = 0; i < 3; ++i) r.out[i] = c.value(kColorFields[i], 0);
    r.returned = 3;
    return true;
}

bool writeColor(Txn& txn, Request& r) {
    for (int i = 0; i < 3; ++i)
        if (r.in[i] > kMaxLevel) {
            r.note = std::string("colour refused: ") + kColorFields[i] + " " + std::to_string(r.in[i]);
            return false;
        }
    json& c = txn.edit(kModel)["color"];
    for (int i = 0; i < 3; ++i) c[kColorFields[i]] = r.in[i];
    r.returned = 3;
    return true;
}

bool readStartup(Txn& txn, Request& r) {
    r.out[0] = txn.get(kModel).value("enabled_during_startup", false) ? 1 : 0;
    r.returned = 1;
    return true;
}

bool writeStartup(Txn& txn, Request& r) {
    if (r.in[0] > 1) {
        r.note = "start-up flag refused: " + std::to_string(r.in[0]);
        return false;
    }
    txn.edit(kModel)["enabled_during_startup"] = r.in[0] == 1;
    r.returned = 1;
    return true;
}

const bool registered = [] {
    registerModel({kModel, &initFrontLed, &validateFrontLed});
    registerRequestHandler(frame::requestCode(0x94C), &readSignal);
    registerRequestHandler(frame::requestCode(0x94D), &writeSignal);
    registerRequestHandler(frame::requestCode(0x94E), &readColor);
    registerRequestHandler(frame::requestCode(0x94F), &writeColor);
    registerRequestHandler(frame::requestCode(0x950), &readStartup);
    registerRequestHandler(frame::requestCode(0x951), &writeStartup);
    return true;
}();

} // namespace front_led_model
} // namespace tavik::sim
