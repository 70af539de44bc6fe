#include "sim/board/eeprom_device.h"

#include <algorithm>

namespace tavik::sim::board {

EepromDevice::EepromDevice() : memory_(kSize, kErased) {}

bool EepromDevice::write(const uint8_t* data, uint32_t length) {
    if (length < 2) return false;
    const uint32_t address = ((uint32_t(data[0]) << 8) | data[1]) % kSize;
    const uint32_t page = address - address % kPageSize;
    uint32_t offset = address % kPageSize;
    for (uint32_t i = 2; i < length; ++i) {
        memory_[page + offset] = data[i];
        offset = (offset + 1) % kPageSize;
    }
    pointer_ = page + offset;
    return true;
}

void EepromDevice::read(uint8_t* out, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        out[i] = memory_[pointer_];
        pointer_ = (pointer_ + 1) % kSize;
    }
}

std::string recordsText(const std::vector<std::string>& records) {
    std::string text;
    for (const std::string& r : records) text += r + "\r\n";
    return text;
}

std::vector<uint8_t> imageFromBytes(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> image(EepromDevice::kSize, EepromDevice::kErased);
    std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), image.size()), image.begin());
    return image;
}

std::vector<uint8_t> imageFromText(const std::string& text) {
    return imageFromBytes(std::vector<uint8_t>(text.begin(), text.end()));
}

std::string imageText(const std::vector<uint8_t>& image) {
    std::string text;
    for (uint8_t b : image) {
        if (b == 0xFF || b == 0x00) break;
        text.push_back(static_cast<char>(b));
    }
    return text;
}

bool setImageRecord(std::vector<uint8_t>& image, const std::string& key, const std::string& value) {
    std::string text = imageText(image);
    const std::string pattern = key + ":";
    size_t at = std::string::npos;
    if (text.compare(0, pattern.size(), pattern) == 0) {
        at = 0;
    } else if (size_t lf = text.find("\n" + pattern); lf != std::string::npos) {
        at = lf + 1;
    }
    if (at == std::string::npos) {
        if (!text.empty() && text.back() != '\n') text += "\r\n";
        text += pattern + value + "\r\n";
    } else {
        const size_t start = at + pattern.size();
        const size_t end = text.find_first_of(" \r\n", start);
        text.replace(start, (end == std::string::npos ? text.size() : end) - start, value);
    }
    if (text.size() > EepromDevice::kSize) return false;
    image = imageFromText(text);
    return true;
}

} // namespace tavik::sim::board
