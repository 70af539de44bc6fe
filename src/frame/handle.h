// The handle frame shared by every family: the handle check, forwarding from an exported
// function to the object's slot, and the two object lifecycles.
//
// Every object a factory hands out is entered in a registry of live handles with its family;
// the check refuses null, released and foreign handles (ERR_INVALID_PARAMETER, a release does
// nothing). Families need no code of their own for it: createFresh() and SharedInstance enter
// the object, forwardRelease() and the last releaseShared() take it out. A family's exports
// must therefore go through forward()/forwardRelease(), and its factory through createFresh()
// or SharedInstance<Impl>::acquire().
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <type_traits>

#include "platform/sync.h"
#include "tavik2/error_code.h"
#include "tavik2/tavik2.h"

namespace tavik::frame {

// Family numbers, passed to the handle check with the handle.
enum class Family : int32_t {
    About = 1, Adc, AuxVersion, Backlight, Battery, Buzzer, CanSetting, TavikPrivate, Config,
    Diagnostic, DigIO, FirmwareUpgrade, FrontLED, Lightsensor, Power, Telematics, TouchScreen,
    TouchScreenCalib, Video, PowerMgr, Smart,
};

// The interface struct of each family, in family-number order.
template <class... I>
struct InterfaceList {};
using FamilyInterfaces = InterfaceList<
    Varnholtstad::About, Varnholtstad::Adc, Varnholtstad::AuxVersion, Varnholtstad::Backlight,
    Varnholtstad::Battery, Varnholtstad::Buzzer, Varnholtstad::CanSetting, Varnholtstad::TavikPrivate,
    Varnholtstad::Config, Varnholtstad::Diagnostic, Varnholtstad::DigIO, Varnholtstad::FirmwareUpgrade,
    Varnholtstad::FrontLED, Varnholtstad::Lightsensor, Varnholtstad::Power, Varnholtstad::Telematics,
    Varnholtstad::TouchScreen, Varnholtstad::TouchScreenCalib, Varnholtstad::Video, Varnholtstad::PowerMgr,
    Varnholtstad::Smart>;

namespace detail {
template <class Impl, int N, class... I>
struct FamilyIndex {
    static constexpr int value = 0;
};
template <class Impl, int N, class First, class... Rest>
struct FamilyIndex<Impl, N, First, Rest...> {
    static constexpr int value =
        std::is_base_of_v<First, Impl> ? N : FamilyIndex<Impl, N + 1, Rest...>::value;
};
template <class Impl, class List>
struct FamilyOf;
template <class Impl, class... I>
struct FamilyOf<Impl, InterfaceList<I...>> {
    static constexpr int value = FamilyIndex<Impl, 1, I...>::value;
};
template <int N, class... I>
struct InterfaceAt;
template <int N, class First, class... Rest>
struct InterfaceAt<N, First, Rest...> : InterfaceAt<N - 1, Rest...> {};
template <class First, class... Rest>
struct InterfaceAt<1, First, Rest...> {
    using type = First;
};
template <int N, class List>
struct InterfaceOf;
template <int N, class... I>
struct InterfaceOf<N, InterfaceList<I...>> : InterfaceAt<N, I...> {};
} // namespace detail

// The family number of an implementation class (0 for a class that implements no family).
template <class Impl>
constexpr int familyNumberOf() {
    return detail::FamilyOf<Impl, FamilyInterfaces>::value;
}

// The handle value of an object: its address as its family's interface.
template <class Impl>
const void* handleOf(Impl* object) {
    using I = typename detail::InterfaceOf<familyNumberOf<Impl>(), FamilyInterfaces>::type;
    return static_cast<const void*>(static_cast<I*>(object));
}

// The registry of live handles (frame/handle_registry.cpp). Safe from any thread.
// Enters a handle; false when it could not be entered (no memory).
bool registerHandle(Family family, const void* handle, bool shared) noexcept;
// Whether `handle` is a live handle of `family`.
bool checkHandle(Family family, const void* handle) noexcept;
// For a release: true when `handle` is a live handle of `family`. A fresh object's handle is
// taken out at once (its release slot deletes it); a shared one stays until unregisterHandle().
bool checkHandleForRelease(Family family, const void* handle) noexcept;
void unregisterHandle(const void* handle) noexcept;

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

// Exported release: the handle check, then the release slot. A second release of a fresh
// object, or any release of a handle that is not live, does nothing.
template <Family F, class I>
void forwardRelease(I* handle) noexcept {
    if (!checkHandleForRelease(F, handle)) return;
    try {
        handle->release();
    } catch (...) {
    }
}

// Fresh-object factory: a new object per call, null when it cannot be allocated or built.
// The object's release slot closes what it opened and deletes it.
template <class Impl>
Impl* createFresh() noexcept {
    Impl* object = nullptr;
    try {
        object = new (std::nothrow) Impl();
    } catch (...) {
        return nullptr;
    }
    if constexpr (familyNumberOf<Impl>() != 0) {
        if (object != nullptr &&
            !registerHandle(static_cast<Family>(familyNumberOf<Impl>()), handleOf(object), false)) {
            try {
                object->release();
            } catch (...) {
            }
            return nullptr;
        }
    }
    return object;
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
            if constexpr (familyNumberOf<Impl>() != 0) {
                if (instance_ != nullptr &&
                    !registerHandle(static_cast<Family>(familyNumberOf<Impl>()), handleOf(instance_), true)) {
                    delete instance_; // as if it could not be allocated
                    instance_ = nullptr;
                }
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
            if constexpr (familyNumberOf<Impl>() != 0) {
                if (doomed != nullptr) unregisterHandle(handleOf(doomed));
            }
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
