#include "signals/front_led.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "frame/handle.h"

namespace tavik::signals {

uint8_t dimmedLevel(uint8_t intensity) {
    const int level = static_cast<int>(intensity * 15.0 / 255.0);
    return static_cast<uint8_t>(std::clamp(level, 1, static_cast<int>(kMaxColorLevel)));
}

Color dimmedColor(Color c, uint8_t intensity) {
    const int lit = (c.red != 0) + (c.green != 0) + (c.blue != 0);
    if (lit != 1) return c; // mixed colours and black keep their components
    const uint8_t level = dimmedLevel(intensity);
    if (c.red != 0) c.red = level;
    if (c.green != 0) c.green = level;
    if (c.blue != 0) c.blue = level;
    return c;
}

bool signalTimes(double frequency, uint8_t dutyCycle, uint8_t& on, uint8_t& off) {
    const double period = 100.0 / frequency; // hundredths of a second
    const double onTime = std::trunc(period * (dutyCycle / 100.0));
    if (!(onTime >= 0 && onTime <= 255)) return false;
    const double offTime = std::trunc(period - onTime);
    if (!(offTime >= 0 && offTime <= 255)) return false;
    on = static_cast<uint8_t>(onTime);
    off = static_cast<uint8_t>(offTime);
    return true;
}

FrontLED_Imp::FrontLED_Imp() : backlight_(nullptr) {
    channel_.open();
    backlight_ = GetBacklight();
}

FrontLED_Imp::~FrontLED_Imp() {
    channel_.close();
    Backlight_release(backlight_);
}

void FrontLED_Imp::release() { frame::SharedInstance<FrontLED_Imp>::releaseShared(); }

ErrorCode FrontLED_Imp::getField(SignalField field, uint8_t* value) {
    if (value == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t record[4] = {};
    if (const ErrorCode e = channel_.read(kReqSignalRead, record, sizeof record); e != ERR_SUCCESS) return e;
    *value = record[field];
    return ERR_SUCCESS;
}

ErrorCode FrontLED_Imp::setField(SignalField field, uint8_t value) {
    uint8_t record[4] = {};
    if (const ErrorCode e = channel_.read(kReqSignalRead, record, sizeof record); e != ERR_SUCCESS) return e;
    record[field] = value;
    return channel_.requestUnchecked(kReqSignalWrite, record, sizeof record, nullptr, 0);
}

ErrorCode FrontLED_Imp::getOnTime(uint8_t* t) { return getField(kOnTime, t); }
ErrorCode FrontLED_Imp::getOffTime(uint8_t* t) { return getField(kOffTime, t); }
ErrorCode FrontLED_Imp::getIdleTime(uint8_t* t) { return getField(kIdleTime, t); }
ErrorCode FrontLED_Imp::getNrOfPulses(uint8_t* n) { return getField(kPulses, n); }
ErrorCode FrontLED_Imp::setOnTime(uint8_t t) { return setField(kOnTime, t); }
ErrorCode FrontLED_Imp::setOffTime(uint8_t t) { return setField(kOffTime, t); }
ErrorCode FrontLED_Imp::setIdleTime(uint8_t t) { return setField(kIdleTime, t); }
ErrorCode FrontLED_Imp::setNrOfPulses(uint8_t n) { return setField(kPulses, n); }
ErrorCode FrontLED_Imp::setOff() { return setOnTime(0); }

ErrorCode FrontLED_Imp::getSignal(double* frequency, uint8_t* dutyCycle) {
    if (frequency == nullptr || dutyCycle == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t on = 0, off = 0;
    if (const ErrorCode e = getOnTime(&on); e != ERR_SUCCESS) return e;
    if (const ErrorCode e = getOffTime(&off); e != ERR_SUCCESS) return e;
    const int sum = on + off;
    if (sum == 0) return ERR_INVALID_DATA; // no period to speak of
    *frequency = 100.0 / sum;
    *dutyCycle = static_cast<uint8_t>(static_cast<int>(static_cast<double>(on) / sum * 100));
    return ERR_SUCCESS;
}

ErrorCode FrontLED_Imp::setSignal(double frequency, uint8_t dutyCycle) {
    // Written so that NaN fails the range test.
    if (!(frequency >= kMinSignalHz && frequency <= kMaxSignalHz) || dutyCycle > kMaxDutyCycle)
        return ERR_INVALID_PARAMETER;
    uint8_t on = 0, off = 0;
    // Slow patterns whose on or off time exceeds 2.55 s do not fit the record's fields.
    if (!signalTimes(frequency, dutyCycle, on, off)) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = setOnTime(on); e != ERR_SUCCESS) return e;
    return setOffTime(off);
}

ErrorCode FrontLED_Imp::setColor(uint8_t red, uint8_t green, uint8_t blue) {
    if (red > kMaxColorLevel || green > kMaxColorLevel || blue > kMaxColorLevel) return ERR_INVALID_PARAMETER;
    if (!channel_.isOpen()) return ERR_OPEN_FAILED;
    Color c{red, green, blue};
    // Failing backlight queries are no error: the colour then goes out undimmed.
    int32_t dimming = 0;
    uint8_t intensity = 0;
    if (Backlight_getLedDimming(backlight_, &dimming) == ERR_SUCCESS && dimming != 0 &&
        Backlight_getIntensity(backlight_, &intensity) == ERR_SUCCESS)
        c = dimmedColor(c, intensity);
    const uint8_t record[3] = {c.red, c.green, c.blue};
    return channel_.requestUnchecked(kReqColorWrite, record, sizeof record, nullptr, 0);
}

ErrorCode FrontLED_Imp::getColor(uint8_t* red, uint8_t* green, uint8_t* blue) {
    if (red == nullptr || green == nullptr || blue == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t record[3] = {};
    if (const ErrorCode e = channel_.read(kReqColorRead, record, sizeof record); e != ERR_SUCCESS) return e;
    *red = record[0];
    *green = record[1];
    *blue = record[2];
    return ERR_SUCCESS;
}

ErrorCode FrontLED_Imp::setStandardColor(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(std::size(kStandardColors))) return ERR_INVALID_PARAMETER;
    const Color& c = kStandardColors[index];
    return setColor(c.red, c.green, c.blue);
}

ErrorCode FrontLED_Imp::getStandardColor(int32_t* index) {
    if (index == nullptr) return ERR_INVALID_PARAMETER;
    Color c{};
    if (const ErrorCode e = getColor(&c.red, &c.green, &c.blue); e != ERR_SUCCESS) return e;
    const auto* found = std::find(std::begin(kStandardColors), std::end(kStandardColors), c);
    *index = found == std::end(kStandardColors) ? kNoStandardColor
                                                : static_cast<int32_t>(found - std::begin(kStandardColors));
    return ERR_SUCCESS;
}

ErrorCode FrontLED_Imp::getEnabledDuringStartup(int32_t* enabled) {
    if (enabled == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t byte = 0;
    if (const ErrorCode e = channel_.read(kReqStartupRead, &byte, 1); e != ERR_SUCCESS) return e;
    *enabled = static_cast<int8_t>(byte) > 0 ? 1 : 0; // 128..255 read as disabled
    return ERR_SUCCESS;
}

ErrorCode FrontLED_Imp::setEnabledDuringStartup(int32_t enabled) {
    const uint8_t byte = enabled == 1 ? 1 : 0;
    return channel_.requestUnchecked(kReqStartupWrite, &byte, 1, nullptr, 0);
}

} // namespace tavik::signals

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::FrontLED;

TAVIK_API FrontLED* TAVIK_CALL GetFrontLED(void) {
    return tavik::frame::SharedInstance<tavik::signals::FrontLED_Imp>::acquire();
}

TAVIK_API void TAVIK_CALL FrontLED_release(FrontLED* h) { tavik::frame::forwardRelease<Family::FrontLED>(h); }

TAVIK_API ErrorCode TAVIK_CALL FrontLED_getSignal(FrontLED* h, double* frequency, uint8_t* dutyCycle) {
    return forward<Family::FrontLED>(h, &FrontLED::getSignal, frequency, dutyCycle);
}
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setSignal(FrontLED* h, double frequency, uint8_t dutyCycle) {
    return forward<Family::FrontLED>(h, &FrontLED::setSignal, frequency, dutyCycle);
}
TAVIK_API ErrorCode TAVIK_CALL FrontLED_getColor(FrontLED* h, uint8_t* red, uint8_t* green, uint8_t* blue) {
    return forward<Family::FrontLED>(h, &FrontLED::getColor, red, green, blue);
}
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setColor(FrontLED* h, uint8_t red, uint8_t green, uint8_t blue) {
    return forward<Family::FrontLED>(h, &FrontLED::setColor, red, green, blue);
}
TAVIK_API ErrorCode TAVIK_CALL FrontLED_setOff(FrontLED* h) { return forward<Family::FrontLED>(h, &FrontLED::setOff); }

#define TAVIK_FRONT_LED_EXPORT(op, type)                                                                 \
    TAVIK_API ErrorCode TAVIK_CALL FrontLED_##op(FrontLED* h, type value) {                              \
        return forward<Family::FrontLED>(h, &FrontLED::op, value);                                       \
    }

TAVIK_FRONT_LED_EXPORT(getOnTime, uint8_t*)
TAVIK_FRONT_LED_EXPORT(getOffTime, uint8_t*)
TAVIK_FRONT_LED_EXPORT(getIdleTime, uint8_t*)
TAVIK_FRONT_LED_EXPORT(getNrOfPulses, uint8_t*)
TAVIK_FRONT_LED_EXPORT(getStandardColor, int32_t*)
TAVIK_FRONT_LED_EXPORT(getEnabledDuringStartup, int32_t*)
TAVIK_FRONT_LED_EXPORT(setOnTime, uint8_t)
TAVIK_FRONT_LED_EXPORT(setOffTime, uint8_t)
TAVIK_FRONT_LED_EXPORT(setIdleTime, uint8_t)
TAVIK_FRONT_LED_EXPORT(setNrOfPulses, uint8_t)
TAVIK_FRONT_LED_EXPORT(setStandardColor, int32_t)
TAVIK_FRONT_LED_EXPORT(setEnabledDuringStartup, int32_t)
