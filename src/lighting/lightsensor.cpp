#include "lighting/lightsensor.h"

#include <cmath>
#include <new>

#include "frame/cross_process_lock.h"
#include "frame/handle.h"
#include "identity/fitted_hardware.h"
#include "lighting/trace.h"
#include "platform/sync.h"

namespace tavik::lighting {
namespace {

constexpr uint32_t kReadCodes = frame::requestCode(0x945); // 2 bytes out: ch0, ch1
constexpr uint32_t kWriteRange = frame::requestCode(0x946); // 1 byte in: 0 standard, 1 extended
constexpr uint32_t kReadRange = frame::requestCode(0x947);  // 1 byte out
constexpr uint32_t kSamplePeriodMs = 800;
constexpr uint32_t kStopSettleMs = 70;

enum AveragingMode : int32_t { kModeStandard = 0, kModeExtended = 1, kModeAutomatic = 2 };

} // namespace

uint16_t luxFromCodes(uint8_t ch0, uint8_t ch1) {
    const int32_t count0 = static_cast<int32_t>(codeCount(ch0));
    const int32_t count1 = static_cast<int32_t>(codeCount(ch1));
    const int32_t d = count0 - count1;
    if (d <= 0) return 0;
    const double r = static_cast<double>(count1) / d;
    return static_cast<uint16_t>(d * 0.39 * std::exp(-0.181 * r * r));
}

Lightsensor_Imp::Lightsensor_Imp() {
    auxChannel_.open();
    averageLock_ = frame::createCrossProcessLock(kAverageLockName);
    mutex_ = platform::createSemaphore("", 1, 1);
    wake_ = platform::createSemaphore("", 0, 1);
    channel_.open();
    supported_ = identity::displayFitted();
}

Lightsensor_Imp::~Lightsensor_Imp() {
    stopAveraging();
    auxChannel_.close();
    platform::sleepMs(kStopSettleMs);
    platform::closeSemaphore(averageLock_);
    channel_.close();
    platform::closeSemaphore(wake_);
    platform::closeSemaphore(mutex_);
}

void Lightsensor_Imp::release() { delete this; }

void Lightsensor_Imp::lockState() { platform::waitSemaphore(mutex_, platform::kWaitForever); }
void Lightsensor_Imp::unlockState() { platform::releaseSemaphore(mutex_, 1); }

ErrorCode Lightsensor_Imp::readRange(int32_t& range) {
    uint8_t value = 0;
    if (const ErrorCode e = channel_.read(kReadRange, &value, 1); e != ERR_SUCCESS) return e;
    if (value > kRangeExtended) return ERR_INVALID_DATA;
    range = value;
    return ERR_SUCCESS;
}

ErrorCode Lightsensor_Imp::writeRange(int32_t range) {
    if (range != kRangeStandard && range != kRangeExtended) return ERR_INVALID_PARAMETER;
    const uint8_t value = static_cast<uint8_t>(range);
    return channel_.requestUnchecked(kWriteRange, &value, 1, nullptr, 0);
}

ErrorCode Lightsensor_Imp::measure(Reading& r) {
    uint8_t codes[2] = {};
    if (const ErrorCode e = channel_.read(kReadCodes, codes, 2); e != ERR_SUCCESS) return e;
    if (!codeValid(codes[0]) || !codeValid(codes[1])) return ERR_INVALID_DATA; // conversion not ready
    r.codesRead = true;
    r.ch0 = codes[0];
    r.ch1 = codes[1];
    r.lux = luxFromCodes(codes[0], codes[1]);
    const ErrorCode e = readRange(r.range);
    if (e == ERR_SUCCESS) {
        r.rangeRead = true;
        if (r.range == kRangeExtended) r.lux = static_cast<uint16_t>(r.lux * kExtendedRangeFactor);
    }
    return e;
}

ErrorCode Lightsensor_Imp::getIlluminance2(uint16_t* lux, uint8_t* ch0Code, uint8_t* ch1Code) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (lux == nullptr || ch0Code == nullptr || ch1Code == nullptr) return ERR_INVALID_PARAMETER;
    Reading r;
    const ErrorCode e = measure(r);
    if (!r.codesRead) return e;
    if (r.rangeRead) {
        lockState();
        range_ = r.range;
        unlockState();
    }
    // The values stand even when the range could not be read; the result says so.
    *lux = r.lux;
    *ch0Code = r.ch0;
    *ch1Code = r.ch1;
    return e;
}

ErrorCode Lightsensor_Imp::getIlluminance(uint16_t* lux) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (lux == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t ch0 = 0, ch1 = 0;
    return getIlluminance2(lux, &ch0, &ch1);
}

ErrorCode Lightsensor_Imp::getAverageIlluminance(uint16_t* lux) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (lux == nullptr) return ERR_INVALID_PARAMETER;
    lockState();
    if (!running_) {
        unlockState();
        return ERR_NOT_RUNNING;
    }
    uint32_t value = filter_.average();
    if (!filter_.hasSample()) {
        // Before the first sample: the light as it is now, so that a reader right after the
        // start does not take the empty average for darkness.
        Reading r;
        value = measure(r) == ERR_SUCCESS ? r.lux : 0;
    }
    unlockState();
    *lux = static_cast<uint16_t>(value);
    return ERR_SUCCESS;
}

ErrorCode Lightsensor_Imp::getOperatingRange(int32_t* range) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (range == nullptr) return ERR_INVALID_PARAMETER;
    int32_t value = 0;
    const ErrorCode e = readRange(value);
    if (e != ERR_SUCCESS) return e;
    lockState();
    range_ = value;
    unlockState();
    *range = value;
    return ERR_SUCCESS;
}

ErrorCode Lightsensor_Imp::setOperatingRange(int32_t range) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    // Refused while any averaging runs, in any process: the probe takes the lock and gives it back.
    if (!averageLock_ || platform::waitSemaphore(averageLock_, 0) != platform::WaitResult::Signaled)
        return ERR_AVERAGE_CALC_STARTED;
    platform::releaseSemaphore(averageLock_, 1);
    const ErrorCode e = writeRange(range);
    if (e != ERR_SUCCESS) return e;
    lockState();
    range_ = range;
    unlockState();
    return ERR_SUCCESS;
}

ErrorCode Lightsensor_Imp::startAverageCalc(int32_t averageWndSize, int32_t rejectWndSize,
                                            int32_t rejectDeltaInLux, int32_t mode) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    const auto average = static_cast<uint32_t>(averageWndSize);
    const auto reject = static_cast<uint32_t>(rejectWndSize);
    const auto delta = static_cast<uint32_t>(rejectDeltaInLux);
    if (const ErrorCode e = AverageFilter::checkSizes(average, reject, delta); e != ERR_SUCCESS) return e;
    if (!averageLock_ || platform::waitSemaphore(averageLock_, 0) != platform::WaitResult::Signaled)
        return ERR_AVERAGE_CALC_STARTED;

    // A thread that ended on its own (after a device error) is joined before a new one starts.
    stopAveraging();

    ErrorCode e = ERR_SUCCESS;
    lockState();
    try {
        filter_.reset(average, reject, delta);
    } catch (const std::bad_alloc&) {
        trace("Memory alocation faild\n");
        stop_ = true;
        e = ERR_INIT_FAILED;
    }
    if (e == ERR_SUCCESS) {
        mode_ = mode;
        // An unknown mode keeps the range the sensor was last known to have, and never switches.
        const int32_t range = mode == kModeExtended ? kRangeExtended
                              : (mode == kModeStandard || mode == kModeAutomatic) ? kRangeStandard
                                                                                  : range_;
        // Sent directly: the lock probe of setOperatingRange would find our own lock taken.
        e = writeRange(range);
        if (e == ERR_SUCCESS) range_ = range;
    }
    if (e == ERR_SUCCESS) {
        stop_ = false;
        running_ = true; // before the thread exists, so that a reader right after the start sees it
    }
    unlockState();
    if (e != ERR_SUCCESS) {
        platform::releaseSemaphore(averageLock_, 1);
        return e;
    }

    while (platform::waitSemaphore(wake_, 0) == platform::WaitResult::Signaled) {
    } // a stop signal left over from an earlier run
    trace("startThread\n");
    const platform::ThreadHandle thread = platform::startThread(&Lightsensor_Imp::averagingThread, this);
    lockState();
    if (thread) {
        thread_ = thread;
    } else {
        running_ = false;
        e = ERR_CREATE_THREAD;
    }
    unlockState();
    if (e != ERR_SUCCESS) platform::releaseSemaphore(averageLock_, 1);
    return e;
}

ErrorCode Lightsensor_Imp::stopAverageCalc() {
    if (!supported_) return ERR_NOT_SUPPORTED;
    stopAveraging();
    platform::sleepMs(kStopSettleMs);
    return ERR_SUCCESS;
}

void Lightsensor_Imp::stopAveraging() {
    lockState();
    stop_ = true;
    const platform::ThreadHandle thread = thread_;
    thread_ = {};
    unlockState();
    platform::releaseSemaphore(wake_, 1);
    if (thread) {
        platform::joinThread(thread, platform::kWaitForever);
        platform::closeThread(thread);
    }
}

uint32_t Lightsensor_Imp::averagingThread(void* argument) {
    auto* self = static_cast<Lightsensor_Imp*>(argument);
    trace("Thread started.\n");
    ErrorCode result = ERR_SUCCESS;
    for (;;) {
        // A stop cuts the wait short.
        if (self->wake_)
            platform::waitSemaphore(self->wake_, kSamplePeriodMs);
        else
            platform::sleepMs(kSamplePeriodMs);
        self->lockState();
        if (self->stop_) break;
        result = self->sample();
        if (result != ERR_SUCCESS) break;
        self->unlockState();
    }
    self->running_ = false;
    self->unlockState();
    trace("Exit Loop\n");
    platform::releaseSemaphore(self->averageLock_, 1); // another averaging may start anywhere
    return static_cast<uint32_t>(result);
}

ErrorCode Lightsensor_Imp::sample() {
    Reading r;
    const ErrorCode e = measure(r);
    if (r.rangeRead) range_ = r.range;
    if (e == ERR_INVALID_DATA) {
        trace("Measure not ready!\n");
        return ERR_SUCCESS;
    }
    if (e != ERR_SUCCESS) {
        trace("Error getIlluminance\n");
        return e;
    }
    trace("brightness[%d], ch1 [%d] ch2[%d]\n", r.lux, r.ch0, r.ch1);

    const uint8_t ch0 = r.ch0 & 0x7F;
    if (ch0 == kCodeSaturated) {
        if (mode_ != kModeAutomatic || range_ != kRangeStandard) {
            trace("Error light sensor saturation\n"); // nothing to switch to: the sample is lost
            return ERR_SUCCESS;
        }
        if (const ErrorCode s = writeRange(kRangeExtended); s != ERR_SUCCESS) {
            trace("Error setOperatingRange\n");
            return s;
        }
        trace("Set range extended\n");
        range_ = kRangeExtended;
        return ERR_SUCCESS;
    }
    if (ch0 <= kCodeBackToStandard && range_ == kRangeExtended && mode_ == kModeAutomatic) {
        if (const ErrorCode s = writeRange(kRangeStandard); s != ERR_SUCCESS) {
            trace("Error setOperatingRange\n");
            return s;
        }
        trace("Set range standard\n");
        range_ = kRangeStandard;
        return ERR_SUCCESS;
    }
    filter_.add(r.lux);
    return ERR_SUCCESS;
}

} // namespace tavik::lighting

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::Lightsensor;

TAVIK_API Lightsensor* TAVIK_CALL GetLightsensor(void) {
    return tavik::frame::createFresh<tavik::lighting::Lightsensor_Imp>();
}

TAVIK_API void TAVIK_CALL Lightsensor_release(Lightsensor* h) { tavik::frame::forwardRelease<Family::Lightsensor>(h); }

TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getIlluminance2(Lightsensor* h, uint16_t* lux, uint8_t* ch0Code,
                                                           uint8_t* ch1Code) {
    return forward<Family::Lightsensor>(h, &Lightsensor::getIlluminance2, lux, ch0Code, ch1Code);
}
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getIlluminance(Lightsensor* h, uint16_t* lux) {
    return forward<Family::Lightsensor>(h, &Lightsensor::getIlluminance, lux);
}
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getAverageIlluminance(Lightsensor* h, uint16_t* lux) {
    return forward<Family::Lightsensor>(h, &Lightsensor::getAverageIlluminance, lux);
}
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_startAverageCalc(Lightsensor* h, int32_t averageWndSize,
                                                            int32_t rejectWndSize, int32_t rejectDeltaInLux,
                                                            int32_t mode) {
    return forward<Family::Lightsensor>(h, &Lightsensor::startAverageCalc, averageWndSize, rejectWndSize,
                                        rejectDeltaInLux, mode);
}
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_stopAverageCalc(Lightsensor* h) {
    return forward<Family::Lightsensor>(h, &Lightsensor::stopAverageCalc);
}
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_getOperatingRange(Lightsensor* h, int32_t* range) {
    return forward<Family::Lightsensor>(h, &Lightsensor::getOperatingRange, range);
}
TAVIK_API ErrorCode TAVIK_CALL Lightsensor_setOperatingRange(Lightsensor* h, int32_t range) {
    return forward<Family::Lightsensor>(h, &Lightsensor::setOperatingRange, range);
}
