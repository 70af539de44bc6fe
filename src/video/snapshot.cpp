// Snapshots: raw frames from the capture devices and their bitmaps, in memory or in a file.
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "video/bitmap.h"
#include "video/video.h"

namespace tavik::video {

ErrorCode Video_Imp::captureMissing() const {
    return fpgaVersion_ < kCaptureFpga ? ERR_NEWER_FPGA_VERSION_REQUIRED : ERR_OPEN_FAILED;
}

ErrorCode Video_Imp::activateSnapshot(bool activate) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (!control_ || !control_->isOpen()) return ERR_OPEN_FAILED;
    if (!frameCapture_.isOpen()) return captureMissing();
    const uint8_t on = activate ? 1 : 0;
    return control(kReqActivateSnapshot, &on, 1, nullptr, 0);
}

ErrorCode Video_Imp::takeSnapshotRaw(uint8_t* buffer, uint32_t size, bool singleField) {
    if (buffer == nullptr) return ERR_INVALID_PARAMETER;
    if (size == 0) return ERR_BUFFER_SIZE;
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (!frameCapture_.isOpen()) return captureMissing();
    CaptureDevice& device = singleField ? fieldCapture_ : frameCapture_;
    return device.read(buffer, size) ? ERR_SUCCESS : ERR_DEVICE_READ_DATA_FAILED;
}

ErrorCode Video_Imp::createBitmap(uint8_t** bmpBuffer, uint32_t* bmpSize, const uint8_t* rawData,
                                  uint32_t rawSize, bool singleField, bool fieldOrderFlag) {
    if (bmpBuffer == nullptr || bmpSize == nullptr || rawData == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    BitmapPlan plan;
    if (const ErrorCode e = planBitmap(rawData, rawSize, singleField, fieldOrderFlag, plan); e != ERR_SUCCESS)
        return e;
    *bmpSize = plan.size; // stored before the allocation, also when it fails
    auto* bitmap = static_cast<uint8_t*>(std::malloc(plan.size));
    *bmpBuffer = bitmap;
    if (bitmap == nullptr) return ERR_MEMORY_ALLOCATION;
    writeBitmap(plan, bitmap);
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::freeBmpBuffer(uint8_t* bmpBuffer) {
    if (bmpBuffer == nullptr) return ERR_INVALID_PARAMETER;
    std::free(bmpBuffer);
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::takeSnapshotBmp(uint8_t** bmpBuffer, uint32_t* bmpSize, bool singleField,
                                     bool fieldOrderFlag) {
    const uint32_t rawSize = singleField ? Varnholtstad::RAW_FIELD_BUFFER_SIZE : Varnholtstad::RAW_FRAME_BUFFER_SIZE;
    if (!supported_) return ERR_NOT_SUPPORTED;
    auto* raw = static_cast<uint8_t*>(std::malloc(rawSize));
    if (raw == nullptr) return ERR_MEMORY_ALLOCATION;
    ErrorCode e = takeSnapshotRaw(raw, rawSize, singleField);
    if (e == ERR_SUCCESS) e = createBitmap(bmpBuffer, bmpSize, raw, rawSize, singleField, fieldOrderFlag);
    std::free(raw);
    return e;
}

ErrorCode Video_Imp::takeSnapshot(const char* path, bool singleField) {
    if (path == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    int32_t standard = 0;
    if (const ErrorCode e = getVideoStandard(&standard); e != ERR_SUCCESS) return e;
    const bool fieldOrderFlag = standard == 0 || standard == 4;

    uint8_t* bitmap = nullptr;
    uint32_t size = 0;
    if (const ErrorCode e = takeSnapshotBmp(&bitmap, &size, singleField, fieldOrderFlag); e != ERR_SUCCESS) {
        std::free(bitmap);
        return e;
    }
    ErrorCode result = ERR_OPEN_FAILED;
    // Paths reach the file system as at most 259 characters and the terminating zero.
    if (std::strlen(path) <= kMaxPathChars) {
        const platform::FileHandle file = platform::createFileForWrite(path);
        if (file) {
            uint32_t written = 0;
            const bool ok = platform::writeFile(file, bitmap, size, written) && written == size;
            platform::closeFile(file);
            result = ERR_SUCCESS;
            if (!ok) {
                // A partial picture is worse than none: report it and take it away.
                platform::deleteFile(path);
                result = ERR_DEVICE_WRITE_DATA_FAILED;
            }
        }
    }
    std::free(bitmap);
    return result;
}

} // namespace tavik::video
