// A serial identity EEPROM as it answers on the I2C bus: 4096 bytes, a 16-bit byte address sent
// most significant byte first, 32-byte pages. Plain C++ over a byte array, so that both the
// simulated unit and the stand-in board library for Windows use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavik::sim::board {

class EepromDevice {
public:
    static constexpr uint32_t kSize = 4096;
    static constexpr uint32_t kPageSize = 32;
    static constexpr uint8_t kErased = 0xFF;

    EepromDevice();

    // A write transfer: two address bytes, then data. The data goes to consecutive cells of the
    // addressed page and wraps to the start of that page at its end, as the device does; a
    // transfer that is only the address just sets the address pointer. Fewer than two bytes:
    // the device refuses (false).
    bool write(const uint8_t* data, uint32_t length);

    // A read transfer: `length` bytes from the address pointer on, wrapping at the end of the
    // memory; the pointer advances.
    void read(uint8_t* out, uint32_t length);

    std::vector<uint8_t>& memory() { return memory_; }
    const std::vector<uint8_t>& memory() const { return memory_; }
    uint32_t pointer() const { return pointer_; }
    void setPointer(uint32_t address) { pointer_ = address % kSize; }

private:
    std::vector<uint8_t> memory_;
    uint32_t pointer_ = 0;
};

// The text of records as a unit's EEPROM holds it: each record followed by CR LF.
std::string recordsText(const std::vector<std::string>& records);

// A full image from content bytes: the bytes (cut at 4096), then erased cells.
std::vector<uint8_t> imageFromBytes(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> imageFromText(const std::string& text);

// The text part of an image: the bytes before the first 0xFF or 0x00.
std::string imageText(const std::vector<uint8_t>& image);

// Sets the value of the record `key` (at the start of the text or of a line) in an image, or
// appends the record at the end of the text when there is none. False when the result would
// not fit the device.
bool setImageRecord(std::vector<uint8_t>& image, const std::string& key, const std::string& value);

} // namespace tavik::sim::board
