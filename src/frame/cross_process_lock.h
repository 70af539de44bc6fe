// Named (or unnamed) semaphores with count 1 that every process and service may open.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sync.h"

namespace tavik::frame {

// Creates or opens the semaphore `name` (empty: unnamed) with initial and maximum count 1,
// an inheritable handle and a null access list. Invalid when it can be neither created nor opened.
platform::SemaphoreHandle createCrossProcessLock(const std::string& name);

// Holds one count of a cross-process lock for its scope. When the semaphore cannot be had,
// or the wait fails, the guarded work runs unlocked (held() is false).
class ScopedCrossProcessLock {
public:
    ScopedCrossProcessLock(const std::string& name, uint32_t timeoutMs = platform::kWaitForever);
    ~ScopedCrossProcessLock();
    ScopedCrossProcessLock(const ScopedCrossProcessLock&) = delete;
    ScopedCrossProcessLock& operator=(const ScopedCrossProcessLock&) = delete;

    bool held() const { return held_; }
    // True when the semaphore existed (or was created) but the wait timed out.
    bool timedOut() const { return timedOut_; }

private:
    platform::SemaphoreHandle semaphore_;
    bool held_ = false;
    bool timedOut_ = false;
};

} // namespace tavik::frame
