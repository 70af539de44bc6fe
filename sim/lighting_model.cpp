#include "sim/lighting_model.h"

#include <chrono>
#include <cmath>
#include <sstream>

#include "frame/request_index.h"
#include "platform/host/time_scale.h"
#include "sim/driver.h"
#include "sim/unit.h"

namespace tavik::sim {
namespace lighting_model {

constexpr uint32_t kChordBase[8] = {0, 16, 49, 115, 247, 511, 1039, 2095};
constexpr uint32_t kMaxCount = 4015;
constexpr double kExtendedFactor = 5.0;

// The converter's published lux rule, for choosing codes.
double luxOfCounts(double count0, double count1) {
    const double d = count0 - count1;
    if (d <= 0) return 0;
    const double r = count1 / d;
    return d * 0.39 * std::exp(-0.181 * r * r);
}

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double currentLux(const json& s) {
    const json& script = s.value("script", json::array());
    if (!script.is_array() || script.empty()) return s.value("lux", 0.0);
    const double seconds = (nowUs() - s.value("script_start_us", int64_t{0})) / 1e6 * platform::host::timeScale();
    return lightScriptLux(script, seconds);
}

// --- backlight -------------------------------------------------------------------------------

void initBacklight(const json& profile, Txn& txn) {
    const json p = profile.value("backlight", json::object());
    txn.edit("backlight") = {{"level", p.value("level", 128)}, {"status", p.value("status", 15)}};
}

bool validateByte(const json& doc, const char* field, std::string& error) {
    if (!doc.contains(field) || !doc[field].is_number_integer() || doc[field].get<int64_t>() < 0 ||
        doc[field].get<int64_t>() > 255) {
        error = std::string(field) + " must be an integer 0..255";
        return false;
    }
    return true;
}

bool validateBacklight(json& doc, std::string& error) {
    return validateByte(doc, "level", error) && validateByte(doc, "status", error);
}

bool getLevel(Txn& txn, Request& r) {
    r.out[0] = txn.get("backlight").value("level", 0);
    r.returned = 1;
    return true;
}

bool setLevel(Txn& txn, Request& r) {
    txn.edit("backlight")["level"] = r.in[0];
    r.returned = 1;
    r.note = "level " + std::to_string(r.in[0]);
    return true;
}

bool getStatus(Txn& txn, Request& r) {
    r.out[0] = txn.get("backlight").value("status", 15);
    r.returned = 1;
    return true;
}

// --- light sensor ----------------------------------------------------------------------------

void initLightsensor(const json& profile, Txn& txn) {
    const json p = profile.value("lightsensor", json::object());
    txn.edit("lightsensor") = {{"lux", p.value("lux", 300.0)},
                               {"ir_share", p.value("ir_share", 0.25)},
                               {"range", p.value("range", 0)},
                               {"script", json::array()},
                               {"script_start_us", 0}};
}

bool validateLightsensor(json& doc, std::string& error) {
    const json lux = doc.value("lux", json());
    if (!lux.is_number() || lux.get<double>() < 0 || lux.get<double>() > 1e6) {
        error = "lux must be a number 0..1000000";
        return false;
    }
    const json share = doc.value("ir_share", json());
    if (!share.is_number() || share.get<double>() < 0 || share.get<double>() > 0.9) {
        error = "ir_share must be a number 0..0.9";
        return false;
    }
    const json range = doc.value("range", json());
    if (!range.is_number_integer() || (range.get<int>() != 0 && range.get<int>() != 1)) {
        error = "range must be 0 or 1";
        return false;
    }
    const json script = doc.value("script", json::array());
    double last = 0;
    if (!script.is_array()) {
        error = "script must be a list of [seconds, lux]";
        return false;
    }
    for (const json& p : script) {
        if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number() || p[0].get<double>() < last ||
            p[1].get<double>() < 0) {
            error = "script must be a list of [seconds, lux], times not decreasing, lux not negative";
            return false;
        }
        last = p[0].get<double>();
    }
    return true;
}

bool readCodes(Txn& txn, Request& r) {
    const json& s = txn.get("lightsensor");
    const double lux = currentLux(s);
    const LightCodes c = lightCodesFor(lux, s.value("range", 0), s.value("ir_share", 0.25));
    r.out[0] = c.ch0;
    r.out[1] = c.ch1;
    r.returned = 2;
    std::ostringstream note;
    note << lux << " lux";
    r.note = note.str();
    return true;
}

bool writeRange(Txn& txn, Request& r) {
    if (r.in[0] > 1) {
        r.note = "range byte must be 0 or 1";
        return false;
    }
    txn.edit("lightsensor")["range"] = r.in[0];
    r.returned = 1;
    r.note = r.in[0] == 1 ? "range extended" : "range standard";
    return true;
}

bool readRange(Txn& txn, Request& r) {
    r.out[0] = static_cast<uint8_t>(txn.get("lightsensor").value("range", 0));
    r.returned = 1;
    return true;
}

const bool registered = [] {
    registerModel({"backlight", &initBacklight, &validateBacklight});
    registerModel({"lightsensor", &initLightsensor, &validateLightsensor});
    registerRequestHandler(frame::requestCode(0x906), &getLevel);
    registerRequestHandler(frame::requestCode(0x907), &setLevel);
    registerRequestHandler(frame::requestCode(0x908), &getStatus);
    registerRequestHandler(frame::requestCode(0x945), &readCodes);
    registerRequestHandler(frame::requestCode(0x946), &writeRange);
    registerRequestHandler(frame::requestCode(0x947), &readRange);
    return true;
}();

} // namespace lighting_model

uint32_t lightCountOfCode(uint8_t code) {
    const int chord = (code >> 4) & 7;
    return lighting_model::kChordBase[chord] + (static_cast<uint32_t>(code & 0x0F) << chord);
}

uint8_t lightCodeForCount(double count) {
    if (count >= lighting_model::kMaxCount) return 0xFF;
    uint8_t best = 0x80;
    double bestDistance = 1e9;
    for (int code = 0; code < 128; ++code) {
        const double distance = std::fabs(lightCountOfCode(static_cast<uint8_t>(code)) - count);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<uint8_t>(0x80 | code);
        }
    }
    return best;
}

LightCodes lightCodesFor(double lux, int range, double irShare) {
    const double seen = range == 1 ? lux / lighting_model::kExtendedFactor : lux;
    if (!(seen > 0)) return {0x80, 0x80};
    const double s = irShare;
    const double ratio = s / (1 - s);
    const double perCount0 = (1 - s) * 0.39 * std::exp(-0.181 * ratio * ratio);
    const double count0 = seen / perCount0;
    if (count0 > lighting_model::kMaxCount) return {0xFF, lightCodeForCount(s * count0)}; // channel 0 saturated
    // The channel 0 code whose pair (with the infrared code of the share) converts nearest.
    LightCodes best{0x80, 0x80};
    double bestError = seen;
    for (int code = 0; code < 128; ++code) {
        const uint8_t ch0 = static_cast<uint8_t>(0x80 | code);
        const uint8_t ch1 = lightCodeForCount(s * lightCountOfCode(ch0));
        const double error = std::fabs(lighting_model::luxOfCounts(lightCountOfCode(ch0), lightCountOfCode(ch1)) - seen);
        if (error < bestError) {
            bestError = error;
            best = {ch0, ch1};
        }
    }
    return best;
}

bool parseLightScript(const std::string& text, json& points, std::string& error) {
    points = json::array();
    std::istringstream in(text);
    std::string line;
    double last = 0;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        double seconds = 0, lux = 0;
        std::string rest;
        if (!(fields >> seconds)) {
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            error = "line " + std::to_string(number) + ": expected \"seconds lux\"";
            return false;
        }
        if (!(fields >> lux) || (fields >> rest) || !std::isfinite(seconds) || !std::isfinite(lux)) {
            error = "line " + std::to_string(number) + ": expected \"seconds lux\"";
            return false;
        }
        if (seconds < last || lux < 0) {
            error = "line " + std::to_string(number) + ": times must not decrease and lux must not be negative";
            return false;
        }
        last = seconds;
        points.push_back({seconds, lux});
    }
    if (points.empty()) {
        error = "the script has no points";
        return false;
    }
    return true;
}

double lightScriptLux(const json& points, double seconds) {
    if (points.empty()) return 0;
    if (seconds <= points.front()[0].get<double>()) return points.front()[1].get<double>();
    for (size_t i = 1; i < points.size(); ++i) {
        const double t1 = points[i][0].get<double>();
        if (seconds < t1) {
            const double t0 = points[i - 1][0].get<double>();
            const double l0 = points[i - 1][1].get<double>();
            const double l1 = points[i][1].get<double>();
            return l0 + (l1 - l0) * (seconds - t0) / (t1 - t0);
        }
    }
    return points.back()[1].get<double>();
}

void setAmbientLight(double lux) {
    Unit::instance().transact([&](Txn& txn) {
        json& s = txn.edit("lightsensor");
        s["lux"] = lux;
        s["script"] = json::array();
    });
}

void startLightScript(const json& points) {
    Unit::instance().transact([&](Txn& txn) {
        json& s = txn.edit("lightsensor");
        s["script"] = points;
        s["script_start_us"] = lighting_model::nowUs();
    });
}

double ambientLight() {
    double lux = 0;
    Unit::instance().transact([&](Txn& txn) { lux = lighting_model::currentLux(txn.get("lightsensor")); });
    return lux;
}

} // namespace tavik::sim
