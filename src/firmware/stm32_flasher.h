// The microcontroller flasher: programs and verifies the flash of the system supervisor or the
// front microcontroller through their serial bootloader, from an Intel HEX image.
#pragma once

#include <cstdint>

#include "firmware/flasher.h"
#include "firmware/image_readers.h"

namespace tavik::firmware {

// Target selector of the microcontroller flasher.
constexpr int32_t kTargetSystemSupervisor = 0;
constexpr int32_t kTargetFront = 1;

class Flasher_STM32 final : public IFlasher {
public:
    explicit Flasher_STM32(JobStatus& status) : IFlasher(status) {}

    ErrorCode run(int32_t mode) override;
    void reset() override;

    void setTarget(int32_t target) { target_ = target; }

private:
    int32_t target_ = kTargetSystemSupervisor;
    FirmwareImage image_;
};

} // namespace tavik::firmware
