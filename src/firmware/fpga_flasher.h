// The FPGA flasher: writes a configuration image into the FPGA's configuration memory and reads
// it back for comparison, all through driver requests. The driver moves blocks of up to 528
// bytes and keeps the memory position; the flasher continues from the position it reports.
#pragma once

#include <cstdint>
#include <vector>

#include "firmware/flasher.h"

namespace tavik::firmware {

constexpr uint32_t kReqFpgaInterface = frame::requestCode(0x93F); // 1 byte out: 0 = ready
constexpr uint32_t kReqFpgaProgram = frame::requestCode(0x940);   // 536 in, 4 out: position after
constexpr uint32_t kReqFpgaReadBack = frame::requestCode(0x941);  // 536 in, 536 out

// Values of request 0x942 around FPGA programming.
constexpr uint8_t kSwitchFpgaProgramming = 0x0F;
constexpr uint8_t kSwitchNormal = 0xC3;

// The 536-byte block of requests 0x940 and 0x941 (little-endian fields).
constexpr uint32_t kFpgaBlockBytes = 528;
constexpr uint32_t kFpgaRequestBytes = 536;
struct FpgaBlock {
    uint16_t length = 0;   // offset 0: bytes meant (written, asked for, or read; 0 = read failed)
    uint32_t position = 0; // offset 4: memory position
    uint8_t data[kFpgaBlockBytes] = {};

    void encode(uint8_t (&out)[kFpgaRequestBytes]) const;
    static FpgaBlock decode(const uint8_t (&in)[kFpgaRequestBytes]);
};

class Flasher_FPGA final : public IFlasher {
public:
    explicit Flasher_FPGA(JobStatus& status) : IFlasher(status) {}

    ErrorCode run(int32_t mode) override;
    void reset() override;

private:
    ErrorCode checkInterface();
    ErrorCode programBlocks();
    ErrorCode verifyBlocks();

    std::vector<uint8_t> image_;
    std::vector<uint8_t> readBack_;
    frame::DriverChannel programming_; // opened at the start of each job, closed at its end
};

} // namespace tavik::firmware
