// The supervisor's health record ("supervisor") and the requests that read it.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "frame/request_index.h"
#include "sim/driver.h"
#include "sim/supervisor.h"

namespace tavik::sim {
namespace diagnostic_model {

constexpr const char* kModel = "supervisor";
constexpr size_t kTimerCounters = 7; // the 28-byte record: seven 32-bit counters

json defaults() {
    return {
        {"ssTemp", 41},          {"pcbTemp", 37},
        {"minTemp", -8},         {"maxTemp", 58},
        {"startupReason", kStartupFrontButton},
        {"shutdownReason", 1},   {"hwErrorStatus", 0},
        {"powerCycles", 214},
        {"timer", json::array({5234100, 4810230, 2211, 1532, 96, 4801, 0})},
    };
}

// The supervisor's extremes always include the temperatures it measures now.
bool validate(json& doc, std::string& error) {
    const char* temps[] = {"ssTemp", "pcbTemp", "minTemp", "maxTemp"};
    for (const char* f : temps)
        if (!checkInteger(doc, f, INT16_MIN, INT16_MAX, error)) return false;
    const char* words[] = {"startupReason", "shutdownReason", "hwErrorStatus", "powerCycles"};
    for (const char* f : words)
        if (!checkInteger(doc, f, 0, UINT16_MAX, error)) return false;
    const json& timer = doc["timer"];
    if (!timer.is_array() || timer.size() != kTimerCounters) {
        error = "timer: a list of 7 counters";
        return false;
    }
    for (const json& c : timer) {
        if (!c.is_number_integer() || c.get<int64_t>() < 0 || c.get<int64_t>() > UINT32_MAX) {
            error = "timer: counters are 0..4294967295";
            return false;
        }
    }
    const int ss = doc["ssTemp"], pcb = doc["pcbTemp"];
    doc["minTemp"] = std::min({doc["minTemp"].get<int>(), ss, pcb});
    doc["maxTemp"] = std::max({doc["maxTemp"].get<int>(), ss, pcb});
    return true;
}

void init(const json& profile, Txn& txn) {
    txn.edit(kModel) = documentFromProfile(profile, kModel, defaults(), &validate);
}

const bool modelRegistered = (registerModel({kModel, &init, &validate}), true);

void put16(uint8_t* p, int64_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// A 2-byte reply of one field, little-endian.
bool serveWord(Txn& txn, Request& r, const char* field) {
    put16(r.out, txn.get(kModel).at(field).get<int64_t>());
    r.returned = 2;
    return true;
}

bool ssTemp(Txn& t, Request& r) { return serveWord(t, r, "ssTemp"); }
bool pcbTemp(Txn& t, Request& r) { return serveWord(t, r, "pcbTemp"); }
bool startupReason(Txn& t, Request& r) { return serveWord(t, r, "startupReason"); }
bool shutdownReason(Txn& t, Request& r) { return serveWord(t, r, "shutdownReason"); }
bool hwErrorStatus(Txn& t, Request& r) { return serveWord(t, r, "hwErrorStatus"); }
bool powerCycles(Txn& t, Request& r) { return serveWord(t, r, "powerCycles"); }

bool timer(Txn& txn, Request& r) {
    const json& counters = txn.get(kModel).at("timer");
    for (size_t i = 0; i < kTimerCounters; ++i) {
        const uint32_t v = counters.at(i).get<uint32_t>();
        put16(r.out + 4 * i, v & 0xFFFF);
        put16(r.out + 4 * i + 2, v >> 16);
    }
    r.returned = 28;
    return true;
}

// The maximum first (bytes 0..1), then the minimum (bytes 2..3).
bool minMax(Txn& txn, Request& r) {
    const json& d = txn.get(kModel);
    put16(r.out, d.at("maxTemp").get<int64_t>());
    put16(r.out + 2, d.at("minTemp").get<int64_t>());
    r.returned = 4;
    return true;
}

bool clearHwError(Txn& txn, Request& r) {
    txn.edit(kModel)["hwErrorStatus"] = 0;
    r.returned = 0;
    r.note = "hardware error status cleared";
    return true;
}

const bool handlersRegistered = [] {
    registerRequestHandler(frame::requestCode(0x91A), &ssTemp);
    registerRequestHandler(frame::requestCode(0x91B), &pcbTemp);
    registerRequestHandler(frame::requestCode(0x91C), &timer);
    registerRequestHandler(frame::requestCode(0x91D), &startupReason);
    registerRequestHandler(frame::requestCode(0x91E), &shutdownReason);
    registerRequestHandler(frame::requestCode(0x91F), &hwErrorStatus);
    registerRequestHandler(frame::requestCode(0x920), &powerCycles);
    registerRequestHandler(frame::requestCode(0x921), &minMax);
    registerRequestHandler(frame::requestCode(0x967), &clearHwError);
    return true;
}();

} // namespace diagnostic_model

bool checkInteger(const json& doc, const char* field, int64_t lo, int64_t hi, std::string& error) {
    const auto it = doc.find(field);
    if (it == doc.end() || !it->is_number_integer() || it->get<int64_t>() < lo || it->get<int64_t>() > hi) {
        error = std::string(field) + ": an integer " + std::to_string(lo) + ".." + std::to_string(hi);
        return false;
    }
    return true;
}

json documentFromProfile(const json& profile, const char* model, json defaults,
                         bool (*validate)(json&, std::string&)) {
    const auto section = profile.find(model);
    if (section != profile.end() && !section->is_null()) {
        if (!section->is_object()) throw std::invalid_argument(std::string(model) + ": not an object");
        for (const auto& [key, value] : section->items()) {
            if (!defaults.contains(key)) throw std::invalid_argument(std::string(model) + ": unknown field " + key);
            defaults[key] = value;
        }
    }
    std::string error;
    if (!validate(defaults, error)) throw std::invalid_argument(std::string(model) + "." + error);
    return defaults;
}

} // namespace tavik::sim
