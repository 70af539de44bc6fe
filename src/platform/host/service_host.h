// The one platform service of a home. `tavikctl service run` and `tavikctl powermgr service` each
// play the unit's platform service; two of them on one home would both carry out every request.
// The process that runs it holds an open-file-description lock on <home>/sim/service.lock for its
// whole life; the kernel drops the lock when the process ends, however it ends. The file names the
// holder's process id while it runs and 0 after a clean stop, so that a holder that died (the
// lock free, its id still written) can be told from no service at all.
#pragma once

#include <cstdint>
#include <memory>

namespace tavik::platform::host {

class ServiceHostLock {
public:
    // Takes the home's service lock without waiting. Null when another process holds it; its
    // process id is then in `holder` (0 when it cannot be read yet). Throws std::runtime_error
    // when the lock file cannot be created.
    static std::unique_ptr<ServiceHostLock> acquire(uint32_t& holder);
    // Marks a clean stop (process id 0) and frees the lock.
    ~ServiceHostLock();

    ServiceHostLock(const ServiceHostLock&) = delete;
    ServiceHostLock& operator=(const ServiceHostLock&) = delete;

private:
    explicit ServiceHostLock(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace tavik::platform::host
