#include "video/bitmap.h"

#include <cstring>

namespace tavik::video {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;
constexpr uint32_t kMax16 = 0xFFFFu;

// Both targets (x86 Windows, the Linux host) are little-endian; others take the byte loop.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndian = true;
#else
constexpr bool kLittleEndian = false;
#endif

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

// Bytes of a field block of `lines` lines of `width` pixels; false when beyond 32 bits.
bool blockBytes(uint32_t width, uint32_t lines, uint64_t& bytes) {
    const uint64_t pixels = static_cast<uint64_t>(width) * lines; // at most (2^32 - 1)^2
    if (pixels > kMax32 / 4) return false;
    bytes = pixels * 4;
    return true;
}

uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// One bitmap row: blue, green, red of each 32-bit pixel, then zeros up to the stride.
void writeRow(const uint8_t* src, uint32_t width, uint32_t stride, uint8_t* dst) {
    uint32_t x = 0;
    if (kLittleEndian) {
        // Four pixels at a time: 16 bytes in, 12 out, the unused bytes shifted away.
        for (; x + 4 <= width; x += 4, src += 16, dst += 12) {
            const uint32_t p0 = load32(src), p1 = load32(src + 4), p2 = load32(src + 8), p3 = load32(src + 12);
            store32(dst, (p0 & 0xFFFFFFu) | p1 << 24);
            store32(dst + 4, (p1 >> 8 & 0xFFFFu) | p2 << 16);
            store32(dst + 8, (p2 >> 16 & 0xFFu) | p3 << 8);
        }
    }
    for (; x < width; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
    }
    const uint32_t pad = stride - 3 * width;
    if (pad > 0) std::memset(dst, 0, pad);
}

} // namespace

ErrorCode planBitmap(const uint8_t* raw, uint32_t rawSize, bool singleField, bool fieldOrderFlag,
                     BitmapPlan& plan) {
    if (rawSize < kRawHeaderSize) return ERR_BUFFER_SIZE;
    const uint32_t width = le32(raw + 4);
    const uint32_t secondLines = le32(raw + 8);
    const uint32_t firstLines = le32(raw + 12);

    // The data the header claims, computed without wrapping.
    uint64_t firstBytes = 0, secondBytes = 0;
    if (!blockBytes(width, firstLines, firstBytes)) return ERR_INVALID_DATA;
    if (!singleField && !blockBytes(width, secondLines, secondBytes)) return ERR_INVALID_DATA;
    const uint64_t needed = kRawHeaderSize + firstBytes + secondBytes;
    if (needed > kMax32) return ERR_INVALID_DATA;
    if (rawSize < needed) return ERR_BUFFER_SIZE;

    const uint8_t* first = raw + kRawHeaderSize;
    const uint8_t* other = singleField ? first : first + firstBytes;
    const uint32_t otherLines = singleField ? firstLines : secondLines;
    // Line counts are 16-bit values of the bitmap.
    const uint32_t firstCount = firstLines & kMax16;
    const uint32_t otherCount = otherLines & kMax16;
    plan.even = fieldOrderFlag ? other : first;
    plan.odd = fieldOrderFlag ? first : other;
    plan.evenLines = fieldOrderFlag ? otherCount : firstCount;
    plan.oddLines = fieldOrderFlag ? firstCount : otherCount;
    if (plan.evenLines != plan.oddLines && plan.evenLines != plan.oddLines + 1) return ERR_INVALID_DATA;

    plan.width = width;
    plan.height = plan.evenLines + plan.oddLines;
    // The core header holds width and height in 16 bits; larger pictures cannot be described.
    if (width > kMax16 || plan.height > kMax16) return ERR_INVALID_DATA;
    plan.stride = (3 * width + 3) & ~3u;
    const uint64_t size = kBitmapHeaderSize + static_cast<uint64_t>(plan.height) * plan.stride;
    if (size > kMax32) return ERR_INVALID_DATA;
    plan.size = static_cast<uint32_t>(size);
    return ERR_SUCCESS;
}

void writeBitmap(const BitmapPlan& plan, uint8_t* out) {
    put16(out + 0, 0x4D42); // "BM"
    put32(out + 2, plan.size);
    put16(out + 6, 0);
    put16(out + 8, 0);
    put32(out + 10, kBitmapHeaderSize);
    put32(out + 14, 12); // core header size
    put16(out + 18, plan.width);
    put16(out + 20, plan.height);
    put16(out + 22, 1);  // planes
    put16(out + 24, 24); // bits per pixel

    const size_t lineBytes = static_cast<size_t>(plan.width) * 4;
    uint8_t* row = out + kBitmapHeaderSize;
    auto put = [&](const uint8_t* block, uint32_t line) {
        writeRow(block + line * lineBytes, plan.width, plan.stride, row);
        row += plan.stride;
    };
    // Bottom row first: the extra even line, then odd and even lines pair by pair upwards.
    if (plan.evenLines == plan.oddLines + 1) put(plan.even, plan.evenLines - 1);
    for (uint32_t n = plan.height / 2; n-- > 0;) {
        put(plan.odd, n);
        put(plan.even, n);
    }
}

} // namespace tavik::video
