/// \file
/// Video inputs: device selection, showing the picture in a window area over the key colour,
/// de-interlacing, mirroring, scaling, cropping, decoder registers, and snapshots as raw frames or
/// 24-bit bitmaps. Call init first.
///
/// Shared by every function here: ERR_NOT_SUPPORTED when video is not fitted; null out-pointers give
/// ERR_INVALID_PARAMETER (before the fitted check). Requests to the video device give ERR_OPEN_FAILED
/// (init not called, or the device could not be opened) or ERR_IOCTRL_FAILED, called "device codes" below.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
namespace Varnholtstad {

// Video device number given to Video_init: 1 or 2.
typedef uint8_t VideoDeviceNr;

// Raw buffer sizes that hold one frame of two fields or one single field.
constexpr uint32_t RAW_FRAME_BUFFER_SIZE = 2048000;
constexpr uint32_t RAW_FIELD_BUFFER_SIZE = 1024000;

// Head of a raw frame read from the capture driver (little-endian). Pixel data follows at offset 256:
// the first field block (firstBlockLines lines), then the second (absent in a single field); each line
// holds width pixels of 4 bytes: blue, green, red, unused.
struct RawFrameHeader {
    uint32_t reserved0;
    uint32_t width;            // pixels per line
    uint32_t secondBlockLines; // line count of the second field block
    uint32_t firstBlockLines;  // line count of the first field block
    uint8_t reserved[240];
};
static_assert(sizeof(RawFrameHeader) == 256, "RawFrameHeader is 256 bytes");

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct Video {
    virtual ErrorCode init(VideoDeviceNr deviceNr) = 0;
    virtual ErrorCode showVideo(bool show) = 0;
    virtual ErrorCode setDeInterlaceMode(int32_t mode) = 0;
    virtual ErrorCode getDeInterlaceMode(int32_t* mode) = 0;
    virtual ErrorCode setMirroring(int32_t mirroring) = 0;
    virtual ErrorCode getMirroring(int32_t* mirroring) = 0;
    virtual ErrorCode setActiveChannel(int32_t channel) = 0;
    virtual ErrorCode getActiveChannel(int32_t* channel) = 0;
    virtual ErrorCode setColorKeys(uint8_t redKey, uint8_t greenKey, uint8_t blueKey) = 0;
    virtual ErrorCode getColorKeys(uint8_t* redKey, uint8_t* greenKey, uint8_t* blueKey) = 0;
    virtual ErrorCode setVideoArea(uint16_t topLeftX, uint16_t topLeftY, uint16_t bottomRightX,
        uint16_t bottomRightY) = 0;
    virtual ErrorCode getVideoArea(uint16_t* topLeftX, uint16_t* topLeftY, uint16_t* bottomRightX,
        uint16_t* bottomRightY) = 0;
    virtual ErrorCode getRawImage(uint16_t* width, uint16_t* height, float* frameRate) = 0;
    virtual ErrorCode getVideoStandard(int32_t* standard) = 0;
    virtual ErrorCode getStatus(uint8_t* status) = 0;
    virtual ErrorCode setScaling(float scaleX, float scaleY) = 0;
    virtual ErrorCode getScaling(float* scaleX, float* scaleY) = 0;
    virtual ErrorCode activateSnapshot(bool activate) = 0;
    virtual ErrorCode takeSnapshot(const char* path, bool singleField) = 0;
    virtual ErrorCode takeSnapshotRaw(uint8_t* buffer, uint32_t size, bool singleField) = 0;
    virtual ErrorCode takeSnapshotBmp(uint8_t** bmpBuffer, uint32_t* bmpSize, bool singleField,
        bool fieldOrderFlag) = 0;
    virtual ErrorCode createBitmap(uint8_t** bmpBuffer, uint32_t* bmpSize, const uint8_t* rawData,
        uint32_t rawSize, bool singleField, bool fieldOrderFlag) = 0;
    virtual ErrorCode freeBmpBuffer(uint8_t* bmpBuffer) = 0;
    virtual ErrorCode minimize() = 0;
    virtual ErrorCode restore() = 0;
    virtual ErrorCode setDecoderReg(uint8_t reg, uint8_t value) = 0;
    virtual ErrorCode getDecoderReg(uint8_t reg, uint8_t* value) = 0;
    virtual ErrorCode setCropping(uint8_t cropLeft, uint8_t cropTop, uint8_t cropRight,
        uint8_t cropBottom) = 0;
    virtual ErrorCode getCropping(uint8_t* cropLeft, uint8_t* cropTop, uint8_t* cropRight,
        uint8_t* cropBottom) = 0;
    virtual void release() = 0;
    virtual ErrorCode showFrame() = 0;
    virtual ErrorCode setRotation(int32_t rotation) = 0;
    virtual ErrorCode getRotation(int32_t* rotation) = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::Video Tavik2Video;
typedef Varnholtstad::RawFrameHeader Tavik2RawFrameHeader;
// The constants also without the namespace, spelled as in C.
using Varnholtstad::RAW_FRAME_BUFFER_SIZE;
using Varnholtstad::RAW_FIELD_BUFFER_SIZE;
typedef Varnholtstad::VideoDeviceNr Tavik2VideoDeviceNr;
#else
/// Handle of a Video object (Varnholtstad::Video in C++).
typedef struct Tavik2Video Tavik2Video;
/// Video device number given to Video_init: 1 or 2 (Varnholtstad::VideoDeviceNr in C++).
typedef uint8_t Tavik2VideoDeviceNr;
/// Raw buffer sizes that hold one frame of two fields or one single field.
enum {
    RAW_FRAME_BUFFER_SIZE = 2048000, ///< One frame of two fields.
    RAW_FIELD_BUFFER_SIZE = 1024000  ///< One single field.
};
/// Head of a raw frame read from the capture driver, little-endian (Varnholtstad::RawFrameHeader in C++).
/// Pixel data follows at offset 256: the first field block (firstBlockLines lines), then the second
/// (absent in a single field); each line holds width pixels of 4 bytes: blue, green, red, unused.
typedef struct Tavik2RawFrameHeader {
    uint32_t reserved0;        ///< Not used.
    uint32_t width;            ///< Pixels per line.
    uint32_t secondBlockLines; ///< Line count of the second field block.
    uint32_t firstBlockLines;  ///< Line count of the first field block.
    uint8_t reserved[240];     ///< Not used.
} Tavik2RawFrameHeader;
TAVIK_LAYOUT_CHECK(sizeof(Tavik2RawFrameHeader) == 256, raw_frame_header_size);
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2Video* TAVIK_CALL GetVideo(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL Video_release(Tavik2Video* handle);

/// Opens video device 1 or 2 and resets it (de-interlace mode 2, mirroring off); closes the devices
/// opened before.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (other device number), ERR_OPEN_FAILED,
/// ERR_IOCTRL_FAILED (the reset failed).
TAVIK_API ErrorCode TAVIK_CALL Video_init(Tavik2Video* handle, Tavik2VideoDeviceNr deviceNr);

/// Shows or hides the picture.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_showVideo(Tavik2Video* handle, bool show);

/// De-interlace mode 0..2.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_INVALID_PARAMETER (out of range), device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_setDeInterlaceMode(Tavik2Video* handle, int32_t mode);

/// De-interlace mode 0..2.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes, ERR_INVALID_DATA (mode 3
/// read).
TAVIK_API ErrorCode TAVIK_CALL Video_getDeInterlaceMode(Tavik2Video* handle, int32_t* mode);

/// Mirroring: 0 off, any other value on.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_setMirroring(Tavik2Video* handle, int32_t mirroring);

/// Mirroring: 0 off, 1 on.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getMirroring(Tavik2Video* handle, int32_t* mirroring);

/// Selects the decoder's input channel (passed through).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_setActiveChannel(Tavik2Video* handle, int32_t channel);

/// The decoder's input channel.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes, ERR_BUFFER_SIZE (reply of
/// the wrong size).
TAVIK_API ErrorCode TAVIK_CALL Video_getActiveChannel(Tavik2Video* handle, int32_t* channel);

/// Key colour over which the picture shows.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_setColorKeys(Tavik2Video* handle, uint8_t redKey,
    uint8_t greenKey, uint8_t blueKey);

/// Key colour.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getColorKeys(Tavik2Video* handle, uint8_t* redKey,
    uint8_t* greenKey, uint8_t* blueKey);

/// Window area of the picture on the display, pixels.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_setVideoArea(Tavik2Video* handle, uint16_t topLeftX,
    uint16_t topLeftY, uint16_t bottomRightX, uint16_t bottomRightY);

/// Window area of the picture on the display, pixels.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getVideoArea(Tavik2Video* handle, uint16_t* topLeftX,
    uint16_t* topLeftY, uint16_t* bottomRightX, uint16_t* bottomRightY);

/// Size of the incoming (unscaled) image and its frame rate in hertz.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getRawImage(Tavik2Video* handle, uint16_t* width,
    uint16_t* height, float* frameRate);

/// Detected video standard 0..7, as the decoder reports it.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getVideoStandard(Tavik2Video* handle, int32_t* standard);

/// Control byte: bit 0 shown, bits 1..2 de-interlace mode, bit 3 mirroring. *status is also
/// read: its value goes out with the request.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getStatus(Tavik2Video* handle, uint8_t* status);

/// Scale factors; range 0.25..4.0 (older FPGA: clamped to 2.0).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes, ERR_INVALID_DATA (out of range, NaN or infinite).
TAVIK_API ErrorCode TAVIK_CALL Video_setScaling(Tavik2Video* handle, float scaleX, float scaleY);

/// Scale factors.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getScaling(Tavik2Video* handle, float* scaleX, float* scaleY);

/// Switches frame capture on or off.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_OPEN_FAILED (no init, or no capture device),
/// ERR_NEWER_FPGA_VERSION_REQUIRED (no capture device on an older FPGA), ERR_IOCTRL_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Video_activateSnapshot(Tavik2Video* handle, bool activate);

/// Captures a frame and writes it as a bitmap file at path (replaced if present; removed again
/// when writing fails).
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null path), ERR_NOT_SUPPORTED, the codes of
/// Video_getVideoStandard and Video_takeSnapshotBmp, ERR_OPEN_FAILED (file cannot be created),
/// ERR_DEVICE_WRITE_DATA_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Video_takeSnapshot(Tavik2Video* handle, const char* path,
    bool singleField);

/// Reads one raw frame (or single field), at most size bytes, into buffer; it starts with a
/// Tavik2RawFrameHeader. Bytes the device does not deliver are zeroed.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null buffer), ERR_BUFFER_SIZE (size 0), ERR_NOT_SUPPORTED,
/// ERR_OPEN_FAILED or ERR_NEWER_FPGA_VERSION_REQUIRED (no capture device), ERR_DEVICE_READ_DATA_FAILED.
TAVIK_API ErrorCode TAVIK_CALL Video_takeSnapshotRaw(Tavik2Video* handle, uint8_t* buffer,
    uint32_t size, bool singleField);

/// Captures a frame as a bitmap; free *bmpBuffer with Video_freeBmpBuffer.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, ERR_MEMORY_ALLOCATION, the codes of Video_takeSnapshotRaw and
/// Video_createBitmap (also ERR_INVALID_PARAMETER for a null bmpBuffer or bmpSize).
TAVIK_API ErrorCode TAVIK_CALL Video_takeSnapshotBmp(Tavik2Video* handle, uint8_t** bmpBuffer,
    uint32_t* bmpSize, bool singleField, bool fieldOrderFlag);

/// Converts a raw frame into a bitmap; free *bmpBuffer with Video_freeBmpBuffer. Out of memory:
/// *bmpSize set, *bmpBuffer null.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null pointer), ERR_NOT_SUPPORTED, ERR_BUFFER_SIZE (rawSize
/// shorter than the header or the lines it announces), ERR_INVALID_DATA (header sizes impossible),
/// ERR_MEMORY_ALLOCATION.
TAVIK_API ErrorCode TAVIK_CALL Video_createBitmap(Tavik2Video* handle, uint8_t** bmpBuffer,
    uint32_t* bmpSize, const uint8_t* rawData, uint32_t rawSize, bool singleField, bool fieldOrderFlag);

/// Frees a bitmap buffer of this library.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null bmpBuffer).
TAVIK_API ErrorCode TAVIK_CALL Video_freeBmpBuffer(Tavik2Video* handle, uint8_t* bmpBuffer);

/// Remembers the window area and shrinks it to zero.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_minimize(Tavik2Video* handle);

/// Sets the window area remembered by minimize (all zero before any minimize).
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_restore(Tavik2Video* handle);

/// Writes one register of the video decoder.
/// \return ERR_SUCCESS, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_setDecoderReg(Tavik2Video* handle, uint8_t reg, uint8_t value);

/// Reads one register of the video decoder.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getDecoderReg(Tavik2Video* handle, uint8_t reg, uint8_t* value);

/// Cropping margins in pixels (left and right in steps of two, at most 255; top and bottom at
/// most 127).
/// \return ERR_SUCCESS, ERR_INVALID_DATA (out of range), ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_setCropping(Tavik2Video* handle, uint8_t cropLeft,
    uint8_t cropTop, uint8_t cropRight, uint8_t cropBottom);

/// Cropping margins in pixels.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER, ERR_NOT_SUPPORTED, device codes.
TAVIK_API ErrorCode TAVIK_CALL Video_getCropping(Tavik2Video* handle, uint8_t* cropLeft,
    uint8_t* cropTop, uint8_t* cropRight, uint8_t* cropBottom);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always.
TAVIK_API ErrorCode TAVIK_CALL Video_showFrame(Tavik2Video* handle);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always.
TAVIK_API ErrorCode TAVIK_CALL Video_setRotation(Tavik2Video* handle, int32_t rotation);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always; writes nothing.
TAVIK_API ErrorCode TAVIK_CALL Video_getRotation(Tavik2Video* handle, int32_t* rotation);
