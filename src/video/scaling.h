// The driver's scale register: per axis an upscale step U (128: none) and a downscale step D
// (64: none). Byte 0 horizontal U, byte 1 vertical U, byte 2 horizontal D, byte 3 vertical D.
#pragma once

#include <cstdint>

namespace tavik::video {

struct ScaleRegister {
    uint8_t upX = 128, upY = 128, downX = 64, downY = 64;
};

constexpr uint8_t kNoUpscale = 128;
constexpr uint8_t kNoDownscale = 64;

// Encodes two factors already checked to lie within 0.25..4.0. A factor of at most 0.25 takes
// D = 255, the nearest step to 256 that fits the byte.
ScaleRegister encodeScaling(float scaleX, float scaleY);

// The factor one axis's steps stand for: 64 / D without upscaling, else 128 / U.
float decodeScaleAxis(uint8_t up, uint8_t down);

} // namespace tavik::video
