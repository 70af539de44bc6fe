#include "firmware/bootloader_protocol.h"

#include <vector>

namespace tavik::firmware::stm32 {
namespace {

constexpr DeviceInfo kUnknownDevice{};

constexpr const char* kLongGetReply =
    "Seems this bootloader returns more then we understand in the GET command, we will skip the unknown bytes\n";
constexpr const char* kLongProductId = "More then two bytes sent in the PID, unknown/unsupported device\n";

} // namespace

const DeviceInfo& findDevice(uint16_t productId) {
    for (const DeviceInfo& d : kDevices)
        if (d.productId == productId) return d;
    return kUnknownDevice;
}

BootloaderSession::BootloaderSession(BootloaderLink& link, std::function<void(const char*)> warn)
    : link_(link), warn_(std::move(warn)), device_(&kUnknownDevice) {}

bool BootloaderSession::ack() {
    uint8_t reply = 0;
    return link_.readBytes(&reply, 1) && reply == kAck;
}

bool BootloaderSession::sendCode(uint8_t code) {
    const uint8_t bytes[2] = {code, static_cast<uint8_t>(code ^ 0xFF)};
    return link_.writeBytes(bytes, 2) && ack();
}

bool BootloaderSession::command(size_t position) { return sendCode(commands_[position]); }

bool BootloaderSession::sendAddress(uint32_t address) {
    uint8_t bytes[5] = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                        static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), 0};
    bytes[4] = bytes[0] ^ bytes[1] ^ bytes[2] ^ bytes[3];
    return link_.writeBytes(bytes, 5) && ack();
}

bool BootloaderSession::connect(int mode) {
    device_ = &kUnknownDevice;
    if (mode == kConnectSynchronise) {
        bool synchronised = false;
        for (int i = 0; i < kSyncTries && !synchronised; ++i) {
            const uint8_t sync = kSync;
            if (!link_.writeBytes(&sync, 1)) return false;
            uint8_t reply = 0;
            synchronised = link_.readBytes(&reply, 1) && reply == kAck; // a time-out is no 0x79
        }
        if (!synchronised) return false;
    }

    // Get: the count N, then N + 1 bytes: the version, the command codes and perhaps more.
    uint8_t count = 0;
    if (!sendCode(kGetCommand) || !link_.readBytes(&count, 1)) return false;
    const size_t announced = count + 1u;
    std::vector<uint8_t> reply(announced);
    if (!link_.readBytes(reply.data(), announced)) return false;
    // Fewer bytes than a version and 11 codes cannot name the commands needed here.
    if (announced < kGetReplyBytes) return false;
    if (announced > kGetReplyBytes) warn_(kLongGetReply); // the extra bytes are dropped
    version_ = reply[0];
    for (size_t i = 0; i < kCommandCount; ++i) commands_[i] = reply[1 + i];
    if (!ack()) return false;

    // Get version: version and two option bytes.
    if (!command(kPosGetVersion) || !link_.readBytes(versionBytes_, 3) || !ack()) return false;

    // Get id: N (1 for the two bytes of a product id), then the id, most significant byte first.
    if (!command(kPosGetId) || !link_.readBytes(&count, 1)) return false;
    if (count != 1) {
        warn_(kLongProductId);
        return false;
    }
    uint8_t id[2];
    if (!link_.readBytes(id, 2) || !ack()) return false;
    productId_ = static_cast<uint16_t>(id[0] << 8 | id[1]);
    device_ = &findDevice(productId_);
    return true;
}

bool BootloaderSession::readMemory(uint32_t address, uint32_t length, uint8_t* data) {
    if (address % 4 != 0 || length == 0 || length > kMaxTransferBytes) return false;
    if (!command(kPosReadMemory) || !sendAddress(address)) return false;
    const uint8_t n[2] = {static_cast<uint8_t>(length - 1), static_cast<uint8_t>((length - 1) ^ 0xFF)};
    return link_.writeBytes(n, 2) && ack() && link_.readBytes(data, length);
}

bool BootloaderSession::writeMemory(uint32_t address, uint32_t length, const uint8_t* data) {
    if (address % 4 != 0 || length == 0 || length > kMaxTransferBytes) return false;
    if (!command(kPosWriteMemory) || !sendAddress(address)) return false;
    const uint32_t padded = (length + 3) / 4 * 4;
    // One write of the count, the data, the padding and the checksum over all of them.
    uint8_t block[1 + kMaxTransferBytes + 1];
    block[0] = static_cast<uint8_t>(padded - 1);
    uint8_t sum = block[0];
    for (uint32_t i = 0; i < padded; ++i) {
        block[1 + i] = i < length ? data[i] : kPadding;
        sum ^= block[1 + i];
    }
    block[1 + padded] = sum;
    return link_.writeBytes(block, padded + 2) && ack();
}

bool BootloaderSession::eraseAll() {
    const uint8_t all[2] = {kEraseAllPages, 0x00};
    return command(kPosErase) && link_.writeBytes(all, 2) && ack();
}

} // namespace tavik::firmware::stm32
