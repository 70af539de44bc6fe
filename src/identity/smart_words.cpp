#include "identity/smart_words.h"

namespace tavik::identity {
namespace {

constexpr uint32_t kWordRequestBytes = 4;

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

} // namespace

ErrorCode requestStoreWord(frame::DriverChannel& channel, uint16_t index, uint16_t& value) {
    uint8_t in[kWordRequestBytes] = {};
    put16(in, index);
    uint8_t out[kWordRequestBytes] = {};
    if (const ErrorCode e = channel.transfer(kReqReadStoreWord, in, sizeof in, out, sizeof out, kWordRequestBytes);
        e != ERR_SUCCESS)
        return e;
    if (get16(out) != index) return ERR_DATATYPE_MISMATCH;
    value = get16(out + 2);
    return ERR_SUCCESS;
}

ErrorCode requestStoreWordWrite(frame::DriverChannel& channel, uint16_t index, uint16_t value) {
    uint8_t in[kWordRequestBytes];
    put16(in, index);
    put16(in + 2, value);
    return channel.transfer(kReqWriteStoreWord, in, sizeof in, nullptr, 0, kWordRequestBytes);
}

ErrorCode admitStoreWord(const frame::DriverChannel& channel, FirmwareVersionNumber ssVersion, uint16_t index) {
    if (ssVersion < kWordStoreMinSs) return ERR_NEWER_SS_VERSION_REQUIRED;
    if (index >= kStoreWords) return ERR_INVALID_DATA;
    if (!channel.isOpen()) return ERR_OPEN_FAILED;
    return ERR_SUCCESS;
}

ErrorCode readStoreWord(frame::DriverChannel& channel, FirmwareVersionNumber ssVersion, uint16_t index,
                        uint16_t& value) {
    if (const ErrorCode e = admitStoreWord(channel, ssVersion, index); e != ERR_SUCCESS) return e;
    return requestStoreWord(channel, index, value);
}

} // namespace tavik::identity
