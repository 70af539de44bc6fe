// The microcontrollers' built-in serial bootloader protocol, host side: synchronisation, the
// get / get version / get id commands, memory reads and writes, and the global erase. It knows
// nothing of the transport: it talks through a BootloaderLink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tavik::firmware::stm32 {

// Wire constants.
constexpr uint8_t kSync = 0x7F;          // synchronisation: the bootloader measures the baud rate on it
constexpr uint8_t kAck = 0x79;           // acknowledge; any other reply (0x1F is the bootloader's NACK) fails
constexpr uint8_t kGetCommand = 0x00;    // get: the only code sent before the bootloader has announced its codes
constexpr uint8_t kEraseAllPages = 0xFF; // erase count meaning every page, followed by its checksum 0x00
constexpr uint8_t kPadding = 0xFF;       // fills a write up to a multiple of 4 bytes (erased flash)
constexpr size_t kCommandCount = 11;     // command codes in the get reply
constexpr size_t kGetReplyBytes = 1 + kCommandCount; // bootloader version and the command codes
constexpr uint32_t kMaxTransferBytes = 256;          // per read or write command
constexpr int kSyncTries = 5;            // synchronisation bytes sent per connection attempt

// Functions of the command codes, by their position in the get reply.
enum CommandPosition : size_t {
    kPosGet = 0,
    kPosGetVersion = 1,
    kPosGetId = 2,
    kPosReadMemory = 3,
    kPosGo = 4,
    kPosWriteMemory = 5,
    kPosErase = 6,
};

// One microcontroller of the device table. End addresses are exclusive.
struct DeviceInfo {
    uint16_t productId;
    const char* name;
    uint32_t ramStart, ramEnd;
    uint32_t flashStart, flashEnd;
    uint16_t pagesPerSector;
    uint16_t pageSize;
    uint32_t optionStart, optionEnd;
    uint32_t systemStart, systemEnd;
};

constexpr DeviceInfo kDevices[] = {
    {0x412, "Low-density", 0x20000200, 0x20002800, 0x08000000, 0x08008000, 4, 1024, 0x1FFFF800, 0x1FFFF80F, 0x1FFFF000, 0x1FFFF800},
    {0x410, "Medium-density", 0x20000200, 0x20005000, 0x08000000, 0x08020000, 4, 1024, 0x1FFFF800, 0x1FFFF80F, 0x1FFFF000, 0x1FFFF800},
    {0x414, "High-density", 0x20000200, 0x20010000, 0x08000000, 0x08080000, 2, 2048, 0x1FFFF800, 0x1FFFF80F, 0x1FFFF000, 0x1FFFF800},
    {0x418, "Connectivity line", 0x20000200, 0x20010000, 0x08000000, 0x08040000, 2, 2048, 0x1FFFF800, 0x1FFFF80F, 0x1FFFB000, 0x1FFFF800},
    {0x420, "Medium-density VL", 0x20000200, 0x20002000, 0x08000000, 0x08020000, 4, 1024, 0x1FFFF800, 0x1FFFF80F, 0x1FFFF000, 0x1FFFF800},
    {0x430, "XL-density", 0x20000800, 0x20018000, 0x08000000, 0x08100000, 2, 2048, 0x1FFFF800, 0x1FFFF80F, 0x1FFFE000, 0x1FFFF800},
};

// The first row with this product id; a row of zeros (no flash) when there is none.
const DeviceInfo& findDevice(uint16_t productId);

// What the protocol needs of a line. Each call blocks until done or until the line's read
// time-out; false on failure or time-out.
class BootloaderLink {
public:
    virtual ~BootloaderLink() = default;
    // Writes every byte.
    virtual bool writeBytes(const uint8_t* data, size_t size) = 0;
    // Reads exactly `size` bytes.
    virtual bool readBytes(uint8_t* data, size_t size) = 0;
};

// Connection modes.
constexpr int kConnectSynchronise = 1;         // send the synchronisation byte first
constexpr int kConnectAlreadySynchronised = 2; // the bootloader already is

// One connection to a bootloader: what it announced, and the commands that use it.
class BootloaderSession {
public:
    // `warn` receives the diagnostic lines of an unusual bootloader.
    BootloaderSession(BootloaderLink& link, std::function<void(const char*)> warn);

    // Synchronises (mode kConnectSynchronise), then get, get version and get id; looks the
    // product id up in the device table. False when any step fails.
    bool connect(int mode);

    // `address` a multiple of 4, `length` 1..256.
    bool readMemory(uint32_t address, uint32_t length, uint8_t* data);
    // The same; the data is padded with 0xFF to a multiple of 4 bytes.
    bool writeMemory(uint32_t address, uint32_t length, const uint8_t* data);
    // Erases every page.
    bool eraseAll();

    uint8_t bootloaderVersion() const { return version_; }
    uint16_t productId() const { return productId_; }
    const uint8_t* commands() const { return commands_; }
    const uint8_t* versionBytes() const { return versionBytes_; }
    const DeviceInfo& device() const { return *device_; }

private:
    bool ack();
    bool command(size_t position);
    bool sendCode(uint8_t code);
    bool sendAddress(uint32_t address);

    BootloaderLink& link_;
    std::function<void(const char*)> warn_;
    uint8_t version_ = 0;
    uint8_t commands_[kCommandCount] = {};
    uint8_t versionBytes_[3] = {}; // version and the two option bytes of get version
    uint16_t productId_ = 0;
    const DeviceInfo* device_;
};

} // namespace tavik::firmware::stm32
