#include "signals/can_setting.h"

#include <cstdio>
#include <vector>

#include "frame/handle.h"
#include "identity/about.h"
#include "identity/fitted_hardware.h"
#include "platform/registry.h"

namespace tavik::signals {
namespace {

// Wide characters of the key path buffer.
constexpr size_t kKeyPathChars = 255;

// A registry key that closes itself.
class OpenKey {
public:
    OpenKey(const std::string& path, platform::RegistryAccess access)
        : key_(platform::openMachineKey(path, access)) {}
    ~OpenKey() { platform::closeRegistryKey(key_); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    explicit operator bool() const { return key_.valid(); }
    platform::RegistryKey get() const { return key_; }

private:
    platform::RegistryKey key_;
};

// UTF-16LE text up to its first zero character; characters beyond ASCII become '?' (no stored
// text this family understands contains any).
std::string fromUtf16(const uint8_t* data, uint32_t size) {
    std::string text;
    for (uint32_t i = 0; i + 1 < size; i += 2) {
        const uint16_t c = static_cast<uint16_t>(data[i] | data[i + 1] << 8);
        if (c == 0) break;
        text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return text;
}

} // namespace

std::string canChannelKey(uint8_t channel) {
    char path[kKeyPathChars];
    std::snprintf(path, sizeof path, kCanKeyFormat, static_cast<int>(channel) - 1);
    return path;
}

// The number of CAN connections bounds the channels; a unit whose About object cannot be made or
// asked counts as having four.
CanSetting_Imp::CanSetting_Imp() {
    const std::optional<uint8_t> count = identity::askAbout(&About_getNrOfCANConnections);
    if (!count) {
        lastChannel_ = kCanDefaultChannels;
        supported_ = true;
    } else if (*count != 0) {
        lastChannel_ = *count;
        supported_ = true;
    }
}

void CanSetting_Imp::release() { delete this; }

// A unit without CAN answers ERR_NOT_SUPPORTED whatever the channel.
ErrorCode CanSetting_Imp::checkChannel(uint8_t channel) const {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (channel < firstChannel_ || channel > lastChannel_) return ERR_INVALID_PARAMETER;
    return ERR_SUCCESS;
}

ErrorCode CanSetting_Imp::readText(uint8_t channel, const char* name, std::string& text) const {
    const OpenKey key(canChannelKey(channel), platform::RegistryAccess::Read);
    if (!key) return ERR_NOT_SUPPORTED;
    uint8_t buffer[kCanReadBufferBytes] = {};
    uint32_t size = sizeof buffer;
    uint32_t type = 0; // not examined: the text is taken as stored
    if (!platform::queryRegistryValue(key.get(), name, buffer, size, type)) return ERR_NOT_SUPPORTED;
    text = fromUtf16(buffer, size);
    return ERR_SUCCESS;
}

ErrorCode CanSetting_Imp::writeText(uint8_t channel, const char* name, const std::string& text,
                                    uint32_t size) const {
    std::vector<uint8_t> data(size, 0);
    for (size_t i = 0; i < text.size() && 2 * i + 1 < size; ++i) data[2 * i] = static_cast<uint8_t>(text[i]);
    const OpenKey key(canChannelKey(channel), platform::RegistryAccess::Write);
    if (!key) return ERR_OPEN_FAILED;
    if (!platform::setRegistryValue(key.get(), name, platform::kRegSz, data.data(), size))
        return ERR_UNKNOWN_FEATURE;
    return ERR_SUCCESS;
}

ErrorCode CanSetting_Imp::getBaudrate(uint8_t channel, uint16_t* baudrate) {
    if (baudrate == nullptr) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = checkChannel(channel); e != ERR_SUCCESS) return e;
    std::string text;
    if (const ErrorCode e = readText(channel, kCanBaudRateValue, text); e != ERR_SUCCESS) return e;
    // Leading digits of the bit/s text; the division is unsigned, as the driver's value is.
    const auto bitPerSecond = static_cast<uint32_t>(identity::parseRecordNumber(text.c_str()).value);
    *baudrate = static_cast<uint16_t>(bitPerSecond / 1000u);
    return ERR_SUCCESS;
}

ErrorCode CanSetting_Imp::setBaudrate(uint8_t channel, uint16_t baudrate) {
    if (baudrate > maxKbit_) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = checkChannel(channel); e != ERR_SUCCESS) return e;
    return writeText(channel, kCanBaudRateValue, std::to_string(baudrate * 1000), kCanBaudRateBytes);
}

ErrorCode CanSetting_Imp::getFrameType(uint8_t channel, int32_t* frameType) {
    if (frameType == nullptr) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = checkChannel(channel); e != ERR_SUCCESS) return e;
    std::string text;
    if (const ErrorCode e = readText(channel, kCanModeValue, text); e != ERR_SUCCESS) return e;
    for (int32_t type = 0; type < 3; ++type) {
        if (text == kCanFrameTypeTexts[type]) {
            *frameType = type;
            return ERR_SUCCESS;
        }
    }
    return ERR_CODE_NOT_EXIST;
}

ErrorCode CanSetting_Imp::setFrameType(uint8_t channel, int32_t frameType) {
    if (const ErrorCode e = checkChannel(channel); e != ERR_SUCCESS) return e;
    if (frameType < 0 || frameType > 2) return ERR_INVALID_PARAMETER;
    return writeText(channel, kCanModeValue, kCanFrameTypeTexts[frameType], kCanModeBytes);
}

} // namespace tavik::signals

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::CanSetting;

TAVIK_API CanSetting* TAVIK_CALL GetCanSetting(void) {
    return tavik::frame::createFresh<tavik::signals::CanSetting_Imp>();
}
TAVIK_API void TAVIK_CALL CanSetting_release(CanSetting* h) {
    tavik::frame::forwardRelease<Family::CanSetting>(h);
}
TAVIK_API ErrorCode TAVIK_CALL CanSetting_getBaudrate(CanSetting* h, uint8_t channel, uint16_t* baudrate) {
    return forward<Family::CanSetting>(h, &CanSetting::getBaudrate, channel, baudrate);
}
TAVIK_API ErrorCode TAVIK_CALL CanSetting_getFrameType(CanSetting* h, uint8_t channel, int32_t* frameType) {
    return forward<Family::CanSetting>(h, &CanSetting::getFrameType, channel, frameType);
}
TAVIK_API ErrorCode TAVIK_CALL CanSetting_setBaudrate(CanSetting* h, uint8_t channel, uint16_t baudrate) {
    return forward<Family::CanSetting>(h, &CanSetting::setBaudrate, channel, baudrate);
}
TAVIK_API ErrorCode TAVIK_CALL CanSetting_setFrameType(CanSetting* h, uint8_t channel, int32_t frameType) {
    return forward<Family::CanSetting>(h, &CanSetting::setFrameType, channel, frameType);
}
