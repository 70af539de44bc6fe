// The handle frame shared by every family: the handle check, forwarding from an exported
// function to the object's slot, and the two object lifecycles.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "platform/sync.h"
#include "tavik2/error_code.h"

namespace tavik::frame {

// Family numbers, passed to the handle check with the handle.
enum class Family : int32_t {
    About = 1, Adc, AuxVersion, Backlight, Battery, Buzzer, CanSetting, TavikPrivate, Config,
    Diagnostic, DigIO, FirmwareUpgrade, FrontLED, Lightsensor, Power, Telematics, TouchScreen,
    TouchScreenCalib, Video, PowerMgr, Smart,
};

// Fails only for a null handle; the objects carry no family mark, so a handle of another
// family or a released one passes.
constexpr bool checkHandle(Family, const void* handle) { return handle != nullptr; }

// Exported operation: handle check, then the slot with the arguments unchanged. Nothing thrown
// by an operation crosses the interface.
template <Family F, class I, class... Slot, class... Args>
ErrorCode forward(I* handle, ErrorCode (I::*slot)(Slot...), Args... args) noexcept {
    if (!checkHandle(F, handle)) return ERR_INVALID_PARAMETER;
    try {
        return (handle->*slot)(static_cast<Slot>(args)...);
    } catch (const std::bad_alloc&) {
        return ERR_MEMORY_ALLOCATION;
    } catch (...) {
        return ERR_COMMAND_FAILED;
    }
}

// Exported release: the handle check, then the release slot.
template <Family F, class I>
void forwardRelease(I* handle) noexcept {
    if (!checkHandle(F, handle)) return;
    try {
        handle->release();
    } catch (...) {
    }
}

// Fresh-object factory: a new object per call, null when it cannot be allocated or built.
// The object's release slot closes what it opened and deletes it.
template <class Impl>
Impl* createFresh() noexcept {
    try {
        return new (std::nothrow) Impl();
    } catch (...) {
        return nullptr;
    }
}

// Process-wide guard for the shared factories and releases. The counts themselves keep their
// single-threaded meaning; the guard only makes concurrent factory/release calls safe.
class SpinGuard {
public:
    explicit SpinGuard(std::atomic_flag& flag) : flag_(flag) {
        while (flag_.test_and_set(std::memory_order_acquire)) platform::sleepMs(0);
    }
    ~SpinGuard() { flag_.clear(std::memory_order_release); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

private:
    std::atomic_flag& flag_;
};

// Shared, counted lifecycle: one object per process, a count of outstanding handles.
// acquire() is the factory; Impl's release slot calls releaseShared().
template <class Impl>
class SharedInstance {
public:
    static Impl* acquire() noexcept {
        SpinGuard guard(flag_);
        if (instance_ == nullptr) {
            try {
                instance_ = new (std::nothrow) Impl();
            } catch (...) {
                instance_ = nullptr;
            }
        }
        ++count_; // counted even when the allocation failed
        return instance_;
    }

    // Drops one reference; the last one deletes the object (its destructor closes what it opened).
    static void releaseShared() noexcept {
        Impl* doomed = nullptr;
        {
            SpinGuard guard(flag_);
            const int32_t before = count_--;
            if (before != 1) return;
            doomed = instance_;
            instance_ = nullptr;
        }
        delete doomed;
    }

    static Impl* current() noexcept { return instance_; }
    static int32_t count() noexcept { return count_; }

private:
    static inline Impl* instance_ = nullptr;
    static inline int32_t count_ = 0;
    static inline std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

} // namespace tavik::frame
