// The Buzzer family: tone record, trigger and timed buzzes. A fresh object per GetBuzzer; one
// buzz at a time across every process, guarded by a machine-wide semaphore.
#pragma once

#include <atomic>
#include <cstdint>

#include "frame/driver_channel.h"
#include "platform/handles.h"
#include "tavik2/buzzer.h"

namespace tavik::signals {

constexpr uint32_t kReqToneRead = frame::requestCode(0x948);    // 4 bytes out: the tone record
constexpr uint32_t kReqToneWrite = frame::requestCode(0x949);   // 4 bytes in; count not examined
constexpr uint32_t kReqTriggerRead = frame::requestCode(0x94A); // 1 byte out
constexpr uint32_t kReqTriggerWrite = frame::requestCode(0x94B); // 4 bytes in, byte 0 the trigger; count not examined

constexpr const char* kBuzzLockName = "TAVIK_BUZZING_IN_PROGRESS";

// Tone record: frequency (hertz) and volume, each unsigned 16-bit little-endian.
constexpr uint16_t kMinFrequency = 700;
constexpr uint16_t kMaxFrequency = 10000;
constexpr uint16_t kMaxVolume = 51;

// Product article numbers of units built without a buzzer.
constexpr const char* kArticlesWithoutBuzzer[] = {"K104573-20", "K104573-21"};

struct ToneRecord {
    uint16_t frequency = 0;
    uint16_t volume = 0;

    static ToneRecord fromBytes(const uint8_t b[4]);
    void toBytes(uint8_t b[4]) const;
    // Holds the fields to the ranges the supervisor accepts; true when anything changed.
    bool correct();
};

class Buzzer_Imp final : public Varnholtstad::Buzzer {
public:
    Buzzer_Imp();
    ~Buzzer_Imp();
    Buzzer_Imp(const Buzzer_Imp&) = delete;
    Buzzer_Imp& operator=(const Buzzer_Imp&) = delete;

    ErrorCode getFrequency(uint16_t* frequency) override;
    ErrorCode getVolume(uint16_t* volume) override;
    ErrorCode getTrigger(bool* on) override;
    ErrorCode setFrequency(uint16_t frequency) override;
    ErrorCode setVolume(uint16_t volume) override;
    ErrorCode setTrigger(bool on) override;
    ErrorCode buzze(int32_t timeMs, bool blocking) override;
    // Ends this object's background buzz, waits while any buzz sounds, destroys the object.
    void release() override;

private:
    ErrorCode readTone(ToneRecord& tone);
    ErrorCode writeTone(const ToneRecord& tone);
    static uint32_t buzzThread(void* self);

    frame::DriverChannel channel_;
    std::atomic<int32_t> buzzTime_{0}; // milliseconds of the latest background buzz
    platform::SemaphoreHandle buzzLock_;
    bool supported_ = true;
    std::atomic<bool> stopRequest_{false};
    platform::ThreadHandle thread_;
    bool threadStarted_ = false; // started and not yet waited for
};

} // namespace tavik::signals
