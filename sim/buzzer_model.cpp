// The buzzer as the supervisor drives it: a tone record (frequency, volume) and an on/off
// trigger, with a history of when it sounded, for how long and at which tone.
// Document "buzzer": {"frequency", "volume", "on", "sounding": null | {"since_us", "frequency",
// "volume"}, "history": [{"start_us", "duration_ms", "frequency", "volume"}]}.
#include <chrono>
#include <cstdint>
#include <string>

#include "frame/request_index.h"
#include "platform/host/time_scale.h"
#include "sim/driver.h"

namespace tavik::sim {
namespace buzzer_model {

constexpr const char* kModel = "buzzer";
constexpr int kMinFrequency = 700, kMaxFrequency = 10000, kMaxVolume = 51;
constexpr size_t kHistoryKeep = 100; // newest entries kept

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool toneValid(int64_t frequency, int64_t volume) {
    return frequency >= kMinFrequency && frequency <= kMaxFrequency && volume >= 0 && volume <= kMaxVolume;
}

// Brings "sounding" and "history" in line with "on" and the tone: a switch-on opens a segment,
// a switch-off or a tone change closes it. Durations are in the unit's time (the real time
// scaled by this process's TAVIK_TIME_SCALE), as the library's sleeps are.
void settle(json& d) {
    const bool on = d.value("on", false);
    json& sounding = d["sounding"];
    const int64_t now = nowUs();
    if (!sounding.is_null()) {
        const bool toneChanged = sounding.value("frequency", 0) != d["frequency"] ||
                                 sounding.value("volume", 0) != d["volume"];
        if (!on || toneChanged) {
            const int64_t since = sounding.value("since_us", now);
            const double ms = (now - since) / 1000.0 * platform::host::timeScale();
            json& history = d["history"];
            if (!history.is_array()) history = json::array();
            history.push_back({{"start_us", since},
                               {"duration_ms", static_cast<int64_t>(ms + 0.5)},
                               {"frequency", sounding["frequency"]},
                               {"volume", sounding["volume"]}});
            while (history.size() > kHistoryKeep) history.erase(history.begin());
            sounding = nullptr;
        }
    }
    if (on && sounding.is_null())
        sounding = {{"since_us", now}, {"frequency", d["frequency"]}, {"volume", d["volume"]}};
}

int64_t integerField(const json& section, const char* key, int64_t fallback) {
    const auto it = section.find(key);
    return it != section.end() && it->is_number_integer() ? it->get<int64_t>() : fallback;
}

void initBuzzer(const json& profile, Txn& txn) {
    json p = profile.value(kModel, json::object());
    if (!p.is_object()) p = json::object();
    int64_t frequency = integerField(p, "frequency", 2000), volume = integerField(p, "volume", 30);
    if (!toneValid(frequency, volume)) frequency = 2000, volume = 30;
    txn.edit(kModel) = {{"frequency", frequency}, {"volume", volume}, {"on", false},
                        {"sounding", nullptr}, {"history", json::array()}};
}

bool validateBuzzer(json& d, std::string& error) {
    if (!d["frequency"].is_number_integer() || !d["volume"].is_number_integer() ||
        !toneValid(d["frequency"].get<int64_t>(), d["volume"].get<int64_t>())) {
        error = "frequency is 700..10000 (Hz) and volume 0..51";
        return false;
    }
    if (!d["on"].is_boolean()) {
        error = "on is true or false";
        return false;
    }
    if (!d["history"].is_array()) {
        error = "history is a list";
        return false;
    }
    settle(d);
    return true;
}

bool readTone(Txn& txn, Request& r) {
    const json& d = txn.get(kModel);
    const uint16_t frequency = d.value("frequency", 0), volume = d.value("volume", 0);
    r.out[0] = static_cast<uint8_t>(frequency);
    r.out[1] = static_cast<uint8_t>(frequency >> 8);
    r.out[2] = static_cast<uint8_t>(volume);
    r.out[3] = static_cast<uint8_t>(volume >> 8);
    r.returned = 4;
    return true;
}

bool writeTone(Txn& txn, Request& r) {
    const int frequency = r.in[0] | r.in[1] << 8, volume = r.in[2] | r.in[3] << 8;
    if (!toneValid(frequency, volume)) {
        r.note = "tone refused: " + std::to_string(frequency) + " Hz, volume " + std::to_string(volume);
        return false;
    }
    json& d = txn.edit(kModel);
    d["frequency"] = frequency;
    d["volume"] = volume;
    settle(d);
    r.returned = 4;
    return true;
}

bool readTrigger(Txn& txn, Request& r) {
    r.out[0] = txn.get(kModel).value("on", false) ? 1 : 0;
    r.returned = 1;
    return true;
}

// Byte 0 switches; bytes 1..3 are not looked at.
bool writeTrigger(Txn& txn, Request& r) {
    if (r.in[0] > 1) {
        r.note = "trigger refused: " + std::to_string(r.in[0]);
        return false;
    }
    json& d = txn.edit(kModel);
    d["on"] = r.in[0] == 1;
    settle(d);
    r.note = r.in[0] == 1 ? "buzzer on" : "buzzer off";
    r.returned = 4;
    return true;
}

const bool registered = [] {
    registerModel({kModel, &initBuzzer, &validateBuzzer});
    registerRequestHandler(frame::requestCode(0x948), &readTone);
    registerRequestHandler(frame::requestCode(0x949), &writeTone);
    registerRequestHandler(frame::requestCode(0x94A), &readTrigger);
    registerRequestHandler(frame::requestCode(0x94B), &writeTrigger);
    return true;
}();

} // namespace buzzer_model
} // namespace tavik::sim
