// Semaphores and threads of the host build: named semaphores are the robust locks of the home
// (platform/host/named_locks.h), unnamed ones POSIX semaphores in process memory, std::thread
// for threads.
#include "platform/sync.h"

#include <fcntl.h>
#include <semaphore.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "platform/host/named_locks.h"
#include "platform/host/time_scale.h"

namespace tavik::platform {
namespace host {
namespace {

std::atomic<double>& scaleStore() {
    static std::atomic<double> s{[] {
        const char* v = std::getenv("TAVIK_TIME_SCALE");
        const double d = v != nullptr ? std::atof(v) : 1.0;
        return d > 0 ? d : 1.0;
    }()};
    return s;
}

} // namespace

double timeScale() { return scaleStore().load(); }
void setTimeScale(double scale) { scaleStore().store(scale > 0 ? scale : 1.0); }

} // namespace host

namespace {

// Unnamed semaphores live in process memory; named ones are the robust locks of the home.
struct Semaphore {
    sem_t unnamed{};
    host::NamedLock* named = nullptr;
    int32_t maximum = 1;
};

std::chrono::milliseconds scaled(uint32_t ms) {
    const double s = host::timeScale();
    return std::chrono::milliseconds(static_cast<int64_t>(std::ceil(ms / s)));
}

uint64_t scaledUs(uint32_t ms) { return static_cast<uint64_t>(std::ceil(1000.0 * ms / host::timeScale())); }

timespec deadlineAfter(uint32_t ms) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t ns = ts.tv_nsec + static_cast<int64_t>(scaledUs(ms)) * 1000;
    ts.tv_sec += ns / 1000000000;
    ts.tv_nsec = ns % 1000000000;
    return ts;
}

} // namespace

SemaphoreHandle createSemaphore(const std::string& name, int32_t initialCount, int32_t maximumCount) {
    auto* s = new (std::nothrow) Semaphore;
    if (s == nullptr) return {};
    s->maximum = maximumCount;
    if (name.empty()) {
        if (sem_init(&s->unnamed, 0, static_cast<unsigned>(initialCount)) != 0) {
            delete s;
            return {};
        }
    } else {
        s->named = host::openNamedLock(name, initialCount, maximumCount);
        if (s->named == nullptr) {
            delete s;
            return {};
        }
    }
    SemaphoreHandle h;
    h.value = reinterpret_cast<NativeHandle>(s);
    return h;
}

WaitResult waitSemaphore(SemaphoreHandle handle, uint32_t timeoutMs) {
    if (!handle) return WaitResult::Failed;
    auto* s = reinterpret_cast<Semaphore*>(handle.value);
    if (s->named != nullptr)
        return host::waitNamedLock(s->named, timeoutMs == kWaitForever ? 0 : scaledUs(timeoutMs),
                                   timeoutMs == kWaitForever);
    if (timeoutMs == kWaitForever) {
        while (sem_wait(&s->unnamed) != 0)
            if (errno != EINTR) return WaitResult::Failed;
        return WaitResult::Signaled;
    }
    if (timeoutMs == 0) {
        while (sem_trywait(&s->unnamed) != 0) {
            if (errno == EAGAIN) return WaitResult::Timeout;
            if (errno != EINTR) return WaitResult::Failed;
        }
        return WaitResult::Signaled;
    }
    const timespec deadline = deadlineAfter(timeoutMs);
    while (sem_timedwait(&s->unnamed, &deadline) != 0) {
        if (errno == ETIMEDOUT) return WaitResult::Timeout;
        if (errno != EINTR) return WaitResult::Failed;
    }
    return WaitResult::Signaled;
}

bool releaseSemaphore(SemaphoreHandle handle, int32_t count) {
    if (!handle || count <= 0) return false;
    auto* s = reinterpret_cast<Semaphore*>(handle.value);
    if (s->named != nullptr) return host::releaseNamedLock(s->named, count);
    int value = 0;
    // Like ReleaseSemaphore: refuse a release past the maximum count.
    if (sem_getvalue(&s->unnamed, &value) != 0 || value + count > s->maximum) return false;
    for (int32_t i = 0; i < count; ++i)
        if (sem_post(&s->unnamed) != 0) return false;
    return true;
}

void closeSemaphore(SemaphoreHandle handle) {
    if (!handle) return;
    auto* s = reinterpret_cast<Semaphore*>(handle.value);
    if (s->named != nullptr)
        host::closeNamedLock(s->named);
    else
        sem_destroy(&s->unnamed);
    delete s;
}

namespace {
struct Thread {
    std::thread thread;
    // Shared with the running thread, which may outlive a closed handle.
    std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
};
} // namespace

ThreadHandle startThread(ThreadEntry entry, void* argument) {
    auto* t = new Thread;
    try {
        t->thread = std::thread([done = t->done, entry, argument] {
            entry(argument);
            done->store(true);
        });
    } catch (...) {
        delete t;
        return {};
    }
    ThreadHandle h;
    h.value = reinterpret_cast<NativeHandle>(t);
    return h;
}

WaitResult joinThread(ThreadHandle handle, uint32_t timeoutMs) {
    if (!handle) return WaitResult::Failed;
    auto* t = reinterpret_cast<Thread*>(handle.value);
    if (timeoutMs != kWaitForever) {
        // A thread's last steps are the machine's work, not the unit's: under compressed time a
        // join still waits up to the time-out itself or a second (real), whichever is less.
        const auto wait = std::max(scaled(timeoutMs), std::chrono::milliseconds(std::min<uint32_t>(timeoutMs, 1000)));
        const auto until = std::chrono::steady_clock::now() + wait;
        while (!t->done->load()) {
            if (std::chrono::steady_clock::now() >= until) return WaitResult::Timeout;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    if (t->thread.joinable()) t->thread.join();
    return WaitResult::Signaled;
}

void closeThread(ThreadHandle handle) {
    if (!handle) return;
    auto* t = reinterpret_cast<Thread*>(handle.value);
    if (t->thread.joinable()) t->thread.detach();
    delete t;
}

void sleepMs(uint32_t milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(
        std::chrono::microseconds(static_cast<int64_t>(1000.0 * milliseconds / host::timeScale())));
}

uint32_t tickCountMs() {
    static const auto start = std::chrono::steady_clock::now();
    const double realMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(realMs * host::timeScale()));
}

uint32_t currentProcessId() { return static_cast<uint32_t>(::getpid()); }

} // namespace tavik::platform
