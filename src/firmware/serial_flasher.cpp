#include "firmware/serial_flasher.h"

#include <algorithm>
#include <cstdio>

#include "firmware/stm32_flasher.h"
#include "platform/sync.h"

namespace tavik::firmware {

using namespace Varnholtstad;
namespace stm = stm32;

namespace {

constexpr uint32_t kPurgeAtOpenAndClose =
    platform::kPurgeAbortOutput | platform::kPurgeAbortInput | platform::kPurgeClearOutput;

// Connection attempts after a first one that failed, and the pauses around them (ms).
constexpr int kConnectRounds = 5;
constexpr uint32_t kBeforeUnsynchronisedMs = 500;
constexpr uint32_t kBeforeResynchronisingMs = 100;

// Pauses of the driver switching (ms).
constexpr uint32_t kSsSwitchPauseMs = 100;
constexpr uint32_t kFrontSwitchPauseMs = 500;

void toStandardError(const char* line) { std::fputs(line, stderr); }

} // namespace

// ---- SerialPort ----

bool SerialPort::open(const std::string& name) {
    close();
    handle_ = platform::openSerialPort(name);
    if (!handle_) return false;
    platform::SerialTimeouts t;
    t.readInterval = platform::kSerialNoLimit;
    t.readTotalMultiplier = platform::kSerialNoLimit;
    t.readTotalConstant = kReadTimeoutMs;
    // The port's own settings are kept for closing, also when a later step of the opening fails.
    haveOriginal_ = platform::getSerialSettings(handle_, original_);
    working_ = original_;
    if (!platform::setSerialBuffers(handle_, kPortBufferBytes, kPortBufferBytes) ||
        !platform::setSerialTimeouts(handle_, t) ||
        !platform::setSerialEventMask(handle_, platform::kSerialEventErrors) || !haveOriginal_ ||
        !platform::purgeSerial(handle_, kPurgeAtOpenAndClose)) {
        close();
        return false;
    }
    return true;
}

bool SerialPort::configure() {
    if (!handle_) return false;
    working_.ctsOutputFlow = false;
    working_.dsrOutputFlow = false;
    working_.xonXoffOutput = false;
    working_.xonXoffInput = false;
    working_.discardNulls = false;
    working_.abortOnError = false;
    working_.binary = true;
    working_.baudRate = kBootloaderBaud;
    working_.dataBits = 8;
    working_.parity = platform::SerialParity::Even;
    working_.stopBits = platform::SerialStopBits::One;
    platform::purgeSerial(handle_, kPurgeAtOpenAndClose);
    ready_ = platform::setSerialSettings(handle_, working_);
    return ready_;
}

void SerialPort::close() {
    if (!handle_) return;
    platform::purgeSerial(handle_, kPurgeAtOpenAndClose);
    if (haveOriginal_) platform::setSerialSettings(handle_, original_);
    platform::closeSerialPort(handle_);
    handle_ = {};
    haveOriginal_ = false;
    ready_ = false;
}

bool SerialPort::writeBytes(const uint8_t* data, size_t size) {
    if (!ready_) return false;
    while (size > 0) {
        uint32_t written = 0;
        if (!platform::writeSerial(handle_, data, static_cast<uint32_t>(size), written) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool SerialPort::readBytes(uint8_t* data, size_t size) {
    if (!ready_) return false;
    while (size > 0) {
        uint32_t read = 0;
        if (!platform::readSerial(handle_, data, static_cast<uint32_t>(size), read) || read == 0) return false;
        data += read;
        size -= read;
    }
    return true;
}

// ---- the job's serial steps ----

namespace {

// Writing and verification: the image from its start at the start of the flash, in blocks of
// up to 256 bytes, never beyond the flash. The percentage last reported is kept for failures.
class BlockWalk {
public:
    BlockWalk(FirmwareImage& image, const stm::DeviceInfo& device) : image_(image), device_(device) {
        image_.readPosition = 0;
    }
    bool next() {
        if (done_ >= image_.size() || address_ >= device_.flashEnd) return false;
        chunk_ = std::min({stm::kMaxTransferBytes, device_.flashEnd - address_, image_.size() - done_,
                           image_.size() - image_.readPosition});
        return chunk_ > 0;
    }
    void advance() {
        image_.readPosition += chunk_;
        done_ += chunk_;
        address_ += chunk_;
    }
    uint32_t address() const { return address_; }
    uint32_t chunk() const { return chunk_; }
    const uint8_t* data() const { return image_.data.data() + image_.readPosition; }
    uint32_t percent() const { return percentOf(done_, image_.size()); }

private:
    FirmwareImage& image_;
    const stm::DeviceInfo& device_;
    uint32_t address_ = device_.flashStart;
    uint32_t done_ = 0;
    uint32_t chunk_ = 0;
};

bool connectWithRetries(stm::BootloaderSession& session) {
    if (session.connect(stm::kConnectSynchronise)) return true;
    for (int round = 0; round < kConnectRounds; ++round) {
        platform::sleepMs(kBeforeUnsynchronisedMs);
        if (session.connect(stm::kConnectAlreadySynchronised)) return true;
        platform::sleepMs(kBeforeResynchronisingMs);
        if (session.connect(stm::kConnectSynchronise)) return true;
    }
    return false;
}

ErrorCode programAndVerify(stm::BootloaderSession& session, FirmwareImage& image, int32_t mode,
                           const StepReport& report) {
    const stm::DeviceInfo& device = session.device();
    uint32_t lastPercent = 0;
    auto step = [&](ErrorCode e, uint32_t percent, UpgradeAction action) {
        lastPercent = percent;
        report(e, percent, action);
    };

    // An empty image would leave the target erased, with nothing to verify; an image larger than
    // the flash (every image, for a product id not in the device table) cannot be written, nor
    // compared whole: both modes refuse it before any flash access.
    const bool fits = image.size() > 0 && image.size() <= device.flashEnd - device.flashStart;
    if (mode == kModeUpgrade) {
        report(ERR_SUCCESS, 0, UPGRADE_PROGRAM);
        if (!fits) {
            report(ERR_INVALID_DATA, 0, UPGRADE_PROGRAM);
            return ERR_INVALID_DATA;
        }
        session.eraseAll(); // a slow erase may outlast the read time-out: the writes tell
        report(ERR_SUCCESS, 0, UPGRADE_PROGRAM);
        BlockWalk walk(image, device);
        while (walk.next()) {
            if (!session.writeMemory(walk.address(), walk.chunk(), walk.data())) {
                report(ERR_DEVICE_WRITE_DATA_FAILED, lastPercent, UPGRADE_PROGRAM);
                return ERR_DEVICE_WRITE_DATA_FAILED;
            }
            walk.advance();
            step(ERR_SUCCESS, walk.percent(), UPGRADE_PROGRAM);
        }
    }

    step(ERR_SUCCESS, 0, UPGRADE_VERIFY);
    if (!fits) {
        report(ERR_INVALID_DATA, 0, UPGRADE_VERIFY);
        return ERR_INVALID_DATA;
    }
    BlockWalk walk(image, device);
    uint8_t readBack[stm::kMaxTransferBytes];
    while (walk.next()) {
        ErrorCode e = ERR_SUCCESS;
        if (!session.readMemory(walk.address(), walk.chunk(), readBack)) e = ERR_DEVICE_READ_DATA_FAILED;
        else if (!std::equal(readBack, readBack + walk.chunk(), walk.data())) e = ERR_VERIFY_FAILED;
        if (e != ERR_SUCCESS) {
            report(e, lastPercent, UPGRADE_VERIFY);
            return e;
        }
        walk.advance();
        step(ERR_SUCCESS, walk.percent(), UPGRADE_VERIFY);
    }
    return ERR_SUCCESS;
}

} // namespace

ErrorCode programOverBootloader(const std::string& portName, FirmwareImage& image, int32_t mode,
                                const StepReport& report) {
    report(ERR_SUCCESS, 0, UPGRADE_CONNECT);
    SerialPort port;
    if (!port.open(portName)) {
        report(ERR_OPEN_FAILED, 0, UPGRADE_CONNECT);
        return ERR_OPEN_FAILED;
    }
    report(ERR_SUCCESS, 50, UPGRADE_CONNECT);
    if (!port.configure()) {
        report(ERR_OPEN_FAILED, 55, UPGRADE_CONNECT);
        return ERR_OPEN_FAILED; // the port closes as it goes out of scope
    }
    report(ERR_SUCCESS, 75, UPGRADE_CONNECT);
    stm::BootloaderSession session(port, &toStandardError);
    if (!connectWithRetries(session)) {
        report(ERR_OPEN_FAILED, 100, UPGRADE_CONNECT);
        return ERR_OPEN_FAILED;
    }
    report(ERR_SUCCESS, 100, UPGRADE_CONNECT);
    return programAndVerify(session, image, mode, report);
}

// ---- Flasher_STM32 ----

ErrorCode Flasher_STM32::routeSerial(uint8_t route) {
    if (route >= kRouteCount) return ERR_INVALID_DATA;
    switchChannel_.requestUnchecked(kReqSerialRouting, &route, 1, nullptr, 0);
    return ERR_SUCCESS;
}

ErrorCode Flasher_STM32::enterBootloader() {
    if (target_ != kTargetSystemSupervisor && target_ != kTargetFront) return ERR_INVALID_PARAMETER;
    reportStatus(ERR_SUCCESS, 0, UPGRADE_INIT);
    if (target_ == kTargetSystemSupervisor) {
        switchTarget(kSwitchSsBootloader);
        reportStatus(ERR_SUCCESS, 25, UPGRADE_INIT);
        platform::sleepMs(kSsSwitchPauseMs);
        routeSerial(kRouteSs);
        reportStatus(ERR_SUCCESS, 75, UPGRADE_INIT);
        serialRouted_ = true;
        platform::sleepMs(kSsSwitchPauseMs);
    } else {
        switchTarget(kSwitchFrontFirst);
        reportStatus(ERR_SUCCESS, 25, UPGRADE_INIT);
        frontSwitched_ = true;
        platform::sleepMs(kFrontSwitchPauseMs);
        switchChannel_.requestUnchecked(kReqFrontSwitchStep, nullptr, 0, nullptr, 0);
        reportStatus(ERR_SUCCESS, 50, UPGRADE_INIT);
        platform::sleepMs(kFrontSwitchPauseMs);
        routeSerial(kRouteFront);
        reportStatus(ERR_SUCCESS, 75, UPGRADE_INIT);
        serialRouted_ = true;
        platform::sleepMs(kFrontSwitchPauseMs);
    }
    reportStatus(ERR_SUCCESS, 100, UPGRADE_INIT);
    return ERR_SUCCESS;
}

ErrorCode Flasher_STM32::run(int32_t mode) {
    frontSwitched_ = serialRouted_ = false;
    ErrorCode e = enterBootloader();
    if (e == ERR_SUCCESS)
        e = readHexImage(path_, image_, [this](ErrorCode r, uint32_t p) { reportStatus(r, p, UPGRADE_READ_FILE); });
    if (e == ERR_SUCCESS)
        e = programOverBootloader(kBootloaderPort, image_, mode,
                                  [this](ErrorCode r, uint32_t p, UpgradeAction a) { reportStatus(r, p, a); });
    // Normal operation comes back whatever happened.
    if (frontSwitched_) switchTarget(kSwitchFrontBack);
    if (serialRouted_) routeSerial(kRouteNormal);
    reportEnd(e);
    closeChannels();
    releaseInProgress();
    return e;
}

} // namespace tavik::firmware
