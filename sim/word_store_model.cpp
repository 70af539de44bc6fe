// The supervisor's word store (sim/word_store.h) and its two requests.
#include "sim/word_store.h"

#include <string>

#include "frame/request_index.h"
#include "sim/driver.h"
#include "sim/supervisor.h"

namespace tavik::sim {
namespace word_store_model {

constexpr const char* kModel = "wordstore";
constexpr uint16_t kLayoutVersion = 1;
constexpr uint16_t kRecordWords = 86;  // 172 bytes
constexpr uint16_t kFirstRecordWord = 3; // after the 6-byte header
constexpr uint16_t kRecords = (kWordStoreWords - kFirstRecordWord) / kRecordWords;
constexpr uint16_t kNoRecord = 0xFF00;
constexpr size_t kSerialChars = 20;

// The profile section describes the health record the store starts with.
json defaults() {
    return {
        {"record", 0},              // current record 0..7; null: no storage-health record
        {"remainingLife", 97},      // percent
        {"serial", "TVK2SSD2403A0001942"},
        {"firstUse", 1773648000},   // seconds since 1970 (2026-03-16 08:00 UTC); null: never set
    };
}

bool validate(json& doc, std::string& error) {
    if (!doc["record"].is_null() && !checkInteger(doc, "record", 0, kRecords - 1, error)) {
        error += " or null (no record)";
        return false;
    }
    if (!checkInteger(doc, "remainingLife", 0, 255, error)) return false;
    if (!doc["serial"].is_string() || doc["serial"].get<std::string>().size() > kSerialChars) {
        error = "serial: a text of at most 20 characters";
        return false;
    }
    if (!doc["firstUse"].is_null() && !checkInteger(doc, "firstUse", INT32_MIN, INT32_MAX, error)) {
        error += " or null (never set)";
        return false;
    }
    return true;
}

void putWord(std::vector<uint8_t>& bytes, uint32_t index, uint32_t value) {
    bytes[2 * index] = static_cast<uint8_t>(value);
    bytes[2 * index + 1] = static_cast<uint8_t>(value >> 8);
}

// Erased cells read 0xFFFF; the header and the current record are written.
void init(const json& profile, Txn& txn) {
    const json layout = documentFromProfile(profile, kModel, defaults(), &validate);
    std::vector<uint8_t> bytes(2u * kWordStoreWords, 0xFF);
    putWord(bytes, 0, kLayoutVersion);
    putWord(bytes, 1, kRecords);
    if (layout["record"].is_null()) {
        putWord(bytes, 2, kNoRecord);
    } else {
        const uint16_t record = layout["record"].get<uint16_t>();
        putWord(bytes, 2, record);
        const uint32_t base = kFirstRecordWord + record * kRecordWords;
        for (uint32_t k = 0; k < kRecordWords; ++k) putWord(bytes, base + k, 0);
        if (layout["firstUse"].is_null()) {
            putWord(bytes, base, 0xFFFF);
            putWord(bytes, base + 1, 0xFFFF);
        } else {
            const auto t = static_cast<uint32_t>(layout["firstUse"].get<int64_t>());
            putWord(bytes, base, t & 0xFFFF);
            putWord(bytes, base + 1, t >> 16);
        }
        const std::string serial = layout["serial"].get<std::string>();
        for (uint32_t i = 0; i < kSerialChars / 2; ++i) {
            const auto ch = [&](size_t at) { return at < serial.size() ? static_cast<uint8_t>(serial[at]) : 0u; };
            putWord(bytes, base + 3 + i, ch(2 * i) | ch(2 * i + 1) << 8);
        }
        putWord(bytes, base + 19, layout["remainingLife"].get<uint32_t>());
    }
    txn.edit(kModel) = json::object();
    txn.blobAssign(kWordStoreBlob, bytes);
}

const bool modelRegistered = (registerModel({kModel, &init, nullptr}), true);

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool inStore(Request& r, uint16_t index) {
    if (index < kWordStoreWords) return true;
    r.note = "word " + std::to_string(index) + " outside the 750-word store";
    return false;
}

// Answers the index it was asked for and the word.
bool readWord(Txn& txn, Request& r) {
    const uint16_t index = get16(r.in);
    if (!inStore(r, index)) return false;
    uint8_t word[2];
    txn.blobRead(kWordStoreBlob, 2u * index, word, sizeof word);
    r.out[0] = r.in[0];
    r.out[1] = r.in[1];
    r.out[2] = word[0];
    r.out[3] = word[1];
    r.returned = 4;
    return true;
}

// Reports the 4 bytes it consumed.
bool writeWord(Txn& txn, Request& r) {
    const uint16_t index = get16(r.in);
    if (!inStore(r, index)) return false;
    txn.blobWrite(kWordStoreBlob, 2u * index, r.in + 2, 2);
    r.returned = 4;
    return true;
}

const bool handlersRegistered = [] {
    registerRequestHandler(frame::requestCode(0x923), &readWord);
    registerRequestHandler(frame::requestCode(0x922), &writeWord);
    return true;
}();

} // namespace word_store_model

std::vector<uint16_t> readStoreWords(Txn& txn) {
    const std::vector<uint8_t> bytes = txn.blobRead(kWordStoreBlob, 0, 2u * kWordStoreWords);
    std::vector<uint16_t> words(kWordStoreWords, 0xFFFF);
    for (size_t i = 0; i < words.size() && 2 * i + 1 < bytes.size(); ++i) words[i] = word_store_model::get16(&bytes[2 * i]);
    return words;
}

void writeStoreWord(Txn& txn, uint16_t index, uint16_t value) {
    const uint8_t word[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    txn.blobWrite(kWordStoreBlob, 2u * index, word, sizeof word);
}

} // namespace tavik::sim
