// Digital inputs and the supervisor's supply-voltage measurements.
// State: "digio": {"inputs": byte the driver reports (bits 0..3 the inputs)};
// "adc": {"raw": [16 raw readings, one per selector; 0xF0F0 (61680) for a voltage not measured]}.
#include <cstring>

#include "frame/request_index.h"
#include "sim/driver.h"

namespace tavik::sim {
namespace io_model {

constexpr uint32_t kAdcSelectors = 16;
constexpr uint16_t kUnmeasured = 0xF0F0;

// Raw readings of a fully fitted unit: 24 V and 12 V supplies, 5 V rails, 3.3/2.5/1.8 V rails and
// low-voltage references; selectors the supervisor does not measure read 0xF0F0.
constexpr uint16_t kDefaultRaw[kAdcSelectors] = {
    2482, 1241, 1241, kUnmeasured, 2048, 1551, 1117, kUnmeasured,
    1489, 1241, 3724, 2048, kUnmeasured, kUnmeasured, kUnmeasured, kUnmeasured,
};

bool isByte(const json& v) { return v.is_number_integer() && v.get<int64_t>() >= 0 && v.get<int64_t>() <= 0xFF; }
bool isWord(const json& v) { return v.is_number_integer() && v.get<int64_t>() >= 0 && v.get<int64_t>() <= 0xFFFF; }

void initDigio(const json& profile, Txn& txn) {
    const json p = profile.value("digio", json::object());
    json inputs = p.value("inputs", json(0x05));
    if (!isByte(inputs)) inputs = 0x05;
    txn.edit("digio") = {{"inputs", inputs}};
}

bool validateDigio(json& doc, std::string& error) {
    if (doc.is_object() && doc.contains("inputs") && isByte(doc["inputs"])) return true;
    error = "digio.inputs must be a byte (0..255)";
    return false;
}

void initAdc(const json& profile, Txn& txn) {
    const json p = profile.value("adc", json::object());
    json raw = json::array();
    for (uint32_t i = 0; i < kAdcSelectors; ++i) raw.push_back(kDefaultRaw[i]);
    if (p.contains("raw") && p["raw"].is_array())
        for (size_t i = 0; i < kAdcSelectors && i < p["raw"].size(); ++i)
            if (isWord(p["raw"][i])) raw[i] = p["raw"][i];
    txn.edit("adc") = {{"raw", raw}};
}

bool validateAdc(json& doc, std::string& error) {
    if (doc.is_object() && doc.contains("raw") && doc["raw"].is_array() && doc["raw"].size() == kAdcSelectors) {
        bool ok = true;
        for (const json& v : doc["raw"]) ok = ok && isWord(v);
        if (ok) return true;
    }
    error = "adc.raw must be 16 readings of 0..65535 (61680 = 0xF0F0: not measured)";
    return false;
}

bool getDigio(Txn& txn, Request& r) {
    r.out[0] = txn.get("digio").value("inputs", 0u) & 0xFF;
    r.returned = 1;
    return true;
}

// The selector is echoed; an unknown selector is a voltage the supervisor does not measure.
bool getVoltage(Txn& txn, Request& r) {
    const uint32_t selector = r.in[0] | r.in[1] << 8 | r.in[2] << 16 | static_cast<uint32_t>(r.in[3]) << 24;
    uint16_t raw = kUnmeasured;
    const json& readings = txn.get("adc").value("raw", json::array());
    if (selector < kAdcSelectors && selector < readings.size()) raw = readings[selector].get<uint16_t>();
    std::memcpy(r.out, r.in, 4);
    r.out[4] = static_cast<uint8_t>(raw);
    r.out[5] = static_cast<uint8_t>(raw >> 8);
    r.out[6] = r.out[7] = 0;
    r.returned = 8;
    r.note = raw == kUnmeasured ? "not measured" : "";
    return true;
}

const bool registered = [] {
    registerModel({"digio", &initDigio, &validateDigio});
    registerModel({"adc", &initAdc, &validateAdc});
    registerRequestHandler(frame::requestCode(0x952), &getDigio);
    registerRequestHandler(frame::requestCode(0x919), &getVoltage);
    return true;
}();

} // namespace io_model
} // namespace tavik::sim
