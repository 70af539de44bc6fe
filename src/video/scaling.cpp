#include "video/scaling.h"

namespace tavik::video {
namespace {

// Every intermediate is rounded to a 32-bit float, as the driver's step tables assume.
float reciprocal(float s) {
    volatile float r = 1.0f / s;
    return r;
}

void encodeAxis(float s, uint8_t& up, uint8_t& down) {
    up = kNoUpscale;
    down = kNoDownscale;
    if (s > 1.0f) {
        up = static_cast<uint8_t>(static_cast<int32_t>(reciprocal(s) * 128.0f));
    } else if (s > 0.25f) {
        down = static_cast<uint8_t>(static_cast<int32_t>(reciprocal(s) * 64.0f));
    } else {
        down = 255; // 64 / 0.25 = 256 does not fit the byte
    }
}

} // namespace

ScaleRegister encodeScaling(float scaleX, float scaleY) {
    ScaleRegister r;
    encodeAxis(scaleX, r.upX, r.downX);
    encodeAxis(scaleY, r.upY, r.downY);
    return r;
}

float decodeScaleAxis(uint8_t up, uint8_t down) {
    volatile float step = up == kNoUpscale ? static_cast<float>(down) * 0.015625f
                                           : static_cast<float>(up) * 0.0078125f;
    return reciprocal(step);
}

} // namespace tavik::video
