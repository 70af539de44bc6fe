#include "identity/smart.h"

#include <cstring>

#include "frame/handle.h"
#include "identity/smart_words.h"

namespace tavik::identity {
namespace {

constexpr uint8_t kMaxPercent = 100;
constexpr uint16_t kNoRecordSelector = 0xFF; // high byte of the selector word
constexpr uint16_t kUnsetWord = 0xFFFF;
constexpr int32_t kSerialChars = 2 * kHealthSerialWords;

} // namespace

Smart_Imp::Smart_Imp() {
    getSsVersionNumber(&ssVersion_);
    channel_.open();
    uint16_t selector = 0;
    state_ = readStoreWord(channel_, ssVersion_, kHealthSelectorWord, selector);
    if (state_ != ERR_SUCCESS) return;
    if ((selector >> 8) == kNoRecordSelector) {
        state_ = ERR_NOT_SUPPORTED;
        return;
    }
    recordBase_ = healthRecordBase(selector);
}

void Smart_Imp::release() { delete this; }

ErrorCode Smart_Imp::readRecordWord(uint16_t k, uint16_t& value) {
    return readStoreWord(channel_, ssVersion_, static_cast<uint16_t>(recordBase_ / 2 + k), value);
}

ErrorCode Smart_Imp::getRemainingLifeTime(uint8_t* percent) {
    if (state_ != ERR_SUCCESS) return state_;
    if (percent == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t word = 0;
    if (const ErrorCode e = readRecordWord(kHealthRemainingLife, word); e != ERR_SUCCESS) return e;
    const auto life = static_cast<uint8_t>(word & 0xFF);
    if (life > kMaxPercent) return ERR_NOT_SUPPORTED;
    *percent = life;
    return ERR_SUCCESS;
}

ErrorCode Smart_Imp::getDeviceSerial(char* buffer, int32_t length) {
    if (state_ != ERR_SUCCESS) return state_;
    if (length <= kSerialChars) return ERR_BUFFER_SIZE;
    if (buffer == nullptr) return ERR_INVALID_PARAMETER;
    char text[kSerialChars + 1] = {};
    for (uint16_t i = 0; i < kHealthSerialWords; ++i) {
        uint16_t word = 0;
        if (const ErrorCode e = readRecordWord(kHealthSerialFirst + i, word); e != ERR_SUCCESS) return e;
        text[2 * i] = static_cast<char>(word & 0xFF);
        text[2 * i + 1] = static_cast<char>(word >> 8);
    }
    std::memcpy(buffer, text, sizeof text);
    return ERR_SUCCESS;
}

// Both words never written (0xFFFF) is refused. A word that cannot be read is reported: taken as
// 0xFFFF beside a word that was read, it would make a wrong time.
ErrorCode Smart_Imp::getInitialTime(int64_t* time) {
    if (state_ != ERR_SUCCESS) return state_;
    if (time == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t low = kUnsetWord, high = kUnsetWord;
    if (const ErrorCode e = readRecordWord(kHealthInitialTimeLow, low); e != ERR_SUCCESS) return e;
    if (const ErrorCode e = readRecordWord(kHealthInitialTimeHigh, high); e != ERR_SUCCESS) return e;
    if (low == kUnsetWord && high == kUnsetWord) return ERR_INVALID_DATA;
    *time = static_cast<int32_t>(static_cast<uint32_t>(high) << 16 | low);
    return ERR_SUCCESS;
}

} // namespace tavik::identity

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::Smart;

TAVIK_API Smart* TAVIK_CALL GetSmart(void) { return tavik::frame::createFresh<tavik::identity::Smart_Imp>(); }

TAVIK_API void TAVIK_CALL Smart_release(Smart* h) { tavik::frame::forwardRelease<Family::Smart>(h); }

TAVIK_API ErrorCode TAVIK_CALL Smart_getRemainingLifeTime(Smart* h, uint8_t* percent) {
    return forward<Family::Smart>(h, &Smart::getRemainingLifeTime, percent);
}
TAVIK_API ErrorCode TAVIK_CALL Smart_getDeviceSerial(Smart* h, char* buffer, int32_t length) {
    return forward<Family::Smart>(h, &Smart::getDeviceSerial, buffer, length);
}
TAVIK_API ErrorCode TAVIK_CALL Smart_getInitialTime(Smart* h, int64_t* time) {
    return forward<Family::Smart>(h, &Smart::getInitialTime, time);
}
