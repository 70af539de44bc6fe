#include "identity/battery.h"

#include <cstdio>
#include <cstring>

#include "frame/handle.h"
#include "identity/about.h"
#include "identity/text_out.h"

namespace tavik::identity {
namespace {

constexpr uint16_t kEmptyMillivolts = 8100;
constexpr uint16_t kFullMillivolts = 12300;

// A state and the bit that signals it, in the order the bits are tested.
struct BitState {
    uint16_t bit;
    int32_t state;
};

constexpr BitState kChargingStates[] = {{4, 4}, {3, 3}, {2, 2}, {1, 1}};
// Bits 5 and 3 both mean state 3; bit 5 is tested before bit 4.
constexpr BitState kErrorStates[] = {{6, 5}, {5, 3}, {4, 4}, {3, 3}, {2, 2}, {1, 1}};

template <size_t N>
int32_t firstSetBit(uint16_t value, const BitState (&table)[N]) {
    for (const BitState& s : table)
        if (value & (1u << s.bit)) return s.state;
    return 0;
}

// The registers of the nine time counters: each counter is first * 60 + second.
struct TimerRegisters {
    uint16_t first;
    uint16_t second;
};
constexpr TimerRegisters kTimerRegisters[9] = {
    {20, 22}, {21, 23}, {26, 27}, {28, 29}, {30, 31}, {32, 33}, {34, 35}, {36, 37}, {38, 39},
};

constexpr uint32_t kMinutesPerHour = 60;

int16_t asIs(uint16_t v) { return static_cast<int16_t>(v); }
int32_t powerSource(uint16_t status) { return (status & 1u) ? 0 : 1; }

} // namespace

uint8_t batteryPercent(uint16_t mv) {
    if (mv <= kEmptyMillivolts) return 0;
    if (mv >= kFullMillivolts) return 100;
    return static_cast<uint8_t>((mv - kEmptyMillivolts) * 100u / (kFullMillivolts - kEmptyMillivolts));
}

int32_t batteryChargingState(uint16_t status) { return firstSetBit(status, kChargingStates); }
int32_t batteryErrorState(uint16_t errors) { return firstSetBit(errors, kErrorStates); }

// Driver, main board image, supervisor version, then presence; any failure of the presence
// check counts as no battery.
Battery_Imp::Battery_Imp() : main_(nullptr) {
    channel_.open();
    main_ = acquireEepromImage(kMainEeprom);
    getSsVersionNumber(&ssVersion_);
    bool present = false;
    present_ = isBatteryPresent(&present) == ERR_SUCCESS && present;
}

Battery_Imp::~Battery_Imp() {
    channel_.close();
    releaseEepromImage(kMainEeprom);
}

void Battery_Imp::release() { delete this; }

// The request goes out whatever the channel's open flag says: a driver that could not be opened
// fails the request itself, so it shows as ERR_IOCTRL_FAILED.
ErrorCode Battery_Imp::readRegister(uint16_t number, uint16_t& value) {
    const uint8_t in[2] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8)};
    uint8_t out[2] = {};
    const ErrorCode e = channel_.transfer(kReqBatteryRegister, in, sizeof in, out, sizeof out, sizeof out);
    if (e == ERR_OPEN_FAILED) return ERR_IOCTRL_FAILED;
    if (e != ERR_SUCCESS) return e;
    value = static_cast<uint16_t>(out[0] | out[1] << 8);
    return ERR_SUCCESS;
}

ErrorCode Battery_Imp::admit(const void* out) const {
    if (!present_) return ERR_NOT_SUPPORTED;
    return out == nullptr ? ERR_INVALID_PARAMETER : ERR_SUCCESS;
}

template <class T>
ErrorCode Battery_Imp::readConverted(uint16_t number, T* out, T (*convert)(uint16_t)) {
    if (const ErrorCode e = admit(out); e != ERR_SUCCESS) return e;
    uint16_t raw = 0;
    if (const ErrorCode e = readRegister(number, raw); e != ERR_SUCCESS) return e;
    *out = convert(raw);
    return ERR_SUCCESS;
}

ErrorCode Battery_Imp::isBatteryPresent(bool* present) {
    if (ssVersion_ < kBatteryMinSs) return ERR_NEWER_SS_VERSION_REQUIRED;
    char value[kMaxValueLength + 1] = {};
    if (main_ == nullptr || !main_->getProperty("BATTERY", value)) return ERR_EEPROM;
    if (present == nullptr) return ERR_INVALID_PARAMETER;
    *present = parseRecordNumber(value).value == 1;
    return ERR_SUCCESS;
}

ErrorCode Battery_Imp::getBatteryVoltageStatus(uint8_t* p) {
    return readConverted(battery_reg::kVoltage, p, &batteryPercent);
}
ErrorCode Battery_Imp::getBatteryChargingStatus(int32_t* s) {
    return readConverted(battery_reg::kStatus, s, &batteryChargingState);
}
ErrorCode Battery_Imp::getPowerSource(int32_t* s) { return readConverted(battery_reg::kStatus, s, &powerSource); }
ErrorCode Battery_Imp::getBatteryTemp(int16_t* t) { return readConverted(battery_reg::kTemperature, t, &asIs); }
ErrorCode Battery_Imp::getHwErrorStatus(int32_t* s) {
    return readConverted(battery_reg::kErrors, s, &batteryErrorState);
}

// Fields are written as they complete; a failing read leaves the ones before it filled.
ErrorCode Battery_Imp::getTimer(Varnholtstad::BatteryTimer* timer) {
    if (const ErrorCode e = admit(timer); e != ERR_SUCCESS) return e;
    for (size_t i = 0; i < 9; ++i) {
        uint16_t first = 0, second = 0;
        if (const ErrorCode e = readRegister(kTimerRegisters[i].first, first); e != ERR_SUCCESS) return e;
        if (const ErrorCode e = readRegister(kTimerRegisters[i].second, second); e != ERR_SUCCESS) return e;
        timer->counter[i] = first * kMinutesPerHour + second;
    }
    return ERR_SUCCESS;
}

ErrorCode Battery_Imp::getMinMaxTemp(int16_t* minTemp, int16_t* maxTemp) {
    if (const ErrorCode e = admit(minTemp); e != ERR_SUCCESS) return e;
    if (maxTemp == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t lo = 0, hi = 0;
    if (const ErrorCode e = readRegister(battery_reg::kMinTemp, lo); e != ERR_SUCCESS) return e;
    if (const ErrorCode e = readRegister(battery_reg::kMaxTemp, hi); e != ERR_SUCCESS) return e;
    *minTemp = static_cast<int16_t>(lo - kBatteryTempOffset);
    *maxTemp = static_cast<int16_t>(hi - kBatteryTempOffset);
    return ERR_SUCCESS;
}

ErrorCode Battery_Imp::getBatteryHWversion(char* buffer, int32_t length) {
    if (!present_) return ERR_NOT_SUPPORTED;
    uint16_t raw = 0;
    if (const ErrorCode e = readRegister(battery_reg::kHwVersion, raw); e != ERR_SUCCESS) return e;
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d", raw >> 8, raw & 0xFF);
    return deliverText(text, buffer, length);
}

// Null pointers give ERR_IOCTRL_FAILED when their turn comes; the parts before stay delivered.
ErrorCode Battery_Imp::getBatterySwVersion(uint16_t* major, uint16_t* minor, uint16_t* releaseNr,
                                           uint16_t* build) {
    if (!present_) return ERR_NOT_SUPPORTED;
    uint16_t* parts[] = {major, minor, releaseNr, build};
    for (uint16_t i = 0; i < 4; ++i) {
        if (parts[i] == nullptr) return ERR_IOCTRL_FAILED;
        if (const ErrorCode e = readRegister(battery_reg::kSwVersion + i, *parts[i]); e != ERR_SUCCESS) return e;
    }
    return ERR_SUCCESS;
}

ErrorCode Battery_Imp::getBatterySerial(char* buffer, int32_t length) {
    if (!present_) return ERR_NOT_SUPPORTED;
    if (length <= kBatterySerialChars) return ERR_BUFFER_SIZE;
    if (buffer == nullptr) return ERR_INVALID_PARAMETER;
    char text[kBatterySerialChars + 1] = {};
    for (uint16_t i = 0; i < kBatterySerialChars / 2; ++i) {
        uint16_t raw = 0;
        if (const ErrorCode e = readRegister(battery_reg::kSerial + i, raw); e != ERR_SUCCESS) return e;
        text[2 * i] = static_cast<char>(raw >> 8);
        text[2 * i + 1] = static_cast<char>(raw & 0xFF);
    }
    std::strcpy(buffer, text); // a zero character ends the serial early
    return ERR_SUCCESS;
}

} // namespace tavik::identity

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::Battery;

TAVIK_API Battery* TAVIK_CALL GetBattery(void) { return tavik::frame::createFresh<tavik::identity::Battery_Imp>(); }

TAVIK_API void TAVIK_CALL Battery_release(Battery* h) { tavik::frame::forwardRelease<Family::Battery>(h); }

TAVIK_API ErrorCode TAVIK_CALL Battery_isBatteryPresent(Battery* h, bool* present) {
    return forward<Family::Battery>(h, &Battery::isBatteryPresent, present);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryVoltageStatus(Battery* h, uint8_t* percent) {
    return forward<Family::Battery>(h, &Battery::getBatteryVoltageStatus, percent);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryChargingStatus(Battery* h, int32_t* status) {
    return forward<Family::Battery>(h, &Battery::getBatteryChargingStatus, status);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getPowerSource(Battery* h, int32_t* source) {
    return forward<Family::Battery>(h, &Battery::getPowerSource, source);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryTemp(Battery* h, int16_t* temperature) {
    return forward<Family::Battery>(h, &Battery::getBatteryTemp, temperature);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getHwErrorStatus(Battery* h, int32_t* status) {
    return forward<Family::Battery>(h, &Battery::getHwErrorStatus, status);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getTimer(Battery* h, Varnholtstad::BatteryTimer* timer) {
    return forward<Family::Battery>(h, &Battery::getTimer, timer);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getMinMaxTemp(Battery* h, int16_t* minTemp, int16_t* maxTemp) {
    return forward<Family::Battery>(h, &Battery::getMinMaxTemp, minTemp, maxTemp);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatteryHWversion(Battery* h, char* buffer, int32_t length) {
    return forward<Family::Battery>(h, &Battery::getBatteryHWversion, buffer, length);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatterySwVersion(Battery* h, uint16_t* major, uint16_t* minor,
                                                           uint16_t* releaseNr, uint16_t* build) {
    return forward<Family::Battery>(h, &Battery::getBatterySwVersion, major, minor, releaseNr, build);
}
TAVIK_API ErrorCode TAVIK_CALL Battery_getBatterySerial(Battery* h, char* buffer, int32_t length) {
    return forward<Family::Battery>(h, &Battery::getBatterySerial, buffer, length);
}
