#include "video/bitmap.h"

#include <cstring>

// The SSSE3 row packer: x86 compilers that take per-function target attributes; chosen at run time.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define TAVIK_BITMAP_SSSE3 1
#include <tmmintrin.h>
#else
#define TAVIK_BITMAP_SSSE3 0
#endif

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

uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// The pixels from `x` on, one at a time.
void copyPixels(const uint8_t* src, uint32_t x, uint32_t width, uint8_t* dst) {
    for (src += 4 * x, dst += 3 * x; x < width; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
    }
}

// Portable: eight pixels at a time as four 64-bit words in, three out. Each word's two pixels are
// packed into its low six bytes, then the packed words are laid end to end.
void packRowPortable(const uint8_t* src, uint32_t width, uint8_t* dst) {
    uint32_t x = 0;
    if (kLittleEndian) {
        for (; x + 8 <= width; x += 8) {
            const uint8_t* s = src + 4 * x;
            uint64_t c[4];
            for (int i = 0; i < 4; ++i) {
                const uint64_t w = load64(s + 8 * i);
                c[i] = (w & 0xFFFFFFu) | (w >> 8 & 0xFFFFFF000000u);
            }
            uint8_t* d = dst + 3 * x;
            store64(d, c[0] | c[1] << 48);
            store64(d + 8, c[1] >> 16 | c[2] << 32);
            store64(d + 16, c[2] >> 32 | c[3] << 16);
        }
    }
    copyPixels(src, x, width, dst);
}

#if TAVIK_BITMAP_SSSE3
// SSSE3: sixteen pixels at a time; one byte shuffle per four pixels drops the unused bytes, three
// stores of sixteen bytes write the 48 bytes out.
__attribute__((target("ssse3"))) void packRowSsse3(const uint8_t* src, uint32_t width, uint8_t* dst) {
    const __m128i drop = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    uint32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const auto* s = reinterpret_cast<const __m128i*>(src + 4 * x);
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(s), drop);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(s + 1), drop);
        const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(s + 2), drop);
        const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(s + 3), drop);
        auto* o = reinterpret_cast<__m128i*>(dst + 3 * x);
        _mm_storeu_si128(o, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(o + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(o + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    packRowPortable(src + 4 * x, width - x, dst + 3 * x);
}

bool cpuHasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}
#endif

using PackRow = void (*)(const uint8_t* src, uint32_t width, uint8_t* dst);

PackRow packRowOf(RowPacker packer) {
#if TAVIK_BITMAP_SSSE3
    if (packer == RowPacker::Ssse3) return packRowSsse3;
#endif
    (void)packer;
    return packRowPortable;
}

} // namespace

bool rowPackerAvailable(RowPacker packer) {
    switch (packer) {
    case RowPacker::Portable: return true;
    case RowPacker::Ssse3:
#if TAVIK_BITMAP_SSSE3
    {
        static const bool has = cpuHasSsse3();
        return has;
    }
#else
        return false;
#endif
    }
    return false;
}

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
    static const RowPacker best = rowPackerAvailable(RowPacker::Ssse3) ? RowPacker::Ssse3 : RowPacker::Portable;
    writeBitmap(plan, out, best);
}

void writeBitmap(const BitmapPlan& plan, uint8_t* out, RowPacker packer) {
    const PackRow packRow = packRowOf(packer);
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
    const uint32_t pad = plan.stride - 3 * plan.width;
    auto put = [&](const uint8_t* block, uint32_t line) {
        packRow(block + line * lineBytes, plan.width, row);
        if (pad > 0) std::memset(row + 3 * plan.width, 0, pad);
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
