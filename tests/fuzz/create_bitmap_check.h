// The property the createBitmap fuzz target checks, shared with the suite that replays its corpus.
// Input: byte 0 holds the flags (bit 0 single field, bit 1 field order), the rest is the raw frame.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "video/bitmap.h"

namespace tavik::fuzz {

// False when the conversion broke a rule; memory errors are left to the sanitizers.
inline bool checkCreateBitmap(const uint8_t* data, size_t size) {
    if (size < 1 || size - 1 > UINT32_MAX) return true;
    const bool single = (data[0] & 1) != 0, order = (data[0] & 2) != 0;
    // A copy of exactly the raw size, so that reading past it is caught.
    const std::vector<uint8_t> raw(data + 1, data + size);
    const uint32_t rawSize = static_cast<uint32_t>(raw.size());
    video::BitmapPlan plan;
    const ErrorCode e = video::planBitmap(raw.data(), rawSize, single, order, plan);
    if (e == ERR_BUFFER_SIZE || e == ERR_INVALID_DATA) return true;
    if (e != ERR_SUCCESS) return false;

    // The plan must stay within the raw data and describe a consistent bitmap.
    const uint64_t lineBytes = 4ull * plan.width;
    const uint8_t* end = raw.data() + raw.size();
    auto within = [&](const uint8_t* block, uint32_t lines) {
        return block >= raw.data() + 256 && static_cast<uint64_t>(end - block) >= lineBytes * lines;
    };
    if (!within(plan.even, plan.evenLines) || !within(plan.odd, plan.oddLines)) return false;
    if (plan.evenLines != plan.oddLines && plan.evenLines != plan.oddLines + 1) return false;
    if (plan.height != plan.evenLines + plan.oddLines || plan.height > 0xFFFF || plan.width > 0xFFFF) return false;
    if (plan.stride % 4 != 0 || plan.stride < 3ull * plan.width || plan.stride > 3ull * plan.width + 3) return false;
    if (plan.size != 26ull + static_cast<uint64_t>(plan.height) * plan.stride) return false;
    // Keep the fuzzer fast: large pictures are only planned.
    if (plan.size > (16u << 20)) return true;

    std::vector<uint8_t> bmp(plan.size);
    video::writeBitmap(plan, bmp.data());
    uint32_t stored = 0;
    std::memcpy(&stored, bmp.data() + 2, 4);
    if (bmp[0] != 'B' || bmp[1] != 'M' || stored != plan.size) return false;
    if ((bmp[18] | bmp[19] << 8) != static_cast<int>(plan.width) || (bmp[20] | bmp[21] << 8) != static_cast<int>(plan.height))
        return false;
    // The top row of the picture (last in the file) is line 0 of the even field.
    if (plan.height > 0 && plan.width > 0) {
        const uint8_t* top = bmp.data() + 26 + static_cast<size_t>(plan.height - 1) * plan.stride;
        if (std::memcmp(top, plan.even, 3) != 0) return false;
    }
    return true;
}

} // namespace tavik::fuzz
