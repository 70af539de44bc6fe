// The microcontroller flasher's serial side: the port "COM1" as the bootloader needs it, and the
// connect, erase, write and verification steps of a job over it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "firmware/bootloader_protocol.h"
#include "firmware/flasher.h"
#include "firmware/image_readers.h"
#include "frame/request_index.h"
#include "platform/serial.h"
#include "tavik2/error_code.h"
#include "tavik2/firmware_upgrade.h"

namespace tavik::firmware {

// Driver requests that put a microcontroller into its bootloader and route the serial line.
constexpr uint32_t kReqFrontSwitchStep = frame::requestCode(0x943); // between the front's two switch steps
constexpr uint32_t kReqSerialRouting = frame::requestCode(0x944);   // 1 byte: a SerialRoute
constexpr uint8_t kSwitchSsBootloader = 0x96; // 0x942: the system supervisor into its bootloader
constexpr uint8_t kSwitchFrontFirst = 0x0F;   // 0x942: first step of the front's switch
constexpr uint8_t kSwitchFrontBack = 0xC3;    // 0x942: the front back to normal operation
enum SerialRoute : uint8_t { kRouteNormal = 0, kRouteSs = 1, kRouteFront = 2, kRouteCount = 3 };

constexpr const char* kBootloaderPort = "COM1";
constexpr uint32_t kPortBufferBytes = 4096;
constexpr uint32_t kReadTimeoutMs = 3000; // a read returns at the first byte, or after this with none
constexpr uint32_t kBootloaderBaud = 115200; // 8 data bits, even parity, 1 stop bit

// The bootloader's serial port: opened, configured and closed as the bootloader needs it, the
// settings found at opening restored at closing.
class SerialPort final : public stm32::BootloaderLink {
public:
    SerialPort() = default;
    ~SerialPort() override { close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the port: buffers, read time-outs, error events, the settings kept, purged.
    bool open(const std::string& name);
    // 115200 baud 8E1, no flow control, no null stripping, no abort on error; purged; applied.
    bool configure();
    // Purges, restores the settings found at opening and closes. Does nothing when not open.
    void close();
    bool ready() const { return ready_; }

    bool writeBytes(const uint8_t* data, size_t size) override;
    bool readBytes(uint8_t* data, size_t size) override;

private:
    platform::SerialHandle handle_;
    platform::SerialSettings original_;
    platform::SerialSettings working_;
    bool haveOriginal_ = false;
    bool ready_ = false;
};

using StepReport = std::function<void(ErrorCode result, uint32_t percent, Varnholtstad::UpgradeAction action)>;

// The serial part of a job on `portName`: open and configure the port, connect to the
// bootloader, erase and write (kModeUpgrade), verify, close the port. Reports through `report`.
ErrorCode programOverBootloader(const std::string& portName, FirmwareImage& image, int32_t mode,
                                const StepReport& report);

} // namespace tavik::firmware
