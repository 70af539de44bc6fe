#include "firmware/stm32_flasher.h"

namespace tavik::firmware {

void Flasher_STM32::reset() {
    IFlasher::reset();
    image_ = FirmwareImage{};
}

// The serial bootloader transport (target switching, connection, erase, write, read-back) is
// not built yet: a job ends at once as not supported, with its final report and the
// in-progress lock given back like any other job.
ErrorCode Flasher_STM32::run(int32_t mode) {
    const ErrorCode e = reportEnd(ERR_NOT_SUPPORTED);
    closeChannels();
    releaseInProgress();
    return e;
}

} // namespace tavik::firmware
