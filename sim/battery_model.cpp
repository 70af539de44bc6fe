// The backup battery's management chip ("battery"): 16-bit registers read one at a time through
// request 0x2225C0. The document keeps the values by name; the table below says which register
// holds what. A unit without a battery fails every register read.
#include <cstdint>
#include <string>

#include "frame/request_index.h"
#include "sim/driver.h"
#include "sim/supervisor.h"

namespace tavik::sim {
namespace battery_model {

constexpr const char* kModel = "battery";
constexpr int64_t kTempOffset = 56;   // registers 24 and 25 hold degrees + 56
constexpr size_t kSerialChars = 10;   // registers 15..19, two characters each, high byte first
constexpr size_t kTimerPairs = 9;

json defaults() {
    return {
        {"fitted", true},
        {"voltage", 12050},     // mV
        {"temperature", 27},    // degrees Celsius
        {"status", 0x0004},     // bit 0 clear: external power; bit 2: charging state 2
        {"errors", 0},
        {"hwVersion", 0x0102},  // 1.2
        {"swVersion", json::array({1, 4, 0, 12})},
        {"serial", "BT24A07731"},
        {"minTemp", -12},       // degrees Celsius
        {"maxTemp", 49},
        // Nine counters as [hours, minutes] (registers in docs/simulator.md).
        {"timers", json::array({json::array({1520, 42}), json::array({312, 5}), json::array({88, 30}),
                                json::array({41, 12}), json::array({7, 59}), json::array({2, 0}),
                                json::array({0, 45}), json::array({0, 0}), json::array({1, 1})})},
    };
}

// Registers that hold one named 16-bit field as it is.
struct Plain {
    uint16_t reg;
    const char* field;
};
constexpr Plain kPlain[] = {{2, "voltage"}, {3, "temperature"}, {4, "status"}, {5, "errors"}, {6, "hwVersion"}};

// The two registers of each time counter, in the order of "timers".
constexpr uint16_t kTimerRegs[kTimerPairs][2] = {
    {20, 22}, {21, 23}, {26, 27}, {28, 29}, {30, 31}, {32, 33}, {34, 35}, {36, 37}, {38, 39},
};

bool validate(json& doc, std::string& error) {
    if (!doc.contains("fitted") || !doc["fitted"].is_boolean()) {
        error = "fitted: true or false";
        return false;
    }
    if (!checkInteger(doc, "temperature", INT16_MIN, INT16_MAX, error)) return false;
    for (const char* f : {"voltage", "status", "errors", "hwVersion"})
        if (!checkInteger(doc, f, 0, UINT16_MAX, error)) return false;
    for (const char* f : {"minTemp", "maxTemp"})
        if (!checkInteger(doc, f, -kTempOffset, UINT16_MAX - kTempOffset, error)) return false;
    const json& sw = doc["swVersion"];
    if (!sw.is_array() || sw.size() != 4) {
        error = "swVersion: four numbers 0..65535";
        return false;
    }
    for (size_t i = 0; i < 4; ++i)
        if (!checkInteger(json{{"swVersion", sw[i]}}, "swVersion", 0, UINT16_MAX, error)) return false;
    const json& serial = doc["serial"];
    if (!serial.is_string() || serial.get<std::string>().size() > kSerialChars) {
        error = "serial: a text of at most 10 characters";
        return false;
    }
    const json& timers = doc["timers"];
    if (!timers.is_array() || timers.size() != kTimerPairs) {
        error = "timers: nine [hours, minutes] pairs";
        return false;
    }
    for (const json& pair : timers) {
        if (!pair.is_array() || pair.size() != 2 || !checkInteger(json{{"t", pair[0]}}, "t", 0, UINT16_MAX, error) ||
            !checkInteger(json{{"t", pair[1]}}, "t", 0, UINT16_MAX, error)) {
            error = "timers: nine [hours, minutes] pairs of 0..65535";
            return false;
        }
    }
    return true;
}

void init(const json& profile, Txn& txn) {
    txn.edit(kModel) = documentFromProfile(profile, kModel, defaults(), &validate);
}

const bool modelRegistered = (registerModel({kModel, &init, &validate}), true);

// The value of register `reg`; false for a register the chip does not have.
bool registerValue(const json& d, uint16_t reg, uint16_t& value) {
    for (const Plain& p : kPlain) {
        if (p.reg == reg) {
            value = static_cast<uint16_t>(d.at(p.field).get<int64_t>());
            return true;
        }
    }
    if (reg >= 7 && reg <= 10) {
        value = d.at("swVersion").at(reg - 7).get<uint16_t>();
        return true;
    }
    if (reg >= 15 && reg <= 19) {
        const std::string serial = d.at("serial").get<std::string>();
        const size_t at = 2 * (reg - 15u);
        const auto ch = [&](size_t i) { return i < serial.size() ? static_cast<uint8_t>(serial[i]) : 0; };
        value = static_cast<uint16_t>(ch(at) << 8 | ch(at + 1));
        return true;
    }
    if (reg == 24 || reg == 25) {
        value = static_cast<uint16_t>(d.at(reg == 24 ? "minTemp" : "maxTemp").get<int64_t>() + kTempOffset);
        return true;
    }
    for (size_t i = 0; i < kTimerPairs; ++i) {
        for (size_t j = 0; j < 2; ++j) {
            if (kTimerRegs[i][j] == reg) {
                value = d.at("timers").at(i).at(j).get<uint16_t>();
                return true;
            }
        }
    }
    return false;
}

bool readRegister(Txn& txn, Request& r) {
    const json& d = txn.get(kModel);
    const uint16_t reg = static_cast<uint16_t>(r.in[0] | r.in[1] << 8);
    if (!d.value("fitted", false)) {
        r.note = "no battery fitted";
        return false;
    }
    uint16_t value = 0;
    if (!registerValue(d, reg, value)) {
        r.note = "no battery register " + std::to_string(reg);
        return false;
    }
    r.out[0] = static_cast<uint8_t>(value);
    r.out[1] = static_cast<uint8_t>(value >> 8);
    r.returned = 2;
    return true;
}

const bool handlerRegistered = (registerRequestHandler(frame::requestCode(0x970), &readRegister), true);

} // namespace battery_model
} // namespace tavik::sim
