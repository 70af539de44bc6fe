// Parts of the panel that the unit shows only indirectly: a video input's current frame as a small
// picture, the supply measurements in volts, and the progress of a firmware job as the unit's
// models and request log reveal it. Read-only except setSupply, which goes through the model.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavikctl::panel_parts {

using json = nlohmann::json;

// The current frame of video input 1 or 2 as a 24-bit BMP at most `maxWidth` pixels wide: the
// test picture at the input's frame number, or the frame the user gave. Empty `bmp` and the
// reason in `noSignal` when the input delivers no picture.
struct Thumbnail {
    std::vector<uint8_t> bmp;
    std::string noSignal;
};
Thumbnail videoThumbnail(int input, uint32_t maxWidth);

// The measured supply voltages: per selector its reading in volts, the step of one count and the
// converter's full scale, in volts.
json supplyVoltages();
// {"selector": S, "volts": V}: the reading for V volts stored through the model's validation
// (throws simops::Refused or std::invalid_argument). Returns the reading as stored.
json setSupply(const json& body);

// The newest firmware job on the unit, followed through the request log: its target ("fpga",
// "ss", "front"), step ("preparing", "erasing", "programming", "verifying", "done", "failed"),
// bytes programmed and checked, and the percentage where the unit can tell it (the verification
// against what was programmed; programming shows bytes only, the image's size being known only to
// the program that runs the job). `running`: the FPGA's programming path is open or a
// microcontroller is in its bootloader.
class FirmwareTracker {
public:
    json state();

private:
    struct Job {
        std::string target, step;
        uint64_t programmed = 0; // highest programmed end, bytes from the memory's start
        uint64_t checked = 0;    // read back so far
        bool failed = false;
        uint64_t lastSeq = 0; // the newest log entry of the job, with its target and code
        std::string lastTarget;
        uint32_t lastCode = 0;
    };
    void follow(const json& bootloader, bool running);

    std::mutex mutex_;
    uint64_t seen_ = 0;
    Job job_;
};

} // namespace tavikctl::panel_parts
