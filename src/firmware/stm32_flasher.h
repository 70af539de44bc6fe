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
    // Switches the target into its bootloader and routes the serial line to it.
    ErrorCode enterBootloader();
    // Request 0x944 with a routing; refused without a request when there is no such routing.
    ErrorCode routeSerial(uint8_t route);

    int32_t target_ = kTargetSystemSupervisor;
    FirmwareImage image_;
    bool frontSwitched_ = false; // the front must be switched back
    bool serialRouted_ = false;  // the serial routing must be reset
};

} // namespace tavik::firmware
