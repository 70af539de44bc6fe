#include "firmware/stm32_flasher.h"

namespace tavik::firmware {

void Flasher_STM32::reset() {
    IFlasher::reset();
    image_ = FirmwareImage{};
}

// run() and the serial steps: serial_flasher.cpp.

} // namespace tavik::firmware
