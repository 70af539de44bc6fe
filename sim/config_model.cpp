// The supervisor's start-up configuration ("startup"), kept in its non-volatile memory: it
// survives power cycles. Writes the supervisor would refuse fail the request.
#include <cstdint>
#include <cstring>

#include "frame/request_index.h"
#include "sim/driver.h"
#include "sim/supervisor.h"

namespace tavik::sim {
namespace config_model {

constexpr const char* kModel = "startup";
constexpr int64_t kNoHeating = 0xFFFF;

json defaults() {
    return {
        {"startupTrigger", 3},       {"shortPressAction", 1},  {"longPressAction", 2},
        {"onOffSigAction", 0},       {"frontBtnWord0", 1},     {"frontBtnTrigTime", 100},
        {"onOffSigTrigTime", 200},   {"suspendWord0", 1},      {"suspendMaxTime", 3600},
        {"canStartupPower", 1},      {"videoStartupPower", 3}, {"fanStartupPower", 0},
        {"startupVoltageRaw", 1241}, {"heatingRaw", 46},       {"powerOnStartup", 0},
    };
}

// One 16-bit setting: its requests, its field, and what the supervisor stores (the values a
// generic change may give) and accepts from a write (a narrower range for some).
struct WordSetting {
    uint32_t getFunction;
    uint32_t setFunction;
    const char* field;
    int64_t storedLo, storedHi;
    int64_t writeLo, writeHi;
};

// The start-up voltage is a 12-bit measurement; a write must lie within 9.0..28.0 V
// (raw 930..2896). Heating: raw = limit + 56 for -25..+5 degrees, 0xFFFF when not fitted.
constexpr WordSetting kWords[] = {
    {0x957, 0x958, "startupTrigger", 1, 3, 1, 3},
    {0x959, 0x960, "shortPressAction", 0, 2, 0, 2},
    {0x961, 0x962, "longPressAction", 0, 2, 0, 2},
    {0x963, 0x964, "onOffSigAction", 0, 2, 0, 2},
    {0x934, 0x935, "canStartupPower", 0, 0xFFFF, 0, 0xFFFF},
    {0x936, 0x937, "videoStartupPower", 0, 15, 0, 15},
    {0x938, 0x939, "fanStartupPower", 0, 0xFFFF, 0, 0xFFFF},
    {0x93A, 0x93B, "startupVoltageRaw", 0, 4095, 930, 2896},
    {0x953, 0x954, "heatingRaw", 31, 61, 31, 61},
    {0x969, 0x96A, "powerOnStartup", 0, 0xFFFF, 0, 0xFFFF},
};

// A record of two 16-bit words: a head word and a time.
struct RecordSetting {
    uint32_t getFunction;
    uint32_t setFunction;
    const char* headField;
    const char* timeField;
};

constexpr RecordSetting kRecords[] = {
    {0x92E, 0x92F, "frontBtnWord0", "frontBtnTrigTime"},
    {0x932, 0x933, "suspendWord0", "suspendMaxTime"},
};

bool validate(json& doc, std::string& error) {
    for (const WordSetting& w : kWords) {
        if (std::strcmp(w.field, "heatingRaw") == 0 && doc.value(w.field, json()) == kNoHeating) continue;
        if (!checkInteger(doc, w.field, w.storedLo, w.storedHi, error)) {
            if (std::strcmp(w.field, "heatingRaw") == 0) error += " or 65535 (no heating)";
            return false;
        }
    }
    for (const RecordSetting& r : kRecords)
        if (!checkInteger(doc, r.headField, 0, 0xFFFF, error) || !checkInteger(doc, r.timeField, 0, 0xFFFF, error))
            return false;
    return checkInteger(doc, "onOffSigTrigTime", 0, UINT32_MAX, error);
}

void init(const json& profile, Txn& txn) {
    txn.edit(kModel) = documentFromProfile(profile, kModel, defaults(), &validate);
}

const bool modelRegistered = (registerModel({kModel, &init, &validate}), true);

uint32_t get16(const uint8_t* p) { return p[0] | p[1] << 8; }
void put16(uint8_t* p, int64_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

const WordSetting* wordFor(uint32_t code, bool write) {
    for (const WordSetting& w : kWords)
        if (frame::requestCode(write ? w.setFunction : w.getFunction) == code) return &w;
    return nullptr;
}

const RecordSetting* recordFor(uint32_t code, bool write) {
    for (const RecordSetting& r : kRecords)
        if (frame::requestCode(write ? r.setFunction : r.getFunction) == code) return &r;
    return nullptr;
}

bool readWord(Txn& txn, Request& r) {
    put16(r.out, txn.get(kModel).at(wordFor(r.code, false)->field).get<int64_t>());
    r.returned = 2;
    return true;
}

bool writeWord(Txn& txn, Request& r) {
    const WordSetting& w = *wordFor(r.code, true);
    const uint32_t value = get16(r.in);
    if (std::strcmp(w.field, "heatingRaw") == 0 && txn.get(kModel).at(w.field) == kNoHeating) {
        r.note = "refused: the unit has no heating";
        return false;
    }
    if (value < w.writeLo || value > w.writeHi) {
        r.note = std::string("refused: ") + w.field + " " + std::to_string(value) + " outside " +
                 std::to_string(w.writeLo) + ".." + std::to_string(w.writeHi);
        return false;
    }
    txn.edit(kModel)[w.field] = value;
    r.returned = 2;
    return true;
}

bool readRecord(Txn& txn, Request& r) {
    const RecordSetting& s = *recordFor(r.code, false);
    const json& d = txn.get(kModel);
    put16(r.out, d.at(s.headField).get<int64_t>());
    put16(r.out + 2, d.at(s.timeField).get<int64_t>());
    r.returned = 4;
    return true;
}

bool writeRecord(Txn& txn, Request& r) {
    const RecordSetting& s = *recordFor(r.code, true);
    json& d = txn.edit(kModel);
    d[s.headField] = get16(r.in);
    d[s.timeField] = get16(r.in + 2);
    r.returned = 4;
    return true;
}

bool readSignalTime(Txn& txn, Request& r) {
    const int64_t v = txn.get(kModel).at("onOffSigTrigTime").get<int64_t>();
    put16(r.out, v & 0xFFFF);
    put16(r.out + 2, v >> 16);
    r.returned = 4;
    return true;
}

bool writeSignalTime(Txn& txn, Request& r) {
    txn.edit(kModel)["onOffSigTrigTime"] = get16(r.in) | static_cast<uint32_t>(get16(r.in + 2)) << 16;
    r.returned = 4;
    return true;
}

const bool handlersRegistered = [] {
    for (const WordSetting& w : kWords) {
        registerRequestHandler(frame::requestCode(w.getFunction), &readWord);
        registerRequestHandler(frame::requestCode(w.setFunction), &writeWord);
    }
    for (const RecordSetting& s : kRecords) {
        registerRequestHandler(frame::requestCode(s.getFunction), &readRecord);
        registerRequestHandler(frame::requestCode(s.setFunction), &writeRecord);
    }
    registerRequestHandler(frame::requestCode(0x930), &readSignalTime);
    registerRequestHandler(frame::requestCode(0x931), &writeSignalTime);
    return true;
}();

} // namespace config_model
} // namespace tavik::sim
