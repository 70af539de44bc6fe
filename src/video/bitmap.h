// Raw capture frames to 24-bit bitmaps: a raw frame is a 256-byte header and one or two field
// blocks of 32-bit pixels (blue, green, red, unused); the bitmap is a file with the 12-byte core
// header, 24 bits per pixel, bottom-up rows padded to four bytes.
#pragma once

#include <cstdint>

#include "tavik2/error_code.h"

namespace tavik::video {

constexpr uint32_t kRawHeaderSize = 256;
constexpr uint32_t kBitmapHeaderSize = 26; // file header 14 + core header 12

// Where the lines of each field are and how big the bitmap is; made by planBitmap.
struct BitmapPlan {
    uint32_t width = 0;
    uint32_t evenLines = 0; // image lines 0, 2, 4, ...
    uint32_t oddLines = 0;  // image lines 1, 3, 5, ...
    uint32_t height = 0;
    uint32_t stride = 0; // bytes per bitmap row
    uint32_t size = 0;   // whole bitmap in bytes
    const uint8_t* even = nullptr;
    const uint8_t* odd = nullptr;
};

// Reads a raw frame's header and plans its bitmap. The first block holds the odd field when
// `fieldOrderFlag` is set, else the even one; the other field is the second block, or in single-field
// mode the first block again. ERR_BUFFER_SIZE when rawSize is below 256 or below what the header
// needs; ERR_INVALID_DATA when the even field does not have as many lines as the odd field or one
// more, or when the bitmap (or the data the header claims) could not be described in 32 bits and
// the core header's 16-bit width and height.
ErrorCode planBitmap(const uint8_t* raw, uint32_t rawSize, bool singleField, bool fieldOrderFlag,
                     BitmapPlan& plan);

// Ways of packing a row of 32-bit pixels into 24-bit ones; each gives the same bytes.
enum class RowPacker {
    Portable, // any CPU
    Ssse3,    // x86 with SSSE3, when the CPU has it
};
// Whether this build and CPU can use `packer`.
bool rowPackerAvailable(RowPacker packer);

// Writes the planned bitmap (plan.size bytes) to `out`, with the fastest packer available.
void writeBitmap(const BitmapPlan& plan, uint8_t* out);
// The same with the given packer (tests compare them); it must be available.
void writeBitmap(const BitmapPlan& plan, uint8_t* out, RowPacker packer);

} // namespace tavik::video
