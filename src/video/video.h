// The Video family: per video input N a control device of the auxiliary driver
// ("\\.\TavikDrv\VideoN") and two capture devices of the capture driver, one delivering frames of
// two fields ("\\.\QXVideoPCIDrv\VideoN") and one single fields ("\\.\QXVideoPCIDrv\VideoN_Int").
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame/driver_channel.h"
#include "identity/aux_version.h"
#include "platform/device.h"
#include "tavik2/video.h"

namespace tavik::video {

// Requests to the video control device.
constexpr uint32_t kReqWriteControl = frame::requestCode(0x909); // 1 in: new control byte
constexpr uint32_t kReqGetColorKeys = frame::requestCode(0x90A); // 3 out: red, green, blue
constexpr uint32_t kReqSetColorKeys = frame::requestCode(0x90B); // 3 in: red, green, blue
constexpr uint32_t kReqSetArea = frame::requestCode(0x90C);      // 8 in: four 16-bit corners
constexpr uint32_t kReqGetArea = frame::requestCode(0x90D);      // 8 out: the same
constexpr uint32_t kReqSetScaling = frame::requestCode(0x90E);   // 4 in: ScaleRegister
constexpr uint32_t kReqGetScaling = frame::requestCode(0x90F);   // 4 out: ScaleRegister
constexpr uint32_t kReqSetDecoderReg = frame::requestCode(0x910); // 2 in: register, value
constexpr uint32_t kReqGetDecoderReg = frame::requestCode(0x911); // 2 in: register, 0; out byte 1
constexpr uint32_t kReqReadControl = frame::requestCode(0x912);  // 1 out: control byte
constexpr uint32_t kReqGetChannel = frame::requestCode(0x913);   // 4 out: active channel
constexpr uint32_t kReqSetChannel = frame::requestCode(0x914);   // 4 in: active channel
constexpr uint32_t kReqSetCropping = frame::requestCode(0x915);  // 4 in: left/2, top, right/2, bottom
constexpr uint32_t kReqGetCropping = frame::requestCode(0x916);  // 4 out: the same
constexpr uint32_t kReqReset = frame::requestCode(0x917);        // 2 in: zeros
constexpr uint32_t kReqRawImage = frame::requestCode(0x918);     // 6 out: width, height, rate/4
constexpr uint32_t kReqActivateSnapshot = frame::requestCode(0x96B); // 1 in: 1 on, 0 off

// Bits of the control byte; bits 4..7 belong to the driver and are kept as read.
constexpr uint8_t kShowBit = 0x01;
constexpr uint8_t kDeInterlaceMask = 0x06;
constexpr uint8_t kMirrorBit = 0x08;

// Decoder register whose bits 1..3 give the detected standard.
constexpr uint8_t kStandardRegister = 0x8C;

// The capture operations need FPGA firmware from this number on; below it a missing capture device
// is reported as a firmware to update. Scaling has its own older-FPGA branch up to kOldScalingFpga.
constexpr identity::FirmwareVersionNumber kCaptureFpga = 40000;
constexpr identity::FirmwareVersionNumber kOldScalingFpga = 40000; // this number and below

// Longest snapshot path, in characters, without the terminating zero (MAX_PATH - 1).
constexpr uint32_t kMaxPathChars = 259;

// A capture device read with plain reads.
class CaptureDevice {
public:
    CaptureDevice() = default;
    ~CaptureDevice() { close(); }
    CaptureDevice(const CaptureDevice&) = delete;
    CaptureDevice& operator=(const CaptureDevice&) = delete;

    bool open(const std::string& name);
    void close();
    bool isOpen() const { return handle_.valid(); }
    // One read of up to `size` bytes; the bytes not delivered are zeroed. False when it failed.
    bool read(uint8_t* buffer, uint32_t size);

private:
    platform::DeviceHandle handle_;
};

class Video_Imp final : public Varnholtstad::Video {
public:
    Video_Imp();

    ErrorCode init(Varnholtstad::VideoDeviceNr deviceNr) override;
    ErrorCode showVideo(bool show) override;
    ErrorCode setDeInterlaceMode(int32_t mode) override;
    ErrorCode getDeInterlaceMode(int32_t* mode) override;
    ErrorCode setMirroring(int32_t mirroring) override;
    ErrorCode getMirroring(int32_t* mirroring) override;
    ErrorCode setActiveChannel(int32_t channel) override;
    ErrorCode getActiveChannel(int32_t* channel) override;
    ErrorCode setColorKeys(uint8_t redKey, uint8_t greenKey, uint8_t blueKey) override;
    ErrorCode getColorKeys(uint8_t* redKey, uint8_t* greenKey, uint8_t* blueKey) override;
    ErrorCode setVideoArea(uint16_t topLeftX, uint16_t topLeftY, uint16_t bottomRightX,
                           uint16_t bottomRightY) override;
    ErrorCode getVideoArea(uint16_t* topLeftX, uint16_t* topLeftY, uint16_t* bottomRightX,
                           uint16_t* bottomRightY) override;
    ErrorCode getRawImage(uint16_t* width, uint16_t* height, float* frameRate) override;
    ErrorCode getVideoStandard(int32_t* standard) override;
    ErrorCode getStatus(uint8_t* status) override;
    ErrorCode setScaling(float scaleX, float scaleY) override;
    ErrorCode getScaling(float* scaleX, float* scaleY) override;
    ErrorCode activateSnapshot(bool activate) override;
    ErrorCode takeSnapshot(const char* path, bool singleField) override;
    ErrorCode takeSnapshotRaw(uint8_t* buffer, uint32_t size, bool singleField) override;
    ErrorCode takeSnapshotBmp(uint8_t** bmpBuffer, uint32_t* bmpSize, bool singleField,
                              bool fieldOrderFlag) override;
    ErrorCode createBitmap(uint8_t** bmpBuffer, uint32_t* bmpSize, const uint8_t* rawData,
                           uint32_t rawSize, bool singleField, bool fieldOrderFlag) override;
    ErrorCode freeBmpBuffer(uint8_t* bmpBuffer) override;
    ErrorCode minimize() override;
    ErrorCode restore() override;
    ErrorCode setDecoderReg(uint8_t reg, uint8_t value) override;
    ErrorCode getDecoderReg(uint8_t reg, uint8_t* value) override;
    ErrorCode setCropping(uint8_t cropLeft, uint8_t cropTop, uint8_t cropRight, uint8_t cropBottom) override;
    ErrorCode getCropping(uint8_t* cropLeft, uint8_t* cropTop, uint8_t* cropRight, uint8_t* cropBottom) override;
    void release() override;
    ErrorCode showFrame() override;
    ErrorCode setRotation(int32_t rotation) override;
    ErrorCode getRotation(int32_t* rotation) override;

private:
    // A request on the control device whose byte count is not checked: 1 closed, 7 failed.
    ErrorCode control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize);
    ErrorCode readControlByte(uint8_t sent, uint8_t& byte);
    // Read-modify-write of the control byte: keeps the bits outside `mask`, sets `bits`.
    ErrorCode changeControlByte(uint8_t mask, uint8_t bits, bool readMayFail);
    ErrorCode writeArea(const uint16_t area[4]);
    // Mode 2 when the mode cannot be read.
    int32_t deInterlaceModeOr2();
    // The capture operations' error when the frame capture device is not open.
    ErrorCode captureMissing() const;
    void closeDevices();

    std::unique_ptr<frame::DriverChannel> control_;
    CaptureDevice frameCapture_;
    CaptureDevice fieldCapture_;
    uint16_t savedArea_[4] = {0, 0, 0, 0};
    bool supported_ = true;
    identity::FirmwareVersionNumber fpgaVersion_ = 0;
};

} // namespace tavik::video
