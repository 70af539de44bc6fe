// The CanSetting family: bit rate and frame type of each CAN channel, kept as the CAN driver's
// registry values (the driver reads them when it starts; this family does not restart it).
#pragma once

#include <cstdint>
#include <string>

#include "tavik2/can_setting.h"

namespace tavik::signals {

// Key of channel n (counted from 1) under HKEY_LOCAL_MACHINE: Device<n - 1>.
constexpr const char* kCanKeyFormat = "SYSTEM\\CurrentControlSet\\Services\\CanXilinxQX\\Parameters\\Device%d";
constexpr const char* kCanBaudRateValue = "BaudRate"; // REG_SZ, bit/s as decimal text
constexpr const char* kCanModeValue = "Mode";         // REG_SZ, one of kCanFrameTypeTexts

// Frame types 0 (standard identifiers), 1 (extended), 2 (both) and their stored texts.
constexpr const char* kCanFrameTypeTexts[] = {"Standard", "Extended", "Standard, Extended"};

constexpr uint16_t kCanMaxKbit = 1000;
constexpr uint16_t kCanDefaultChannels = 4; // when the fitted connections cannot be asked

// Data sizes the values are written with: the text, its terminating zero and zero padding.
constexpr uint32_t kCanBaudRateBytes = 40;
constexpr uint32_t kCanModeBytes = 255;
constexpr uint32_t kCanReadBufferBytes = 255;

// The key path of a channel (channel 1 is Device0).
std::string canChannelKey(uint8_t channel);

class CanSetting_Imp final : public Varnholtstad::CanSetting {
public:
    CanSetting_Imp();

    ErrorCode getBaudrate(uint8_t channel, uint16_t* baudrate) override;
    ErrorCode getFrameType(uint8_t channel, int32_t* frameType) override;
    ErrorCode setBaudrate(uint8_t channel, uint16_t baudrate) override;
    ErrorCode setFrameType(uint8_t channel, int32_t frameType) override;
    void release() override;

private:
    // ERR_NOT_SUPPORTED without CAN, ERR_INVALID_PARAMETER for a channel outside the bounds.
    ErrorCode checkChannel(uint8_t channel) const;
    // The text of one value of the channel's key, read as the CAN driver stored it;
    // ERR_NOT_SUPPORTED when the key or the value cannot be read.
    ErrorCode readText(uint8_t channel, const char* name, std::string& text) const;
    // Writes one REG_SZ value of exactly `size` bytes of UTF-16 text, zero padded.
    ErrorCode writeText(uint8_t channel, const char* name, const std::string& text, uint32_t size) const;

    uint16_t firstChannel_ = 1;
    uint16_t lastChannel_ = 0;
    uint16_t maxKbit_ = kCanMaxKbit;
    bool supported_ = false;
};

} // namespace tavik::signals
