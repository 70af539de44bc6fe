#include "firmware/fpga_flasher.h"

#include <algorithm>
#include <cstring>

#include "firmware/image_readers.h"
#include "platform/sync.h"

namespace tavik::firmware {

using namespace Varnholtstad;

void FpgaBlock::encode(uint8_t (&out)[kFpgaRequestBytes]) const {
    std::memset(out, 0, sizeof out);
    out[0] = static_cast<uint8_t>(length);
    out[1] = static_cast<uint8_t>(length >> 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(position >> (8 * i));
    std::memcpy(out + 8, data, kFpgaBlockBytes);
}

FpgaBlock FpgaBlock::decode(const uint8_t (&in)[kFpgaRequestBytes]) {
    FpgaBlock b;
    b.length = static_cast<uint16_t>(in[0] | in[1] << 8);
    for (int i = 0; i < 4; ++i) b.position |= static_cast<uint32_t>(in[4 + i]) << (8 * i);
    std::memcpy(b.data, in + 8, kFpgaBlockBytes);
    return b;
}

void Flasher_FPGA::reset() {
    IFlasher::reset();
    programming_.close();
    std::vector<uint8_t>().swap(image_);
    std::vector<uint8_t>().swap(readBack_);
}

ErrorCode Flasher_FPGA::run(int32_t mode) {
    ErrorCode e = checkInterface();
    if (e == ERR_SUCCESS)
        e = readFpgaImage(path_, image_, [this](ErrorCode r, uint32_t p) { reportStatus(r, p, UPGRADE_READ_FILE); });
    if (e == ERR_SUCCESS) {
        switchTarget(kSwitchFpgaProgramming);
        if (mode == kModeUpgrade) e = programBlocks();
        if (e == ERR_SUCCESS) {
            reportStatus(ERR_SUCCESS, 0, UPGRADE_VERIFY);
            platform::sleepMs(50);
            e = verifyBlocks();
        }
        switchTarget(kSwitchNormal); // also after a failed programming or verification
    }
    reportEnd(e);
    programming_.close();
    releaseInProgress();
    return e;
}

ErrorCode Flasher_FPGA::checkInterface() {
    reportStatus(ERR_SUCCESS, 0, UPGRADE_INIT);
    programming_.open();
    if (!programming_.isOpen()) {
        reportStatus(ERR_OPEN_FAILED, 0, UPGRADE_INIT);
        return ERR_OPEN_FAILED;
    }
    reportStatus(ERR_SUCCESS, 50, UPGRADE_INIT);
    uint8_t ready = 0xFF;
    ErrorCode e = programming_.read(kReqFpgaInterface, &ready, 1);
    if (e == ERR_SUCCESS && ready != 0) e = ERR_INIT_FAILED;
    reportStatus(e, 100, UPGRADE_INIT);
    return e;
}

ErrorCode Flasher_FPGA::programBlocks() {
    reportStatus(ERR_SUCCESS, 0, UPGRADE_PROGRAM);
    if (image_.empty()) {
        reportStatus(ERR_INVALID_DATA, 0, UPGRADE_PROGRAM);
        return ERR_INVALID_DATA;
    }
    const size_t total = image_.size();
    size_t cursor = 0;
    uint32_t position = 0;
    uint8_t request[kFpgaRequestBytes];
    while (cursor < total) {
        FpgaBlock block;
        block.length = static_cast<uint16_t>(std::min<size_t>(kFpgaBlockBytes, total - cursor));
        block.position = position;
        std::memcpy(block.data, image_.data() + cursor, block.length);
        block.encode(request);

        uint8_t reply[4] = {};
        uint32_t returned = 0;
        const ErrorCode e = programming_.requestUnchecked(kReqFpgaProgram, request, sizeof request, reply,
                                                          sizeof reply, &returned);
        const uint32_t next = static_cast<uint32_t>(reply[0] | reply[1] << 8 | reply[2] << 16) |
                              static_cast<uint32_t>(reply[3]) << 24;
        // The driver took (next - position) bytes of the block: none is no progress, more than
        // the block (or a position behind) is a reply that cannot be true.
        const uint32_t taken = next - position;
        if (e != ERR_SUCCESS || returned != 4 || taken == 0 || taken > block.length) {
            reportStatus(ERR_IOCTRL_FAILED, 100, UPGRADE_PROGRAM);
            return ERR_IOCTRL_FAILED;
        }
        cursor += taken;
        position = next;
        reportStatus(ERR_SUCCESS, percentOf(cursor, total), UPGRADE_PROGRAM);
    }
    reportStatus(ERR_SUCCESS, 100, UPGRADE_PROGRAM);
    return ERR_SUCCESS;
}

ErrorCode Flasher_FPGA::verifyBlocks() {
    readBack_.clear();
    reportStatus(ERR_SUCCESS, 0, UPGRADE_VERIFY);
    if (image_.empty()) {
        reportStatus(ERR_INVALID_DATA, 0, UPGRADE_VERIFY);
        return ERR_INVALID_DATA;
    }
    const size_t total = image_.size();
    readBack_.reserve(total);
    size_t done = 0;
    uint32_t position = 0;
    uint8_t request[kFpgaRequestBytes];
    uint8_t reply[kFpgaRequestBytes];
    for (;;) {
        FpgaBlock ask;
        ask.length = kFpgaBlockBytes;
        ask.position = position;
        ask.encode(request);
        std::memset(reply, 0, sizeof reply);
        uint32_t returned = 0;
        ErrorCode e = programming_.requestUnchecked(kReqFpgaReadBack, request, sizeof request, reply,
                                                    sizeof reply, &returned);
        if (e != ERR_SUCCESS || returned != kFpgaRequestBytes) e = ERR_IOCTRL_FAILED;
        const FpgaBlock got = FpgaBlock::decode(reply);
        if (e == ERR_SUCCESS && got.length == 0) e = ERR_DEVICE_READ_DATA_FAILED;
        if (e != ERR_SUCCESS) {
            reportStatus(e, 100, UPGRADE_VERIFY);
            return e;
        }

        const size_t n = std::min<size_t>(kFpgaBlockBytes, total - done);
        readBack_.insert(readBack_.end(), got.data, got.data + n);
        const auto diff = std::mismatch(image_.begin() + static_cast<std::ptrdiff_t>(done),
                                        image_.begin() + static_cast<std::ptrdiff_t>(done + n),
                                        readBack_.begin() + static_cast<std::ptrdiff_t>(done));
        if (diff.first != image_.begin() + static_cast<std::ptrdiff_t>(done + n)) {
            const size_t index = static_cast<size_t>(diff.first - image_.begin());
            reportStatus(ERR_VERIFY_FAILED, percentOf(index, total), UPGRADE_VERIFY);
            return ERR_VERIFY_FAILED;
        }
        done += n;
        reportStatus(ERR_SUCCESS, percentOf(done, total), UPGRADE_VERIFY);
        if (done >= total) return ERR_SUCCESS;
        position = got.position;
    }
}

} // namespace tavik::firmware
