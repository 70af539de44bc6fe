#include "identity/eeprom_image.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "platform/sync.h"

namespace tavik::identity {
namespace {

constexpr uint8_t kErased = 0xFF;

bool endsValue(uint8_t c) { return c == ' ' || c == '\r' || c == '\n'; }

bool splitsRecord(uint8_t c) { return endsValue(c) || c == kErased || c == 0x00; }

// The process-wide registry. Creation and the last release run under a small spin guard, so
// that two threads creating their first family object at once share one image.
struct Slot {
    EepromImage* image = nullptr;
    int32_t count = 0;
};
Slot gSlots[2];
std::atomic_flag gRegistryBusy = ATOMIC_FLAG_INIT;

class RegistryGuard {
public:
    RegistryGuard() {
        while (gRegistryBusy.test_and_set(std::memory_order_acquire)) platform::sleepMs(1);
    }
    ~RegistryGuard() { gRegistryBusy.clear(std::memory_order_release); }
    RegistryGuard(const RegistryGuard&) = delete;
    RegistryGuard& operator=(const RegistryGuard&) = delete;
};

// Every id other than 1 is the add-on board's EEPROM.
EepromId normalised(EepromId id) { return id == kMainEeprom ? kMainEeprom : kAddOnEeprom; }
Slot& slotOf(EepromId id) { return gSlots[normalised(id) == kMainEeprom ? 0 : 1]; }

} // namespace

const char* propertyValueProblem(const std::string& value) {
    if (value.empty()) return "the value is empty";
    if (value.size() > static_cast<size_t>(kMaxValueLength)) return "the value is longer than 254 characters";
    for (const char c : value)
        if (splitsRecord(static_cast<uint8_t>(c))) return "the value holds a space, CR, LF, 0x00 or 0xFF";
    return nullptr;
}

const char* propertyKeyProblem(const std::string& key) {
    if (key.empty()) return "the key is empty";
    for (const char c : key)
        if (c == ':' || splitsRecord(static_cast<uint8_t>(c))) return "the key holds \":\", a space, CR, LF, 0x00 or 0xFF";
    return nullptr;
}

uint32_t eepromAddress(EepromId id) { return id == kMainEeprom ? kMainEepromAddress : kAddOnEepromAddress; }

namespace {

// The transfers without the lock: the caller holds it.
bool readUnlocked(BoardHandle handle, EepromId id, uint8_t* destination, int32_t* bytesRead) {
    const uint32_t address = eepromAddress(id);
    int32_t position = 0;
    for (;;) {
        const int32_t chunk = std::min(kEepromSize - position, kReadChunk);
        platform::sleepMs(kTransferPauseMs);
        const uint8_t memoryAddress[2] = {static_cast<uint8_t>(position >> 8),
                                          static_cast<uint8_t>(position & 0xFF)};
        if (!platform::board::i2cWriteRead(handle, kEepromBus, address, memoryAddress, 2,
                                           destination + position, static_cast<uint32_t>(chunk)))
            return false;
        position += chunk;
        *bytesRead = position;
        if (destination[position - 1] == kErased || position >= kEepromSize) return true;
    }
}

// Writes the pages of bytes 0..length-1 of `source`; with `device` (the first `known` bytes of
// what the EEPROM holds), pages whose bytes it already holds are left out.
bool writeUnlocked(const uint8_t* source, BoardHandle handle, EepromId id, int32_t length,
                   const uint8_t* device = nullptr, int32_t known = 0) {
    const uint32_t address = eepromAddress(id) & ~1u;
    uint8_t message[kWritePage + 2];
    for (int32_t position = 0; position < length; position += kWritePage) {
        const int32_t chunk = std::min(length - position, kWritePage);
        if (device != nullptr && position + chunk <= known &&
            std::memcmp(device + position, source + position, static_cast<size_t>(chunk)) == 0)
            continue;
        message[0] = static_cast<uint8_t>(position >> 8);
        message[1] = static_cast<uint8_t>(position & 0xFF);
        std::memcpy(message + 2, source + position, static_cast<size_t>(chunk));
        platform::sleepMs(kTransferPauseMs);
        if (!platform::board::i2cWrite(handle, kEepromBus, address, message, static_cast<uint32_t>(chunk + 2)))
            return false;
    }
    return true;
}

// Ends the text of a raw read at its first 0x00 or 0xFF and erases everything from there;
// returns the text length (kEepromSize when there is no end).
int32_t terminateText(uint8_t* content) {
    for (int32_t i = 0; i < kEepromSize; ++i) {
        if (content[i] == 0x00 || content[i] == kErased) {
            std::memset(content + i, kErased, static_cast<size_t>(kEepromSize - i));
            return i;
        }
    }
    return kEepromSize;
}

bool validTextLength(int32_t length) { return length >= kMinTextLength && length <= kMaxTextLength; }

// Offset of the record `key` (its first character) in a text of `length` bytes, or -1: "KEY:"
// at the very start of the text, else the first "\nKEY:".
int32_t findRecordIn(const uint8_t* content, int32_t textLength, const char* key) {
    const size_t keyLength = std::strlen(key);
    const auto* text = reinterpret_cast<const char*>(content);
    const auto length = static_cast<size_t>(textLength);
    auto matchesAt = [&](size_t at) {
        return at + keyLength + 1 <= length && std::memcmp(text + at, key, keyLength) == 0 &&
               text[at + keyLength] == ':';
    };
    if (matchesAt(0)) return 0;
    for (size_t i = 0; i < length; ++i)
        if (text[i] == '\n' && matchesAt(i + 1)) return static_cast<int32_t>(i + 1);
    return -1;
}

} // namespace

bool eepromRead(BoardHandle handle, EepromId id, uint8_t* destination, int32_t* bytesRead) {
    frame::I2cLock lock;
    return readUnlocked(handle, id, destination, bytesRead);
}

bool eepromWrite(const uint8_t* source, BoardHandle handle, EepromId id, int32_t length) {
    frame::I2cLock lock;
    return writeUnlocked(source, handle, id, length);
}

EepromImage::EepromImage(EepromId id) : id_(id) { std::memset(content_, kErased, sizeof content_); }

void EepromImage::reload() {
    valid_ = false;
    textLength_ = kEepromSize;
    std::memset(content_, kErased, sizeof content_);
    if (!frame::openJidaBoard(boardHandle_)) return;
    int32_t read = 0;
    if (!eepromRead(boardHandle_, id_, content_, &read)) return;

    // The text ends at the first erased cell or zero byte; from there on the image is erased.
    textLength_ = terminateText(content_);
    if (validTextLength(textLength_)) {
        valid_ = true;
        writeLength_ = textLength_;
    } else {
        writeLength_ = 0;
    }
}

int32_t EepromImage::findRecord(const char* key) const { return findRecordIn(content_, textLength_, key); }

bool EepromImage::getProperty(const char* key, char* out) const {
    if (!valid_ || key == nullptr || out == nullptr) return false;
    const int32_t at = findRecord(key);
    if (at < 0) return false;
    const int32_t start = at + static_cast<int32_t>(std::strlen(key)) + 1;
    int32_t end = start;
    while (end < textLength_ && !endsValue(content_[end])) ++end;
    if (end == start) return false;
    const int32_t n = std::min(end - start, kMaxValueLength);
    std::memcpy(out, content_ + start, static_cast<size_t>(n));
    out[n] = '\0';
    return true;
}

// Several processes (and images) update records of one EEPROM: each update reads the device
// again and applies its one change to what it finds, all under one hold of the I2C lock, so that
// no image writes back records it read before another process changed them.
bool EepromImage::setProperty(const char* key, const char* value) {
    if (!valid_ || key == nullptr || value == nullptr) return false;
    const size_t newLength = std::strlen(value);
    if (propertyValueProblem(std::string(value, newLength)) != nullptr) return false;
    // Records are never added or removed: a key absent from this image is absent from the device.
    if (findRecord(key) < 0) return false;

    bool written = false;
    {
        frame::I2cLock lock;
        if (!frame::openJidaBoard(boardHandle_)) return false;
        // What the device holds now, raw (stale bytes after the text included), and its text.
        uint8_t device[kEepromSize];
        std::memset(device, kErased, sizeof device);
        int32_t known = 0;
        if (!readUnlocked(boardHandle_, id_, device, &known)) return false;
        uint8_t current[kEepromSize];
        std::memcpy(current, device, sizeof current);
        const int32_t textLength = terminateText(current);
        if (!validTextLength(textLength)) return false;

        const int32_t at = findRecordIn(current, textLength, key);
        if (at < 0) return false;
        const int32_t prefix = at + static_cast<int32_t>(std::strlen(key)) + 1;
        int32_t oldEnd = prefix;
        while (oldEnd < textLength && !endsValue(current[oldEnd])) ++oldEnd;
        const int32_t newTextLength = textLength - (oldEnd - prefix) + static_cast<int32_t>(newLength);
        if (newTextLength > kMaxTextLength) return false;

        // The text with the new value in place; a shorter text leaves erased cells at its end.
        uint8_t work[kEepromSize];
        std::memset(work, kErased, sizeof work);
        std::memcpy(work, current, static_cast<size_t>(prefix));
        std::memcpy(work + prefix, value, newLength);
        const int32_t tailAt = prefix + static_cast<int32_t>(newLength);
        std::memcpy(work + tailAt, current + oldEnd, static_cast<size_t>(kEepromSize - std::max(tailAt, oldEnd)));

        // The write covers the longest text this image or the device has had, and one byte past
        // it, so that the terminating 0xFF and any stale tail of a longer former text are
        // overwritten. Only the 32-byte pages that differ from the device go out: fewer writes,
        // and a shorter time in which a power loss or a kill can leave the EEPROM half written.
        writeLength_ = std::max({writeLength_, textLength, newTextLength});
        written = writeUnlocked(work, boardHandle_, id_, writeLength_ + 1, device, known);
    }
    platform::sleepMs(kSettleMs);
    if (written) {
        reload();
        platform::sleepMs(kSettleMs);
    }
    return written;
}

EepromImage* acquireEepromImage(EepromId id) {
    RegistryGuard guard;
    Slot& slot = slotOf(id);
    if (slot.image == nullptr) {
        slot.image = new (std::nothrow) EepromImage(normalised(id));
        if (slot.image != nullptr) slot.image->reload();
    }
    ++slot.count;
    return slot.image;
}

void releaseEepromImage(EepromId id) {
    EepromImage* doomed = nullptr;
    {
        RegistryGuard guard;
        Slot& slot = slotOf(id);
        if (slot.count > 0) --slot.count;
        if (slot.count > 0 || slot.image == nullptr) return;
        doomed = slot.image;
        slot.image = nullptr;
    }
    platform::board::libraryClose();
    delete doomed;
}

} // namespace tavik::identity
