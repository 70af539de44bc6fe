// The Lightsensor family: illuminance from the sensor's two channel codes, its operating range,
// and a background averaging (one at a time across all processes, held by a named semaphore).
// Every GetLightsensor gives a fresh object.
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "lighting/light_average.h"
#include "platform/handles.h"
#include "tavik2/lightsensor.h"

namespace tavik::lighting {

constexpr const char* kAverageLockName = "TAVIK_LIGHT_SENSOR_AVERAGE_LOCKED";

// Sensor channel code: bit 7 valid, bits 6..4 chord C, bits 3..0 step S.
constexpr uint8_t kCodeValid = 0x80;
constexpr uint8_t kCodeSaturated = 0x7F;     // chord 7, step 15 (count 4015)
constexpr uint8_t kCodeBackToStandard = 0x54; // chord 5, step 4 (count 639): extended is no longer needed
constexpr uint32_t kChordBase[8] = {0, 16, 49, 115, 247, 511, 1039, 2095}; // 16.5 x (2^C - 1), rounded down

constexpr bool codeValid(uint8_t code) { return (code & kCodeValid) != 0; }
constexpr uint32_t codeCount(uint8_t code) {
    return kChordBase[(code >> 4) & 7] + (static_cast<uint32_t>(code & 0x0F) << ((code >> 4) & 7));
}

// Illuminance in the standard range from two valid codes (ch0 visible plus infrared, ch1
// infrared): d x 0.39 x e^(-0.181 R^2) with d = count0 - count1 and R = count1 / d, truncated;
// 0 when d is not positive.
uint16_t luxFromCodes(uint8_t ch0, uint8_t ch1);

// The extended range reads 5 times the light of the standard one.
constexpr uint16_t kExtendedRangeFactor = 5;

enum SensorRange : int32_t { kRangeStandard = 0, kRangeExtended = 1 };

class Lightsensor_Imp final : public Varnholtstad::Lightsensor {
public:
    Lightsensor_Imp();
    ~Lightsensor_Imp();
    Lightsensor_Imp(const Lightsensor_Imp&) = delete;
    Lightsensor_Imp& operator=(const Lightsensor_Imp&) = delete;

    ErrorCode getIlluminance2(uint16_t* lux, uint8_t* ch0Code, uint8_t* ch1Code) override;
    ErrorCode getIlluminance(uint16_t* lux) override;
    ErrorCode getAverageIlluminance(uint16_t* lux) override;
    ErrorCode startAverageCalc(int32_t averageWndSize, int32_t rejectWndSize, int32_t rejectDeltaInLux,
                               int32_t mode) override;
    ErrorCode stopAverageCalc() override;
    ErrorCode getOperatingRange(int32_t* range) override;
    ErrorCode setOperatingRange(int32_t range) override;
    void release() override; // stops this object's averaging, then destroys the object

private:
    struct Reading {
        uint16_t lux = 0;
        uint8_t ch0 = 0;
        uint8_t ch1 = 0;
        int32_t range = kRangeStandard;
        bool codesRead = false;
        bool rangeRead = false;
    };
    // The codes, the lux and the range. Codes not ready: ERR_INVALID_DATA and nothing read; else
    // the values are there and the result is that of the range read.
    ErrorCode measure(Reading& reading);
    ErrorCode readRange(int32_t& range);
    ErrorCode writeRange(int32_t range);

    static uint32_t averagingThread(void* self);
    // One sample, under the mutex; a result other than success ends the averaging.
    ErrorCode sample();
    // Asks the thread to end and waits for it.
    void stopAveraging();
    void lockState();
    void unlockState();

    frame::DriverChannel auxChannel_; // opened with the object; no request uses it
    platform::SemaphoreHandle averageLock_;

    // Averaging state, shared with the thread under mutex_.
    platform::SemaphoreHandle mutex_;
    platform::SemaphoreHandle wake_; // cuts the thread's wait short when it is to stop
    AverageFilter filter_;
    int32_t mode_ = 2;
    int32_t range_ = kRangeStandard; // as last read or set
    bool running_ = false;
    bool stop_ = false;
    platform::ThreadHandle thread_; // started and not yet joined

    frame::DriverChannel channel_;
    bool supported_ = true;
};

} // namespace tavik::lighting
