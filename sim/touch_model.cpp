#include "sim/touch_model.h"

#include <chrono>

#include "frame/request_index.h"
#include "platform/host/time_scale.h"
#include "sim/driver.h"

namespace tavik::sim {
namespace touch_model {

constexpr const char* kModel = "touch";
constexpr size_t kRegisters = 32;
constexpr uint8_t kPointRegister = 1;
constexpr uint16_t kNoPointFinished = 0xFF00;
// Controller bytes of the calibration modes.
constexpr uint8_t kCalibrationBytes[] = {1, 6, 10, 14};

// Power-up values: register 1 with no point finished, advanced settings (4..14, 19) and
// calibration parameters (13..18) as the controller's firmware presets them.
constexpr uint16_t kDefaultRegisters[kRegisters] = {
    0, kNoPointFinished, 0, 0, 0, 100, 3995, 1600, 2400, 800, 200, 400, 1, 120, 3976, 150,
    3940, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool isWord(const json& v) { return v.is_number_integer() && v.get<int64_t>() >= 0 && v.get<int64_t>() <= 0xFFFF; }
bool isByte(const json& v) { return v.is_number_integer() && v.get<int64_t>() >= 0 && v.get<int64_t>() <= 0xFF; }
bool isCount(const json& v) { return v.is_number_integer() && v.get<int64_t>() >= 0; }

bool calibrating(uint8_t controllerByte) {
    for (uint8_t b : kCalibrationBytes)
        if (b == controllerByte) return true;
    return false;
}

void initTouch(const json& profile, Txn& txn) {
    const json p = profile.value("touch", json::object());
    json registers = json::array();
    for (uint16_t v : kDefaultRegisters) registers.push_back(v);
    json doc = {{"mode", 1}, {"right_click_time", 1000}, {"calibration_mode", 0},
                {"registers", registers}, {"point_delay_ms", 1000}, {"pending", nullptr}};
    for (const char* byteField : {"mode", "calibration_mode"})
        if (p.contains(byteField) && isByte(p[byteField])) doc[byteField] = p[byteField];
    if (p.contains("right_click_time") && isWord(p["right_click_time"])) doc["right_click_time"] = p["right_click_time"];
    if (p.contains("point_delay_ms") && isCount(p["point_delay_ms"])) doc["point_delay_ms"] = p["point_delay_ms"];
    txn.edit(kModel) = doc;
}

bool validateTouch(json& doc, std::string& error) {
    error = "touch: mode and calibration_mode are bytes, right_click_time 0..65535, registers 32 values "
            "of 0..65535, point_delay_ms a count of milliseconds, pending null or {point, started_us}";
    if (!doc.is_object()) return false;
    if (!isByte(doc.value("mode", json())) || !isByte(doc.value("calibration_mode", json())) ||
        !isWord(doc.value("right_click_time", json())) || !isCount(doc.value("point_delay_ms", json())))
        return false;
    const json regs = doc.value("registers", json());
    if (!regs.is_array() || regs.size() != kRegisters) return false;
    for (const json& v : regs)
        if (!isWord(v)) return false;
    const json pending = doc.value("pending", json());
    if (!pending.is_null() && !(pending.is_object() && isByte(pending.value("point", json())) &&
                                pending.value("started_us", json()).is_number_integer()))
        return false;
    error.clear();
    return true;
}

void finish(json& doc) {
    const uint16_t point = doc["pending"]["point"].get<uint16_t>();
    doc["registers"][kPointRegister] = static_cast<uint16_t>(point << 8 | point);
    doc["pending"] = nullptr;
}

// The user touches the target point_delay_ms of unit time after the point was started.
void touchIfDue(Txn& txn) {
    const json& doc = txn.get(kModel);
    const json pending = doc.value("pending", json());
    if (!pending.is_object()) return;
    const double elapsedMs = (nowUs() - pending.value("started_us", int64_t{0})) / 1000.0 *
                             platform::host::timeScale();
    if (elapsedMs >= doc.value("point_delay_ms", 0.0)) finish(txn.edit(kModel));
}

bool getMode(Txn& txn, Request& r) {
    r.out[0] = txn.get(kModel).value("mode", 0u) & 0xFF;
    r.returned = 1;
    return true;
}

bool setMode(Txn& txn, Request& r) {
    txn.edit(kModel)["mode"] = r.in[0];
    r.returned = 1;
    return true;
}

bool getRightClick(Txn& txn, Request& r) {
    const uint32_t t = txn.get(kModel).value("right_click_time", 0u);
    r.out[0] = static_cast<uint8_t>(t);
    r.out[1] = static_cast<uint8_t>(t >> 8);
    r.returned = 2;
    return true;
}

bool setRightClick(Txn& txn, Request& r) {
    txn.edit(kModel)["right_click_time"] = r.in[0] | r.in[1] << 8;
    r.returned = 2;
    return true;
}

bool setCalibrationMode(Txn& txn, Request& r) {
    json& doc = txn.edit(kModel);
    doc["calibration_mode"] = r.in[0];
    doc["pending"] = nullptr;
    doc["registers"][kPointRegister] = kNoPointFinished;
    r.returned = 1;
    return true;
}

bool getCalibrationMode(Txn& txn, Request& r) {
    r.out[0] = txn.get(kModel).value("calibration_mode", 0u) & 0xFF;
    r.returned = 1;
    return true;
}

bool readRegister(Txn& txn, Request& r) {
    const uint8_t reg = r.in[0];
    if (reg >= kRegisters) {
        r.note = "no such register";
        return false;
    }
    if (reg == kPointRegister) touchIfDue(txn);
    const uint16_t v = txn.get(kModel)["registers"][reg].get<uint16_t>();
    r.out[0] = reg;
    r.out[1] = 0;
    r.out[2] = static_cast<uint8_t>(v);
    r.out[3] = static_cast<uint8_t>(v >> 8);
    r.returned = 4;
    return true;
}

bool writeRegister(Txn& txn, Request& r) {
    const uint8_t reg = r.in[0];
    if (reg >= kRegisters) {
        r.note = "no such register";
        return false;
    }
    const uint16_t v = static_cast<uint16_t>(r.in[2] | r.in[3] << 8);
    json& doc = txn.edit(kModel);
    if (reg == kPointRegister && calibrating(doc.value("calibration_mode", 0u) & 0xFF)) {
        const uint8_t point = static_cast<uint8_t>(v);
        doc["registers"][reg] = static_cast<uint16_t>(kNoPointFinished | point);
        doc["pending"] = {{"point", point}, {"started_us", nowUs()}};
        r.note = "calibrating point " + std::to_string(point);
    } else {
        doc["registers"][reg] = v;
    }
    r.returned = 4;
    return true;
}

const bool registered = [] {
    registerModel({kModel, &initTouch, &validateTouch});
    registerRequestHandler(frame::requestCode(0x955), &getMode);
    registerRequestHandler(frame::requestCode(0x956), &setMode);
    registerRequestHandler(frame::requestCode(0x968), &getRightClick);
    registerRequestHandler(frame::requestCode(0x965), &setRightClick);
    registerRequestHandler(frame::requestCode(0x96C), &setCalibrationMode);
    registerRequestHandler(frame::requestCode(0x96D), &getCalibrationMode);
    registerRequestHandler(frame::requestCode(0x96E), &readRegister);
    registerRequestHandler(frame::requestCode(0x96F), &writeRegister);
    return true;
}();

} // namespace touch_model

std::optional<int> touchFinishPoint() {
    std::optional<int> point;
    Unit::instance().transact([&](Txn& txn) {
        const json pending = txn.get(touch_model::kModel).value("pending", json());
        if (!pending.is_object()) return;
        point = pending.value("point", 0);
        touch_model::finish(txn.edit(touch_model::kModel));
    });
    return point;
}

} // namespace tavik::sim
