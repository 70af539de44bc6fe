// The identity EEPROMs of the main and the add-on board: text records "KEY:VALUE", one a line,
// read once per process into a shared image and looked up from memory.
#pragma once

#include <cstdint>
#include <string>

#include "frame/board_session.h"

namespace tavik::identity {

using frame::BoardHandle;

// Which EEPROM: 1 the main board's, anything else the add-on board's.
using EepromId = int32_t;
constexpr EepromId kMainEeprom = 1;
constexpr EepromId kAddOnEeprom = 2;

// 8-bit I2C device addresses on bus 0.
constexpr uint32_t kMainEepromAddress = 0xAE;
constexpr uint32_t kAddOnEepromAddress = 0xA4;
constexpr uint32_t kEepromBus = 0;

constexpr int32_t kEepromSize = 4096;
constexpr int32_t kReadChunk = 128; // bytes per read transfer
constexpr int32_t kWritePage = 32;  // bytes per write transfer: the device's page
// A loaded text is accepted only within these lengths; an update may not grow beyond the upper.
constexpr int32_t kMinTextLength = 20;
constexpr int32_t kMaxTextLength = 4076;
// Longest value a lookup delivers; callers give a buffer of kMaxValueLength + 1 bytes.
constexpr int32_t kMaxValueLength = 254;

constexpr uint32_t kTransferPauseMs = 10; // before every transfer
constexpr uint32_t kSettleMs = 200;       // after a write, and again after the reload that follows

uint32_t eepromAddress(EepromId id);

// The rules of a property update, for the library and the tools alike: why `value` cannot be the
// value of a record (it would read back differently, split its record or end the text), or null
// when it can: empty, longer than kMaxValueLength, or holding a space, CR, LF, 0x00 or 0xFF.
const char* propertyValueProblem(const std::string& value);
// The same for a key of a new record: empty, or holding ":", a space, CR, LF, 0x00 or 0xFF.
const char* propertyKeyProblem(const std::string& key);

// Reads the EEPROM into `destination` (kEepromSize bytes) in chunks of kReadChunk, under the
// I2C lock, stopping after the first chunk whose last byte is erased (0xFF) or at the end.
// `bytesRead` is the count read so far, also when a transfer fails (false).
bool eepromRead(BoardHandle handle, EepromId id, uint8_t* destination, int32_t* bytesRead);

// Writes `length` bytes of `source` from address 0 on, one kWritePage page per transfer, under
// the I2C lock. False at the first failed transfer (the pages before it are written).
bool eepromWrite(const uint8_t* source, BoardHandle handle, EepromId id, int32_t length);

class EepromImage {
public:
    explicit EepromImage(EepromId id);
    EepromImage(const EepromImage&) = delete;
    EepromImage& operator=(const EepromImage&) = delete;

    // Reads the device again (the board session is opened first). The image is valid when the
    // read succeeded and the text is kMinTextLength..kMaxTextLength characters long.
    void reload();

    // Value of the record `key` (at the start of the text or of a line) into `out`, which holds
    // kMaxValueLength + 1 bytes: at most kMaxValueLength characters and a terminating zero.
    // False when the image is invalid, the key is absent or its value is empty.
    bool getProperty(const char* key, char* out) const;

    // Replaces the value of the existing record `key` on the device, then reloads the image.
    // Under one hold of the I2C lock it reads the device again, applies this one change to what
    // the device holds (so concurrent updates of other records, in other processes, are kept)
    // and writes the 32-byte pages that differ from the device, up to the longest text known
    // and one byte past it. Records are never added. Refused (false, nothing written): an
    // invalid image or device text, an absent key, an empty value, a value longer than
    // kMaxValueLength or containing a blank, CR, LF or an erased-cell byte 0xFF (it would split
    // the record or end the text), an update that would make the text longer than
    // kMaxTextLength, and a failed read. False also when a write fails; a power loss or a kill
    // during the writes can leave the EEPROM with some pages old and some new.
    bool setProperty(const char* key, const char* value);

    EepromId id() const { return id_; }
    bool valid() const { return valid_; }
    int32_t textLength() const { return textLength_; }
    int32_t writeLength() const { return writeLength_; }
    const uint8_t* content() const { return content_; }

private:
    // Offset of the record `key` (its first character), or -1.
    int32_t findRecord(const char* key) const;

    uint8_t content_[kEepromSize];
    int32_t textLength_ = kEepromSize;
    int32_t writeLength_ = 0;
    EepromId id_;
    BoardHandle boardHandle_ = 0;
    bool valid_ = false;
};

// The process's shared image of `id`, loaded at its first acquire; null when it could not be
// allocated (callers treat that as a failing lookup). Every acquire, also a null one, is
// balanced by one release; the last release closes the library session and frees the image.
EepromImage* acquireEepromImage(EepromId id);
void releaseEepromImage(EepromId id);

} // namespace tavik::identity
