// The system supervisor's word store: 750 16-bit words that the driver reads and writes by
// index. The storage-health family reads its record from it; the private service family reads
// and writes single words.
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "identity/aux_version.h"

namespace tavik::identity {

// In: int16 index, 2 bytes not used; out: uint16 index echoed, uint16 word.
constexpr uint32_t kReqReadStoreWord = frame::requestCode(0x923);
// In: int16 index, uint16 word; no output, the driver reports 4 bytes.
constexpr uint32_t kReqWriteStoreWord = frame::requestCode(0x922);

constexpr uint16_t kStoreWords = 750;
// The whole store needs supervisor firmware 1.3.0.0.
constexpr FirmwareVersionNumber kWordStoreMinSs = 1030000;

// The request and its checks only: a byte count other than 4 gives ERR_BUFFER_SIZE, an echo
// that differs from the index sent (compared as 16-bit values) ERR_DATATYPE_MISMATCH. The
// caller has checked the channel and the index.
ErrorCode requestStoreWord(frame::DriverChannel& channel, uint16_t index, uint16_t& value);
ErrorCode requestStoreWordWrite(frame::DriverChannel& channel, uint16_t index, uint16_t value);

// Version gate (ERR_NEWER_SS_VERSION_REQUIRED), index within the store (ERR_INVALID_DATA), open
// channel (ERR_OPEN_FAILED), in this order.
ErrorCode admitStoreWord(const frame::DriverChannel& channel, FirmwareVersionNumber ssVersion, uint16_t index);

// The whole word read rule: the gate above, then the request.
ErrorCode readStoreWord(frame::DriverChannel& channel, FirmwareVersionNumber ssVersion, uint16_t index,
                        uint16_t& value);

} // namespace tavik::identity
