#include "power/config.h"

#include "frame/handle.h"
#include "identity/fitted_hardware.h"
#include "platform/board_library.h"
#include "power/wire.h"

namespace tavik::power {
namespace {

using Gate = Config_Imp::Gate;
using Option = Config_Imp::Option;

constexpr Gate kNoGate{};
constexpr Gate kCanGate{0, Option::Can};
constexpr Gate kVideoGate{0, Option::Video};
constexpr Gate kHeatingGate{kHeatingMinSs};
constexpr Gate kActionsGate{kStartupActionsMinSs};
constexpr Gate kPowerOnStartupGate{kPowerOnStartupMinSs};

// Bits: front panel button, external on/off signal; at least one.
constexpr Config_Imp::Enumerated kStartupTrigger{kReqGetStartupTrigger, kReqSetStartupTrigger, 1, 3};
constexpr Config_Imp::Enumerated kShortPressAction{kReqGetShortPressAction, kReqSetShortPressAction, 0, 2};
constexpr Config_Imp::Enumerated kLongPressAction{kReqGetLongPressAction, kReqSetLongPressAction, 0, 2};
constexpr Config_Imp::Enumerated kOnOffSigAction{kReqGetOnOffSigAction, kReqSetOnOffSigAction, 0, 2};

// First word of the suspend record, always sent as 1.
constexpr uint16_t kSuspendRecordHead = 1;
constexpr uint8_t kMaxVideoStartupMask = 15;
constexpr uint16_t kHeatingLimitSpan = 30; // -25..+5

} // namespace

double startupVoltsFromRaw(uint16_t raw) {
    const double volts = raw * 33.0 * 12.0 / 40960.0;
    return volts < kMinStartupVolts ? kMinStartupVolts : volts;
}

bool startupRawFromVolts(double volts, uint16_t& raw) {
    // Written so that NaN fails both comparisons and is refused.
    if (!(volts >= kMinStartupVolts && volts <= kMaxStartupVolts)) return false;
    raw = static_cast<uint16_t>(static_cast<int32_t>(volts * 40960.0 / 396.0));
    return true;
}

Config_Imp::Config_Imp() {
    identity::getSsVersionNumber(&ssVersion_);
    canSupported_ = identity::canFitted();
    videoSupported_ = identity::videoFitted();
    channel_.open(); // never retried
}

// The last release: the driver, then the board library's end of session.
Config_Imp::~Config_Imp() {
    channel_.close();
    platform::board::libraryClose();
}

void Config_Imp::release() { frame::SharedInstance<Config_Imp>::releaseShared(); }

ErrorCode Config_Imp::admit(const Gate& gate) const {
    if (!channel_.isOpen()) return ERR_OPEN_FAILED;
    if (ssVersion_ < gate.minSs) return ERR_NEWER_SS_VERSION_REQUIRED;
    if (gate.option == Option::Can && !canSupported_) return ERR_NOT_SUPPORTED;
    if (gate.option == Option::Video && !videoSupported_) return ERR_NOT_SUPPORTED;
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::read16(const Gate& gate, uint32_t code, uint16_t& value) {
    if (const ErrorCode e = admit(gate); e != ERR_SUCCESS) return e;
    uint8_t reply[2] = {};
    if (const ErrorCode e = channel_.read(code, reply, sizeof reply); e != ERR_SUCCESS) return e;
    value = wire::get16(reply);
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::write16(const Gate& gate, uint32_t code, uint16_t value) {
    if (const ErrorCode e = admit(gate); e != ERR_SUCCESS) return e;
    uint8_t data[2];
    wire::put16(data, value);
    return channel_.write(code, data, sizeof data);
}

ErrorCode Config_Imp::readRecordTime(uint32_t code, uint16_t* time) {
    if (time == nullptr) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = admit(kNoGate); e != ERR_SUCCESS) return e;
    uint8_t reply[4] = {};
    if (const ErrorCode e = channel_.read(code, reply, sizeof reply); e != ERR_SUCCESS) return e;
    *time = wire::get16(reply + 2);
    return ERR_SUCCESS;
}

// The whole 16-bit reply must be one of the accepted numbers.
ErrorCode Config_Imp::getEnumerated(const Enumerated& setting, int32_t* value) {
    if (value == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t raw = 0;
    if (const ErrorCode e = read16(kActionsGate, setting.getCode, raw); e != ERR_SUCCESS) return e;
    if (raw < setting.lowest || raw > setting.highest) return ERR_INVALID_DATA;
    *value = raw;
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::setEnumerated(const Enumerated& setting, int32_t value) {
    if (const ErrorCode e = admit(kActionsGate); e != ERR_SUCCESS) return e;
    if (value < setting.lowest || value > setting.highest) return ERR_INVALID_DATA;
    return write16(kActionsGate, setting.setCode, static_cast<uint16_t>(value));
}

ErrorCode Config_Imp::getStartupTriggerConfig(int32_t* v) { return getEnumerated(kStartupTrigger, v); }
ErrorCode Config_Imp::getShortButtonPressAction(int32_t* v) { return getEnumerated(kShortPressAction, v); }
ErrorCode Config_Imp::getLongButtonPressAction(int32_t* v) { return getEnumerated(kLongPressAction, v); }
ErrorCode Config_Imp::getOnOffSigAction(int32_t* v) { return getEnumerated(kOnOffSigAction, v); }
ErrorCode Config_Imp::setStartupTriggerConfig(int32_t v) { return setEnumerated(kStartupTrigger, v); }
ErrorCode Config_Imp::setShortButtonPressAction(int32_t v) { return setEnumerated(kShortPressAction, v); }
ErrorCode Config_Imp::setLongButtonPressAction(int32_t v) { return setEnumerated(kLongPressAction, v); }
ErrorCode Config_Imp::setOnOffSigAction(int32_t v) { return setEnumerated(kOnOffSigAction, v); }

ErrorCode Config_Imp::getFrontBtnTrigTime(uint16_t* t) { return readRecordTime(kReqGetFrontBtnTrigTime, t); }
ErrorCode Config_Imp::getSuspendMaxTime(uint16_t* t) { return readRecordTime(kReqGetSuspendMaxTime, t); }

// Read-modify-write: the record's first word is carried over, the time replaces the second.
ErrorCode Config_Imp::setFrontBtnTrigTime(uint16_t time) {
    if (const ErrorCode e = admit(kNoGate); e != ERR_SUCCESS) return e;
    uint8_t record[4] = {};
    if (const ErrorCode e = channel_.read(kReqGetFrontBtnTrigTime, record, sizeof record);
        e != ERR_SUCCESS)
        return e;
    wire::put16(record + 2, time);
    return channel_.write(kReqSetFrontBtnTrigTime, record, sizeof record);
}

ErrorCode Config_Imp::setSuspendMaxTime(uint16_t time) {
    if (const ErrorCode e = admit(kNoGate); e != ERR_SUCCESS) return e;
    uint8_t record[4];
    wire::put16(record, kSuspendRecordHead);
    wire::put16(record + 2, time);
    return channel_.write(kReqSetSuspendMaxTime, record, sizeof record);
}

ErrorCode Config_Imp::getExtOnOffSigTrigTime(int32_t* time) {
    if (time == nullptr) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = admit(kNoGate); e != ERR_SUCCESS) return e;
    uint8_t reply[4] = {};
    if (const ErrorCode e = channel_.read(kReqGetExtOnOffSigTrigTime, reply, sizeof reply);
        e != ERR_SUCCESS)
        return e;
    *time = static_cast<int32_t>(wire::get32(reply));
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::setExtOnOffSigTrigTime(int32_t time) {
    if (const ErrorCode e = admit(kNoGate); e != ERR_SUCCESS) return e;
    uint8_t data[4];
    wire::put32(data, static_cast<uint32_t>(time));
    return channel_.write(kReqSetExtOnOffSigTrigTime, data, sizeof data);
}

ErrorCode Config_Imp::getCanStartupPowerConfig(int32_t* config) {
    if (config == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t raw = 0;
    if (const ErrorCode e = read16(kCanGate, kReqGetCanStartupPower, raw); e != ERR_SUCCESS) return e;
    *config = raw;
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::setCanStartupPowerConfig(uint16_t config) {
    return write16(kCanGate, kReqSetCanStartupPower, config);
}

ErrorCode Config_Imp::getVideoStartupPowerConfig(uint8_t* config) {
    if (config == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t raw = 0;
    if (const ErrorCode e = read16(kVideoGate, kReqGetVideoStartupPower, raw); e != ERR_SUCCESS) return e;
    *config = static_cast<uint8_t>(raw); // byte 0
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::setVideoStartupPowerConfig(uint8_t config) {
    if (const ErrorCode e = admit(kVideoGate); e != ERR_SUCCESS) return e;
    if (config > kMaxVideoStartupMask) return ERR_INVALID_DATA;
    return write16(kVideoGate, kReqSetVideoStartupPower, config);
}

ErrorCode Config_Imp::getExtFanStartupPowerConfig(int32_t* config) {
    if (config == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t raw = 0;
    if (const ErrorCode e = read16(kNoGate, kReqGetExtFanStartupPower, raw); e != ERR_SUCCESS) return e;
    *config = raw;
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::setExtFanStartupPowerConfig(uint16_t config) {
    return write16(kNoGate, kReqSetExtFanStartupPower, config);
}

ErrorCode Config_Imp::getStartupVoltageConfig(double* voltage) {
    if (voltage == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t raw = 0;
    if (const ErrorCode e = read16(kNoGate, kReqGetStartupVoltage, raw); e != ERR_SUCCESS) return e;
    *voltage = startupVoltsFromRaw(raw);
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::setStartupVoltageConfig(double voltage) {
    if (const ErrorCode e = admit(kNoGate); e != ERR_SUCCESS) return e;
    uint16_t raw = 0;
    if (!startupRawFromVolts(voltage, raw)) return ERR_INVALID_DATA;
    return write16(kNoGate, kReqSetStartupVoltage, raw);
}

ErrorCode Config_Imp::getHeatingTempLimit(int16_t* temperature) {
    if (temperature == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t raw = 0;
    if (const ErrorCode e = read16(kHeatingGate, kReqGetHeatingLimit, raw); e != ERR_SUCCESS) return e;
    if (raw == kNoHeating) return ERR_NOT_SUPPORTED;
    if (raw < kHeatingRawOffset - 25 || raw > kHeatingRawOffset + 5) return ERR_INVALID_DATA;
    *temperature = static_cast<int16_t>(raw - kHeatingRawOffset);
    return ERR_SUCCESS;
}

// Range first, then a read that only tells whether heating is fitted, then the write.
ErrorCode Config_Imp::setHeatingTempLimit(int16_t temperature) {
    if (const ErrorCode e = admit(kHeatingGate); e != ERR_SUCCESS) return e;
    if (static_cast<uint16_t>(temperature + 25) > kHeatingLimitSpan) return ERR_INVALID_DATA;
    uint16_t current = 0;
    if (const ErrorCode e = read16(kHeatingGate, kReqGetHeatingLimit, current); e != ERR_SUCCESS) return e;
    if (current == kNoHeating) return ERR_NOT_SUPPORTED;
    return write16(kHeatingGate, kReqSetHeatingLimit, static_cast<uint16_t>(temperature + kHeatingRawOffset));
}

ErrorCode Config_Imp::getPowerOnStartup(int32_t* enabled) {
    if (enabled == nullptr) return ERR_INVALID_PARAMETER;
    uint16_t raw = 0;
    if (const ErrorCode e = read16(kPowerOnStartupGate, kReqGetPowerOnStartup, raw); e != ERR_SUCCESS)
        return e;
    *enabled = raw != 0 ? 1 : 0;
    return ERR_SUCCESS;
}

ErrorCode Config_Imp::setPowerOnStartup(uint16_t enabled) {
    return write16(kPowerOnStartupGate, kReqSetPowerOnStartup, enabled);
}

// This hardware has no RS485 port to switch.
ErrorCode Config_Imp::setRS485Enabled(int32_t, int32_t) { return ERR_NOT_SUPPORTED; }
ErrorCode Config_Imp::getRS485Enabled(int32_t, int32_t*) { return ERR_NOT_SUPPORTED; }

} // namespace tavik::power

using tavik::frame::Family;
using tavik::frame::forward;
using tavik::power::Config_Imp;
using Varnholtstad::Config;

TAVIK_API Config* TAVIK_CALL GetConfig(void) { return tavik::frame::SharedInstance<Config_Imp>::acquire(); }

TAVIK_API void TAVIK_CALL Config_release(Config* h) { tavik::frame::forwardRelease<Family::Config>(h); }

#define TAVIK_CONFIG_EXPORT(op, Arg)                                                               \
    TAVIK_API ErrorCode TAVIK_CALL Config_##op(Config* h, Arg value) {                             \
        return forward<Family::Config>(h, &Config::op, value);                                     \
    }

TAVIK_CONFIG_EXPORT(getStartupTriggerConfig, int32_t*)
TAVIK_CONFIG_EXPORT(getShortButtonPressAction, int32_t*)
TAVIK_CONFIG_EXPORT(getLongButtonPressAction, int32_t*)
TAVIK_CONFIG_EXPORT(getOnOffSigAction, int32_t*)
TAVIK_CONFIG_EXPORT(getFrontBtnTrigTime, uint16_t*)
TAVIK_CONFIG_EXPORT(getExtOnOffSigTrigTime, int32_t*)
TAVIK_CONFIG_EXPORT(getSuspendMaxTime, uint16_t*)
TAVIK_CONFIG_EXPORT(getCanStartupPowerConfig, int32_t*)
TAVIK_CONFIG_EXPORT(getVideoStartupPowerConfig, uint8_t*)
TAVIK_CONFIG_EXPORT(getExtFanStartupPowerConfig, int32_t*)
TAVIK_CONFIG_EXPORT(getStartupVoltageConfig, double*)
TAVIK_CONFIG_EXPORT(getHeatingTempLimit, int16_t*)
TAVIK_CONFIG_EXPORT(getPowerOnStartup, int32_t*)
TAVIK_CONFIG_EXPORT(setStartupTriggerConfig, int32_t)
TAVIK_CONFIG_EXPORT(setShortButtonPressAction, int32_t)
TAVIK_CONFIG_EXPORT(setLongButtonPressAction, int32_t)
TAVIK_CONFIG_EXPORT(setOnOffSigAction, int32_t)
TAVIK_CONFIG_EXPORT(setFrontBtnTrigTime, uint16_t)
TAVIK_CONFIG_EXPORT(setExtOnOffSigTrigTime, int32_t)
TAVIK_CONFIG_EXPORT(setSuspendMaxTime, uint16_t)
TAVIK_CONFIG_EXPORT(setCanStartupPowerConfig, uint16_t)
TAVIK_CONFIG_EXPORT(setVideoStartupPowerConfig, uint8_t)
TAVIK_CONFIG_EXPORT(setExtFanStartupPowerConfig, uint16_t)
TAVIK_CONFIG_EXPORT(setStartupVoltageConfig, double)
TAVIK_CONFIG_EXPORT(setHeatingTempLimit, int16_t)
TAVIK_CONFIG_EXPORT(setPowerOnStartup, uint16_t)

TAVIK_API ErrorCode TAVIK_CALL Config_setRS485Enabled(Config* h, int32_t port, int32_t enabled) {
    return forward<Family::Config>(h, &Config::setRS485Enabled, port, enabled);
}
TAVIK_API ErrorCode TAVIK_CALL Config_getRS485Enabled(Config* h, int32_t port, int32_t* enabled) {
    return forward<Family::Config>(h, &Config::getRS485Enabled, port, enabled);
}
