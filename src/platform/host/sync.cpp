// Semaphores and threads of the host build: POSIX named semaphores (one namespace per
// TAVIK_HOME), unnamed ones in process memory, std::thread for threads.
#include "platform/sync.h"

#include <fcntl.h>
#include <semaphore.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/host/time_scale.h"
#include "sim/unit.h"

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

struct Semaphore {
    sem_t* sem = nullptr;
    sem_t unnamed{};
    bool named = false;
    int32_t maximum = 1;
};

// "Global\NAME" and plain names share one namespace per home, as on one Windows session.
std::string posixName(const std::string& name) {
    std::string clean;
    for (char c : name) clean.push_back((c == '/' || c == '\\') ? '_' : c);
    const std::size_t home = std::hash<std::string>{}(sim::homeDirectory());
    return "/tavik." + std::to_string(home % 1000000007u) + "." + clean;
}

std::chrono::milliseconds scaled(uint32_t ms) {
    const double s = host::timeScale();
    return std::chrono::milliseconds(static_cast<int64_t>(std::ceil(ms / s)));
}

timespec deadlineAfter(uint32_t ms) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t ns = ts.tv_nsec + std::chrono::duration_cast<std::chrono::nanoseconds>(scaled(ms)).count();
    ts.tv_sec += ns / 1000000000;
    ts.tv_nsec = ns % 1000000000;
    return ts;
}

} // namespace

namespace host {

void removeNamedSemaphores() {
    // POSIX named semaphores appear as /dev/shm/sem.<name without the slash>.
    const std::string prefix = "sem." + posixName("").substr(1);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec)) {
        const std::string file = entry.path().filename().string();
        if (file.compare(0, prefix.size(), prefix) == 0) sem_unlink(("/" + file.substr(4)).c_str());
    }
}

} // namespace host

SemaphoreHandle createSemaphore(const std::string& name, int32_t initialCount, int32_t maximumCount) {
    auto* s = new Semaphore;
    s->maximum = maximumCount;
    if (name.empty()) {
        if (sem_init(&s->unnamed, 0, static_cast<unsigned>(initialCount)) != 0) {
            delete s;
            return {};
        }
        s->sem = &s->unnamed;
    } else {
        s->named = true;
        s->sem = sem_open(posixName(name).c_str(), O_CREAT, 0666, static_cast<unsigned>(initialCount));
        if (s->sem == SEM_FAILED) {
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
    if (timeoutMs == kWaitForever) {
        while (sem_wait(s->sem) != 0)
            if (errno != EINTR) return WaitResult::Failed;
        return WaitResult::Signaled;
    }
    if (timeoutMs == 0) {
        while (sem_trywait(s->sem) != 0) {
            if (errno == EAGAIN) return WaitResult::Timeout;
            if (errno != EINTR) return WaitResult::Failed;
        }
        return WaitResult::Signaled;
    }
    const timespec deadline = deadlineAfter(timeoutMs);
    while (sem_timedwait(s->sem, &deadline) != 0) {
        if (errno == ETIMEDOUT) return WaitResult::Timeout;
        if (errno != EINTR) return WaitResult::Failed;
    }
    return WaitResult::Signaled;
}

bool releaseSemaphore(SemaphoreHandle handle, int32_t count) {
    if (!handle || count <= 0) return false;
    auto* s = reinterpret_cast<Semaphore*>(handle.value);
    int value = 0;
    // Like ReleaseSemaphore: refuse a release past the maximum count.
    if (sem_getvalue(s->sem, &value) != 0 || value + count > s->maximum) return false;
    for (int32_t i = 0; i < count; ++i)
        if (sem_post(s->sem) != 0) return false;
    return true;
}

void closeSemaphore(SemaphoreHandle handle) {
    if (!handle) return;
    auto* s = reinterpret_cast<Semaphore*>(handle.value);
    if (s->named)
        sem_close(s->sem);
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
        const auto until = std::chrono::steady_clock::now() + scaled(timeoutMs);
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
