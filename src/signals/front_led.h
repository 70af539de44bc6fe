// The FrontLED family: blink pattern, colour and start-up flag of the front status LED. One object
// per process, shared and counted; it holds a Backlight handle so that a single-colour LED can
// follow the backlight level (LED dimming).
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "tavik2/backlight.h"
#include "tavik2/front_led.h"

namespace tavik::signals {

constexpr uint32_t kReqSignalRead = frame::requestCode(0x94C);   // 4 bytes out: the signal record
constexpr uint32_t kReqSignalWrite = frame::requestCode(0x94D);  // 4 bytes in; count not examined
constexpr uint32_t kReqColorRead = frame::requestCode(0x94E);    // 3 bytes out: red, green, blue
constexpr uint32_t kReqColorWrite = frame::requestCode(0x94F);   // 3 bytes in; count not examined
constexpr uint32_t kReqStartupRead = frame::requestCode(0x950);  // 1 byte out
constexpr uint32_t kReqStartupWrite = frame::requestCode(0x951); // 1 byte in; count not examined

// Signal record bytes.
enum SignalField : int { kOnTime = 0, kOffTime = 1, kIdleTime = 2, kPulses = 3 };

constexpr uint8_t kMaxColorLevel = 15;
constexpr double kMinSignalHz = 0.2, kMaxSignalHz = 50.0;
constexpr uint8_t kMaxDutyCycle = 100;

struct Color {
    uint8_t red, green, blue;
    bool operator==(const Color& o) const { return red == o.red && green == o.green && blue == o.blue; }
};

// Standard colours by index: red, green, blue, cyan, magenta, orange. getStandardColor gives
// kNoStandardColor for any other colour.
constexpr Color kStandardColors[] = {{15, 0, 0}, {0, 15, 0}, {0, 0, 15}, {0, 15, 15}, {12, 0, 4}, {15, 5, 0}};
constexpr int32_t kNoStandardColor = 6;

// LED dimming: the level a single-component colour takes at a backlight intensity.
uint8_t dimmedLevel(uint8_t intensity);
// The colour sent: with dimming, a colour with exactly one non-zero component takes the level.
Color dimmedColor(Color requested, uint8_t intensity);

// On and off times (hundredths of a second) of a blink frequency and duty cycle; false when
// either does not fit its 8-bit field.
bool signalTimes(double frequency, uint8_t dutyCycle, uint8_t& on, uint8_t& off);

class FrontLED_Imp final : public Varnholtstad::FrontLED {
public:
    FrontLED_Imp();
    ~FrontLED_Imp(); // closes the driver channel and releases the Backlight handle
    FrontLED_Imp(const FrontLED_Imp&) = delete;
    FrontLED_Imp& operator=(const FrontLED_Imp&) = delete;

    ErrorCode getSignal(double* frequency, uint8_t* dutyCycle) override;
    ErrorCode getOnTime(uint8_t* time) override;
    ErrorCode getOffTime(uint8_t* time) override;
    ErrorCode getIdleTime(uint8_t* time) override;
    ErrorCode getNrOfPulses(uint8_t* count) override;
    ErrorCode getStandardColor(int32_t* color) override;
    ErrorCode getColor(uint8_t* red, uint8_t* green, uint8_t* blue) override;
    ErrorCode getEnabledDuringStartup(int32_t* enabled) override;
    ErrorCode setSignal(double frequency, uint8_t dutyCycle) override;
    ErrorCode setOnTime(uint8_t time) override;
    ErrorCode setOffTime(uint8_t time) override;
    ErrorCode setIdleTime(uint8_t time) override;
    ErrorCode setNrOfPulses(uint8_t count) override;
    ErrorCode setStandardColor(int32_t color) override;
    ErrorCode setColor(uint8_t red, uint8_t green, uint8_t blue) override;
    ErrorCode setOff() override;
    ErrorCode setEnabledDuringStartup(int32_t enabled) override;
    void release() override; // drops one reference; the last one destroys the object

private:
    ErrorCode getField(SignalField field, uint8_t* value);
    // Reads the whole record, replaces one byte, writes it back.
    ErrorCode setField(SignalField field, uint8_t value);

    frame::DriverChannel channel_;
    Varnholtstad::Backlight* backlight_;
};

} // namespace tavik::signals
