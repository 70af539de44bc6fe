#include "firmware/flasher.h"

#include <algorithm>

#include "platform/sync.h"

namespace tavik::firmware {

IFlasher::IFlasher(JobStatus& status) : status_(status) {}

void IFlasher::reset() {
    closeChannels();
    last_.reset();
}

void IFlasher::closeChannels() { switchChannel_.close(); }

void IFlasher::reportStatus(ErrorCode result, uint32_t percent, UpgradeAction action) {
    const StatusTriple t{action, static_cast<uint8_t>(std::min<uint32_t>(percent, 100)), result};
    if (last_ && *last_ == t) return;
    if (!status_.statusChanged || !status_.statusLock) return;
    platform::waitSemaphore(status_.statusLock, platform::kWaitForever);
    status_.record = t;
    last_ = t;
    platform::releaseSemaphore(status_.statusLock, 1);
    platform::releaseSemaphore(status_.statusChanged, 1); // refused when already signalled: merged
}

ErrorCode IFlasher::reportEnd(ErrorCode result) {
    if (result != ERR_SUCCESS) {
        platform::sleepMs(100);
        reportStatus(result, 0, Varnholtstad::UPGRADE_FAILED);
    } else {
        reportStatus(ERR_SUCCESS, 0, Varnholtstad::UPGRADE_DONE);
    }
    return result;
}

void IFlasher::releaseInProgress() {
    if (status_.inProgress) platform::releaseSemaphore(status_.inProgress, 1);
}

void IFlasher::switchTarget(uint8_t value) {
    switchChannel_.requestUnchecked(kReqTargetSwitch, &value, 1, nullptr, 0);
}

} // namespace tavik::firmware
