#include "frame/cross_process_lock.h"

namespace tavik::frame {

platform::SemaphoreHandle createCrossProcessLock(const std::string& name) {
    return platform::createSemaphore(name, 1, 1);
}

ScopedCrossProcessLock::ScopedCrossProcessLock(const std::string& name, uint32_t timeoutMs)
    : semaphore_(createCrossProcessLock(name)) {
    if (!semaphore_) return;
    const platform::WaitResult r = platform::waitSemaphore(semaphore_, timeoutMs);
    held_ = r == platform::WaitResult::Signaled;
    timedOut_ = r == platform::WaitResult::Timeout;
}

ScopedCrossProcessLock::~ScopedCrossProcessLock() {
    if (held_) platform::releaseSemaphore(semaphore_, 1);
    if (semaphore_) platform::closeSemaphore(semaphore_);
}

} // namespace tavik::frame
