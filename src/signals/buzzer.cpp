#include "signals/buzzer.h"

#include <algorithm>
#include <string>

#include "frame/cross_process_lock.h"
#include "frame/handle.h"
#include "identity/fitted_hardware.h"
#include "platform/sync.h"

namespace tavik::signals {

ToneRecord ToneRecord::fromBytes(const uint8_t b[4]) {
    return {static_cast<uint16_t>(b[0] | b[1] << 8), static_cast<uint16_t>(b[2] | b[3] << 8)};
}

void ToneRecord::toBytes(uint8_t b[4]) const {
    b[0] = static_cast<uint8_t>(frequency);
    b[1] = static_cast<uint8_t>(frequency >> 8);
    b[2] = static_cast<uint8_t>(volume);
    b[3] = static_cast<uint8_t>(volume >> 8);
}

bool ToneRecord::correct() {
    const ToneRecord before = *this;
    frequency = std::clamp(frequency, kMinFrequency, kMaxFrequency);
    volume = std::min(volume, kMaxVolume);
    return frequency != before.frequency || volume != before.volume;
}

Buzzer_Imp::Buzzer_Imp() : buzzLock_(frame::createCrossProcessLock(kBuzzLockName)) {
    channel_.open();
    // A unit without a display has no buzzer; an unanswered question counts as fitted.
    supported_ = identity::displayFitted();
    if (const auto article = identity::askAbout(&About_getMainProdArtNr, 100)) {
        for (const char* without : kArticlesWithoutBuzzer)
            if (*article == without) supported_ = false;
    }
}

Buzzer_Imp::~Buzzer_Imp() {
    if (thread_) platform::closeThread(thread_);
    channel_.close();
    platform::closeSemaphore(buzzLock_);
}

ErrorCode Buzzer_Imp::readTone(ToneRecord& tone) {
    if (!channel_.isOpen()) return ERR_OPEN_FAILED;
    if (!supported_) return ERR_NOT_SUPPORTED;
    uint8_t bytes[4] = {};
    if (const ErrorCode e = channel_.read(kReqToneRead, bytes, sizeof bytes); e != ERR_SUCCESS) return e;
    tone = ToneRecord::fromBytes(bytes);
    return ERR_SUCCESS;
}

ErrorCode Buzzer_Imp::writeTone(const ToneRecord& tone) {
    if (!channel_.isOpen()) return ERR_OPEN_FAILED;
    if (!supported_) return ERR_NOT_SUPPORTED;
    uint8_t bytes[4];
    tone.toBytes(bytes);
    return channel_.requestUnchecked(kReqToneWrite, bytes, sizeof bytes, nullptr, 0);
}

ErrorCode Buzzer_Imp::getFrequency(uint16_t* frequency) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (frequency == nullptr) return ERR_INVALID_PARAMETER;
    ToneRecord tone;
    if (const ErrorCode e = readTone(tone); e != ERR_SUCCESS) return e;
    *frequency = tone.frequency;
    return ERR_SUCCESS;
}

ErrorCode Buzzer_Imp::getVolume(uint16_t* volume) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (volume == nullptr) return ERR_INVALID_PARAMETER;
    ToneRecord tone;
    if (const ErrorCode e = readTone(tone); e != ERR_SUCCESS) return e;
    *volume = tone.volume;
    return ERR_SUCCESS;
}

ErrorCode Buzzer_Imp::getTrigger(bool* on) {
    if (!channel_.isOpen()) return ERR_OPEN_FAILED;
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (on == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t byte = 0;
    if (const ErrorCode e = channel_.read(kReqTriggerRead, &byte, 1); e != ERR_SUCCESS) return e;
    *on = static_cast<int8_t>(byte) > 0; // 128..255 read as off
    return ERR_SUCCESS;
}

ErrorCode Buzzer_Imp::setFrequency(uint16_t frequency) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (static_cast<uint16_t>(frequency - kMinFrequency) > kMaxFrequency - kMinFrequency)
        return ERR_INVALID_PARAMETER;
    ToneRecord tone;
    if (const ErrorCode e = readTone(tone); e != ERR_SUCCESS) return e;
    tone.frequency = frequency;
    return writeTone(tone);
}

ErrorCode Buzzer_Imp::setVolume(uint16_t volume) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (volume > kMaxVolume) return ERR_INVALID_PARAMETER;
    ToneRecord tone;
    if (const ErrorCode e = readTone(tone); e != ERR_SUCCESS) return e;
    tone.volume = volume;
    return writeTone(tone);
}

ErrorCode Buzzer_Imp::setTrigger(bool on) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (!channel_.isOpen()) return ERR_OPEN_FAILED;
    // The supervisor refuses to sound an out-of-range tone: correct the record first.
    ToneRecord tone;
    if (const ErrorCode e = readTone(tone); e != ERR_SUCCESS) return e;
    if (tone.correct())
        if (const ErrorCode e = writeTone(tone); e != ERR_SUCCESS) return e;
    const uint8_t request[4] = {static_cast<uint8_t>(on ? 1 : 0), 0, 0, 0};
    return channel_.requestUnchecked(kReqTriggerWrite, request, sizeof request, nullptr, 0);
}

ErrorCode Buzzer_Imp::buzze(int32_t timeMs, bool blocking) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    // A negative time would become a wait of weeks under the machine-wide lock.
    if (timeMs < 0) return ERR_INVALID_PARAMETER;
    if (!buzzLock_) return ERR_IN_PROGRESS;
    if (platform::waitSemaphore(buzzLock_, 0) != platform::WaitResult::Signaled) return ERR_IN_PROGRESS;

    if (threadStarted_) {
        platform::joinThread(thread_, platform::kWaitForever);
        platform::closeThread(thread_);
        thread_ = {};
        threadStarted_ = false;
    }

    if (blocking) {
        ErrorCode result = setTrigger(true);
        if (result == ERR_SUCCESS) {
            platform::sleepMs(static_cast<uint32_t>(timeMs));
            // A buzzer that could not be switched off sounds on: the buzz did not end as asked.
            result = setTrigger(false);
        }
        platform::releaseSemaphore(buzzLock_);
        return result;
    }

    buzzTime_ = timeMs;
    stopRequest_ = false;
    thread_ = platform::startThread(&Buzzer_Imp::buzzThread, this);
    if (!thread_) {
        platform::releaseSemaphore(buzzLock_);
        return ERR_CREATE_THREAD;
    }
    threadStarted_ = true;
    return ERR_SUCCESS; // the thread gives the lock back
}

uint32_t Buzzer_Imp::buzzThread(void* argument) {
    auto* self = static_cast<Buzzer_Imp*>(argument);
    self->setTrigger(true);
    // Ten slices, so that release can end the buzz early.
    const uint32_t slice = static_cast<uint32_t>(self->buzzTime_ / 10);
    for (int i = 0; i < 10; ++i) {
        platform::sleepMs(slice);
        if (self->stopRequest_) break;
    }
    self->setTrigger(false);
    platform::releaseSemaphore(self->buzzLock_);
    return 0;
}

void Buzzer_Imp::release() {
    bool held = false;
    if (buzzLock_) {
        // Any buzz of any process holds the lock; ours is asked to stop.
        for (;;) {
            const platform::WaitResult r = platform::waitSemaphore(buzzLock_, 0);
            if (r == platform::WaitResult::Signaled) {
                held = true;
                break;
            }
            if (r == platform::WaitResult::Failed) break;
            stopRequest_ = true;
            // At least 1 ms, so that waiting out another process's buzz does not spin.
            platform::sleepMs(std::max<uint32_t>(1, static_cast<uint32_t>(buzzTime_ / 8)));
        }
    }
    // With the lock ours, our thread (if any) has passed its last step; collect it.
    if (threadStarted_) {
        stopRequest_ = true;
        platform::joinThread(thread_, platform::kWaitForever);
    }
    if (held) platform::releaseSemaphore(buzzLock_);
    delete this;
}

} // namespace tavik::signals

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::Buzzer;

TAVIK_API Buzzer* TAVIK_CALL GetBuzzer(void) { return tavik::frame::createFresh<tavik::signals::Buzzer_Imp>(); }

TAVIK_API void TAVIK_CALL Buzzer_release(Buzzer* h) { tavik::frame::forwardRelease<Family::Buzzer>(h); }

TAVIK_API ErrorCode TAVIK_CALL Buzzer_getFrequency(Buzzer* h, uint16_t* frequency) {
    return forward<Family::Buzzer>(h, &Buzzer::getFrequency, frequency);
}
TAVIK_API ErrorCode TAVIK_CALL Buzzer_getVolume(Buzzer* h, uint16_t* volume) {
    return forward<Family::Buzzer>(h, &Buzzer::getVolume, volume);
}
TAVIK_API ErrorCode TAVIK_CALL Buzzer_getTrigger(Buzzer* h, bool* on) {
    return forward<Family::Buzzer>(h, &Buzzer::getTrigger, on);
}
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setFrequency(Buzzer* h, uint16_t frequency) {
    return forward<Family::Buzzer>(h, &Buzzer::setFrequency, frequency);
}
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setVolume(Buzzer* h, uint16_t volume) {
    return forward<Family::Buzzer>(h, &Buzzer::setVolume, volume);
}
TAVIK_API ErrorCode TAVIK_CALL Buzzer_setTrigger(Buzzer* h, bool on) {
    return forward<Family::Buzzer>(h, &Buzzer::setTrigger, on);
}
TAVIK_API ErrorCode TAVIK_CALL Buzzer_buzze(Buzzer* h, int32_t timeMs, bool blocking) {
    return forward<Family::Buzzer>(h, &Buzzer::buzze, timeMs, blocking);
}
