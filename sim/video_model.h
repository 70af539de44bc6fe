// The simulated video inputs: control devices, decoder and capture devices (see video_model.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::sim {

constexpr int kVideoInputs = 2;

// "\\.\QXVideoPCIDrv\Video1", or "...\Video1_Int" for the single-field device.
std::string videoCaptureDevice(int input, bool singleField);

// The blob that holds the frame a user gave for an input (model "video", source "file").
std::string videoFrameBlob(int input);

// A raw frame of the test picture: the 256-byte header, then one field block (single field) or
// two, of 32-bit pixels; colour bars with a box that moves with the frame number.
std::vector<uint8_t> renderTestFrame(uint32_t width, uint32_t height, int standard, uint32_t frameNumber,
                                     bool singleField);

} // namespace tavik::sim
