#include "video/video.h"

#include <cmath>
#include <cstring>
#include <string>

#include "frame/handle.h"
#include "identity/fitted_hardware.h"
#include "video/scaling.h"

namespace tavik::video {
namespace {

std::string captureDeviceName(int number, bool singleField) {
    return std::string("\\\\.\\QXVideoPCIDrv\\Video") + std::to_string(number) + (singleField ? "_Int" : "");
}

void putLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

} // namespace

bool CaptureDevice::open(const std::string& name) {
    close();
    handle_ = platform::openDevice(name);
    return handle_.valid();
}

void CaptureDevice::close() {
    if (handle_.valid()) platform::closeDevice(handle_);
    handle_ = {};
}

bool CaptureDevice::read(uint8_t* buffer, uint32_t size) {
    uint32_t got = 0;
    if (!handle_.valid() || !platform::deviceRead(handle_, buffer, size, got)) return false;
    // A short frame must not leave stale or uninitialised bytes to be taken for picture data.
    if (got < size) std::memset(buffer + got, 0, size - got);
    return true;
}

Video_Imp::Video_Imp() {
    identity::getFpgaVersionNumber(&fpgaVersion_); // 0 when unreadable
    supported_ = identity::videoFitted();
}

void Video_Imp::release() { delete this; }

void Video_Imp::closeDevices() {
    control_.reset();
    frameCapture_.close();
    fieldCapture_.close();
}

ErrorCode Video_Imp::init(Varnholtstad::VideoDeviceNr deviceNr) {
    closeDevices();
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (deviceNr != 1 && deviceNr != 2) return ERR_INVALID_PARAMETER;

    control_ = std::make_unique<frame::DriverChannel>(
        frame::DriverChannel::OpenPolicy::AtConstruction,
        deviceNr == 1 ? frame::kDriverVideoDevice1 : frame::kDriverVideoDevice2);
    control_->open();
    ErrorCode result = control_->isOpen() ? ERR_SUCCESS : ERR_OPEN_FAILED;

    // The capture devices are optional: without them only the snapshots fail.
    if (frameCapture_.open(captureDeviceName(deviceNr, false)))
        fieldCapture_.open(captureDeviceName(deviceNr, true));

    if (!control_->isOpen()) return result;
    const uint8_t reset[2] = {0, 0};
    if (control(kReqReset, reset, sizeof reset, nullptr, 0) != ERR_SUCCESS) result = ERR_IOCTRL_FAILED;
    setDeInterlaceMode(2);
    setMirroring(0);
    return result;
}

ErrorCode Video_Imp::control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize) {
    if (!control_) return ERR_OPEN_FAILED;
    return control_->requestUnchecked(code, in, inSize, out, outSize);
}

ErrorCode Video_Imp::readControlByte(uint8_t sent, uint8_t& byte) {
    uint8_t out = 0;
    if (const ErrorCode e = control(kReqReadControl, &sent, 1, &out, 1); e != ERR_SUCCESS) return e;
    byte = out;
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::changeControlByte(uint8_t mask, uint8_t bits, bool readMayFail) {
    uint8_t byte = 0;
    if (const ErrorCode e = readControlByte(0, byte); e != ERR_SUCCESS) {
        if (!readMayFail) return e;
        byte = 0;
    }
    uint8_t next = static_cast<uint8_t>((byte & ~mask) | (bits & mask));
    uint8_t echo = 0;
    return control(kReqWriteControl, &next, 1, &echo, 1);
}

ErrorCode Video_Imp::showVideo(bool show) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    // The read's failure is dropped: the byte is then written with only the show bit.
    return changeControlByte(kShowBit, show ? kShowBit : 0, true);
}

ErrorCode Video_Imp::setDeInterlaceMode(int32_t mode) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (mode < 0 || mode > 2) return ERR_INVALID_PARAMETER;
    return changeControlByte(kDeInterlaceMask, static_cast<uint8_t>(mode << 1), false);
}

ErrorCode Video_Imp::getDeInterlaceMode(int32_t* mode) {
    if (mode == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    uint8_t byte = 0;
    if (const ErrorCode e = readControlByte(0, byte); e != ERR_SUCCESS) return e;
    const int32_t m = (byte & kDeInterlaceMask) >> 1;
    if (m == 3) return ERR_INVALID_DATA;
    *mode = m;
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::setMirroring(int32_t mirroring) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    return changeControlByte(kMirrorBit, mirroring != 0 ? kMirrorBit : 0, false);
}

ErrorCode Video_Imp::getMirroring(int32_t* mirroring) {
    if (mirroring == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    uint8_t byte = 0;
    if (const ErrorCode e = readControlByte(0, byte); e != ERR_SUCCESS) return e;
    *mirroring = (byte & kMirrorBit) != 0 ? 1 : 0;
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::getStatus(uint8_t* status) {
    if (status == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    uint8_t byte = 0;
    // The request carries the caller's variable in and the control byte out.
    if (const ErrorCode e = readControlByte(*status, byte); e != ERR_SUCCESS) return e;
    *status = byte;
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::setActiveChannel(int32_t channel) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    uint8_t buffer[4];
    const uint32_t v = static_cast<uint32_t>(channel);
    for (int i = 0; i < 4; ++i) buffer[i] = static_cast<uint8_t>(v >> (8 * i));
    uint8_t out[4] = {};
    return control(kReqSetChannel, buffer, 4, out, 4);
}

ErrorCode Video_Imp::getActiveChannel(int32_t* channel) {
    if (channel == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (!control_) return ERR_OPEN_FAILED;
    uint8_t out[4] = {};
    uint32_t returned = 0;
    const ErrorCode e = control_->requestUnchecked(kReqGetChannel, nullptr, 0, out, 4, &returned);
    if (e == ERR_OPEN_FAILED) return e;
    // The count decides before the outcome.
    if (returned != 4) return ERR_BUFFER_SIZE;
    if (e != ERR_SUCCESS) return e;
    *channel = static_cast<int32_t>(out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24);
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::setColorKeys(uint8_t red, uint8_t green, uint8_t blue) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    const uint8_t in[3] = {red, green, blue};
    uint8_t out[3] = {};
    return control(kReqSetColorKeys, in, 3, out, 3);
}

ErrorCode Video_Imp::getColorKeys(uint8_t* red, uint8_t* green, uint8_t* blue) {
    if (red == nullptr || green == nullptr || blue == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    const uint8_t in[3] = {};
    uint8_t out[3] = {};
    if (const ErrorCode e = control(kReqGetColorKeys, in, 3, out, 3); e != ERR_SUCCESS) return e;
    *red = out[0];
    *green = out[1];
    *blue = out[2];
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::writeArea(const uint16_t area[4]) {
    uint8_t in[8];
    for (int i = 0; i < 4; ++i) putLe16(in + 2 * i, area[i]);
    uint8_t out[8] = {};
    return control(kReqSetArea, in, 8, out, 8);
}

ErrorCode Video_Imp::setVideoArea(uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    const uint16_t area[4] = {x1, y1, x2, y2};
    return writeArea(area);
}

ErrorCode Video_Imp::getVideoArea(uint16_t* x1, uint16_t* y1, uint16_t* x2, uint16_t* y2) {
    if (x1 == nullptr || y1 == nullptr || x2 == nullptr || y2 == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    const uint8_t in[8] = {};
    uint8_t out[8] = {};
    if (const ErrorCode e = control(kReqGetArea, in, 8, out, 8); e != ERR_SUCCESS) return e;
    *x1 = le16(out);
    *y1 = le16(out + 2);
    *x2 = le16(out + 4);
    *y2 = le16(out + 6);
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::minimize() {
    if (!supported_) return ERR_NOT_SUPPORTED;
    const uint8_t in[8] = {};
    uint8_t out[8] = {};
    if (const ErrorCode e = control(kReqGetArea, in, 8, out, 8); e != ERR_SUCCESS) return e;
    for (int i = 0; i < 4; ++i) savedArea_[i] = le16(out + 2 * i);
    const uint16_t zero[4] = {0, 0, 0, 0};
    return writeArea(zero);
}

ErrorCode Video_Imp::restore() {
    if (!supported_) return ERR_NOT_SUPPORTED;
    return writeArea(savedArea_);
}

ErrorCode Video_Imp::getRawImage(uint16_t* width, uint16_t* height, float* frameRate) {
    if (width == nullptr || height == nullptr || frameRate == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    uint8_t out[6] = {};
    if (const ErrorCode e = control(kReqRawImage, nullptr, 0, out, 6); e != ERR_SUCCESS) return e;
    *width = le16(out);
    *height = le16(out + 2);
    *frameRate = static_cast<float>(out[4]) * 0.25f; // units of a quarter hertz
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::setDecoderReg(uint8_t reg, uint8_t value) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    const uint8_t in[2] = {reg, value};
    uint8_t out[2] = {};
    return control(kReqSetDecoderReg, in, 2, out, 2);
}

ErrorCode Video_Imp::getDecoderReg(uint8_t reg, uint8_t* value) {
    if (value == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    const uint8_t in[2] = {reg, 0};
    uint8_t out[2] = {};
    if (const ErrorCode e = control(kReqGetDecoderReg, in, 2, out, 2); e != ERR_SUCCESS) return e;
    *value = out[1];
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::getVideoStandard(int32_t* standard) {
    if (standard == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t value = 0;
    if (const ErrorCode e = getDecoderReg(kStandardRegister, &value); e != ERR_SUCCESS) return e;
    *standard = (value >> 1) & 7;
    return ERR_SUCCESS;
}

int32_t Video_Imp::deInterlaceModeOr2() {
    int32_t mode = 2;
    if (getDeInterlaceMode(&mode) != ERR_SUCCESS) mode = 2;
    return mode;
}

ErrorCode Video_Imp::setScaling(float scaleX, float scaleY) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (!std::isfinite(scaleX) || !std::isfinite(scaleY)) return ERR_INVALID_DATA;
    const int32_t mode = deInterlaceModeOr2();
    if (fpgaVersion_ <= kOldScalingFpga) {
        // Older FPGA: the vertical factor always counts fields; both are capped at 2.
        scaleY *= 2.0f;
        if (scaleX > 2.0f) scaleX = 2.0f;
        if (scaleY > 2.0f) scaleY = 2.0f;
        if (scaleX < 0.25f || scaleY < 0.25f) return ERR_INVALID_DATA;
    } else {
        if (mode == 0 || mode == 1) scaleY *= 2.0f;
        if (!(scaleX >= 0.25f && scaleX <= 4.0f) || !(scaleY >= 0.25f && scaleY <= 4.0f))
            return ERR_INVALID_DATA;
    }
    const ScaleRegister r = encodeScaling(scaleX, scaleY);
    const uint8_t in[4] = {r.upX, r.upY, r.downX, r.downY};
    uint8_t out[4] = {};
    return control(kReqSetScaling, in, 4, out, 4);
}

ErrorCode Video_Imp::getScaling(float* scaleX, float* scaleY) {
    if (scaleX == nullptr || scaleY == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    const int32_t mode = deInterlaceModeOr2();
    const uint8_t in[4] = {};
    uint8_t out[4] = {};
    if (const ErrorCode e = control(kReqGetScaling, in, 4, out, 4); e != ERR_SUCCESS) return e;
    const float x = decodeScaleAxis(out[0], out[2]);
    float y = decodeScaleAxis(out[1], out[3]);
    if (fpgaVersion_ <= kOldScalingFpga || mode == 0 || mode == 1) y *= 0.5f;
    *scaleX = x;
    *scaleY = y < 0.125f ? 0.125f : y;
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::setCropping(uint8_t left, uint8_t top, uint8_t right, uint8_t bottom) {
    // Left and right go in steps of two pixels; every byte sent must stay within 0..127.
    const uint8_t in[4] = {static_cast<uint8_t>(left / 2), top, static_cast<uint8_t>(right / 2), bottom};
    for (uint8_t b : in)
        if (b > 127) return ERR_INVALID_DATA;
    if (!supported_) return ERR_NOT_SUPPORTED;
    return control(kReqSetCropping, in, 4, nullptr, 0);
}

ErrorCode Video_Imp::getCropping(uint8_t* left, uint8_t* top, uint8_t* right, uint8_t* bottom) {
    if (left == nullptr || top == nullptr || right == nullptr || bottom == nullptr) return ERR_INVALID_PARAMETER;
    if (!supported_) return ERR_NOT_SUPPORTED;
    uint8_t out[4] = {};
    if (const ErrorCode e = control(kReqGetCropping, nullptr, 0, out, 4); e != ERR_SUCCESS) return e;
    *left = static_cast<uint8_t>(out[0] * 2);
    *top = out[1];
    *right = static_cast<uint8_t>(out[2] * 2);
    *bottom = out[3];
    return ERR_SUCCESS;
}

ErrorCode Video_Imp::showFrame() { return ERR_NOT_SUPPORTED; }
ErrorCode Video_Imp::setRotation(int32_t) { return ERR_NOT_SUPPORTED; }
ErrorCode Video_Imp::getRotation(int32_t*) { return ERR_NOT_SUPPORTED; }

} // namespace tavik::video

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::Video;

TAVIK_API Video* TAVIK_CALL GetVideo(void) { return tavik::frame::createFresh<tavik::video::Video_Imp>(); }

TAVIK_API void TAVIK_CALL Video_release(Video* h) { tavik::frame::forwardRelease<Family::Video>(h); }

#define TAVIK_VIDEO_EXPORT(op, params, ...)                                                        \
    TAVIK_API ErrorCode TAVIK_CALL Video_##op params {                                              \
        return forward<Family::Video>(h, &Video::op, __VA_ARGS__);                                  \
    }

TAVIK_VIDEO_EXPORT(init, (Video* h, Varnholtstad::VideoDeviceNr n), n)
TAVIK_VIDEO_EXPORT(showVideo, (Video* h, bool show), show)
TAVIK_VIDEO_EXPORT(setDeInterlaceMode, (Video* h, int32_t mode), mode)
TAVIK_VIDEO_EXPORT(getDeInterlaceMode, (Video* h, int32_t* mode), mode)
TAVIK_VIDEO_EXPORT(setMirroring, (Video* h, int32_t m), m)
TAVIK_VIDEO_EXPORT(getMirroring, (Video* h, int32_t* m), m)
TAVIK_VIDEO_EXPORT(setActiveChannel, (Video* h, int32_t c), c)
TAVIK_VIDEO_EXPORT(getActiveChannel, (Video* h, int32_t* c), c)
TAVIK_VIDEO_EXPORT(setColorKeys, (Video* h, uint8_t r, uint8_t g, uint8_t b), r, g, b)
TAVIK_VIDEO_EXPORT(getColorKeys, (Video* h, uint8_t* r, uint8_t* g, uint8_t* b), r, g, b)
TAVIK_VIDEO_EXPORT(setVideoArea, (Video* h, uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2), x1, y1, x2, y2)
TAVIK_VIDEO_EXPORT(getVideoArea, (Video* h, uint16_t* x1, uint16_t* y1, uint16_t* x2, uint16_t* y2),
                   x1, y1, x2, y2)
TAVIK_VIDEO_EXPORT(getRawImage, (Video* h, uint16_t* w, uint16_t* ht, float* rate), w, ht, rate)
TAVIK_VIDEO_EXPORT(getVideoStandard, (Video* h, int32_t* s), s)
TAVIK_VIDEO_EXPORT(getStatus, (Video* h, uint8_t* s), s)
TAVIK_VIDEO_EXPORT(setScaling, (Video* h, float x, float y), x, y)
TAVIK_VIDEO_EXPORT(getScaling, (Video* h, float* x, float* y), x, y)
TAVIK_VIDEO_EXPORT(activateSnapshot, (Video* h, bool a), a)
TAVIK_VIDEO_EXPORT(takeSnapshot, (Video* h, const char* path, bool single), path, single)
TAVIK_VIDEO_EXPORT(takeSnapshotRaw, (Video* h, uint8_t* buffer, uint32_t size, bool single), buffer, size, single)
TAVIK_VIDEO_EXPORT(takeSnapshotBmp, (Video* h, uint8_t** bmp, uint32_t* size, bool single, bool order),
                   bmp, size, single, order)
TAVIK_VIDEO_EXPORT(createBitmap,
                   (Video* h, uint8_t** bmp, uint32_t* size, const uint8_t* raw, uint32_t rawSize, bool single,
                    bool order),
                   bmp, size, raw, rawSize, single, order)
TAVIK_VIDEO_EXPORT(freeBmpBuffer, (Video* h, uint8_t* bmp), bmp)
TAVIK_API ErrorCode TAVIK_CALL Video_minimize(Video* h) { return forward<Family::Video>(h, &Video::minimize); }
TAVIK_API ErrorCode TAVIK_CALL Video_restore(Video* h) { return forward<Family::Video>(h, &Video::restore); }
TAVIK_VIDEO_EXPORT(setDecoderReg, (Video* h, uint8_t reg, uint8_t value), reg, value)
TAVIK_VIDEO_EXPORT(getDecoderReg, (Video* h, uint8_t reg, uint8_t* value), reg, value)
TAVIK_VIDEO_EXPORT(setCropping, (Video* h, uint8_t l, uint8_t t, uint8_t r, uint8_t b), l, t, r, b)
TAVIK_VIDEO_EXPORT(getCropping, (Video* h, uint8_t* l, uint8_t* t, uint8_t* r, uint8_t* b), l, t, r, b)
TAVIK_API ErrorCode TAVIK_CALL Video_showFrame(Video* h) { return forward<Family::Video>(h, &Video::showFrame); }
TAVIK_VIDEO_EXPORT(setRotation, (Video* h, int32_t r), r)
TAVIK_VIDEO_EXPORT(getRotation, (Video* h, int32_t* r), r)
