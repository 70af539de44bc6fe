// The default unit's answers for the remaining families, as data: each case calls one export by
// name with the family's handle and the case's arguments, expects its result code and compares
// the values it wrote. The host suite runs the table through libtavik2.so against a fresh unit
// (tests/host/default_unit_cases_test.cpp), the wine program through Tavik2.dll against
// `tavikctl sim serve` (tests/wine/sim_remote/). The cases of a family run in order, so a set
// followed by its get checks the value read back. Portable C++, no test framework.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace tavik::test::default_unit {

// How an argument is passed: a value (In), a pointer to a zeroed value that the call fills and
// that must then equal the expected one (Out), or one whose value is not compared (Any).
enum class Dir : uint8_t { None, In, Out, Any };
// Text: a pointer to a buffer of kTextBytes bytes, followed by an In argument with its length.
enum class Type : uint8_t { U8, Bool, I16, U16, I32, I64, F32, F64, Text };

inline constexpr size_t kMaxArgs = 4;
inline constexpr int32_t kTextBytes = 64;

struct Arg {
    Dir dir;
    Type type;
    double value;
    const char* text;
};
constexpr Arg in(Type t, double v) { return {Dir::In, t, v, nullptr}; }
constexpr Arg out(Type t, double v) { return {Dir::Out, t, v, nullptr}; }
constexpr Arg any(Type t) { return {Dir::Any, t, 0, nullptr}; }
constexpr Arg outText(const char* s) { return {Dir::Out, Type::Text, 0, s}; }
constexpr Arg textLength() { return in(Type::I32, kTextBytes); }

struct Call {
    const char* function;
    int32_t code;
    Arg args[kMaxArgs];
};

struct Family {
    const char* factory; // Get<Family>
    const char* release;
    const Call* calls;
    size_t count;
};

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNotSupported = 2;
inline constexpr int32_t kInvalidParameter = 9;
using T = Type;

// A fault the wine script sets on the unit before the program starts and the host test before
// the families run (the script reads this definition): the first supervisor temperature read
// replies kFaultReply, which the first Diagnostic case sees.
struct DriverFault {
    uint32_t code;
    const char* reply;
};
inline constexpr DriverFault kDiagnosticFault = {0x222468, "f6ff"};

inline constexpr Call kDiagnostic[] = {
    {"Diagnostic_getSSTemp", kOk, {out(T::I16, -10)}}, // kDiagnosticFault
    {"Diagnostic_getSSTemp", kOk, {out(T::I16, 41)}},
    {"Diagnostic_getPCBTemp", kOk, {out(T::I16, 37)}},
    {"Diagnostic_getMinMaxTemp", kOk, {out(T::I16, -8), out(T::I16, 58)}},
    {"Diagnostic_getHwErrorStatus", kOk, {out(T::U16, 0)}},
    {"Diagnostic_getPowerCycles", kOk, {out(T::U16, 214)}},
};

inline constexpr Call kPower[] = {
    {"Power_getBLPowerStatus", kOk, {out(T::I32, 1)}},
    {"Power_getCanPowerStatus", kOk, {out(T::I32, 1)}},
    {"Power_getVideoPowerStatus", kOk, {out(T::U8, 3)}},
    {"Power_getExtFanPowerStatus", kOk, {out(T::I32, 0)}},
    {"Power_setExtFanPowerStatus", kOk, {in(T::I32, 1)}},
    {"Power_getExtFanPowerStatus", kOk, {out(T::I32, 1)}},
};

inline constexpr Call kConfig[] = {
    {"Config_getStartupTriggerConfig", kOk, {out(T::I32, 3)}},
    {"Config_getShortButtonPressAction", kOk, {out(T::I32, 1)}},
    {"Config_getLongButtonPressAction", kOk, {out(T::I32, 2)}},
    {"Config_getOnOffSigAction", kOk, {out(T::I32, 0)}},
    {"Config_getFrontBtnTrigTime", kOk, {out(T::U16, 100)}},
    {"Config_getSuspendMaxTime", kOk, {out(T::U16, 3600)}},
    {"Config_getStartupVoltageConfig", kOk, {out(T::F64, 11.997949)}},
    {"Config_getHeatingTempLimit", kOk, {out(T::I16, -10)}},
    {"Config_getPowerOnStartup", kOk, {out(T::I32, 0)}},
    {"Config_setSuspendMaxTime", kOk, {in(T::U16, 1800)}},
    {"Config_getSuspendMaxTime", kOk, {out(T::U16, 1800)}},
};

inline constexpr Call kLightsensor[] = {
    {"Lightsensor_getIlluminance", kOk, {out(T::U16, 296)}}, // 300 lux as the converter codes it,
    {"Lightsensor_getOperatingRange", kOk, {out(T::I32, 0)}},
};

inline constexpr Call kBuzzer[] = {
    {"Buzzer_getFrequency", kOk, {out(T::U16, 2000)}},
    {"Buzzer_getVolume", kOk, {out(T::U16, 30)}},
    {"Buzzer_setFrequency", kOk, {in(T::U16, 1500)}},
    {"Buzzer_getFrequency", kOk, {out(T::U16, 1500)}},
};

inline constexpr Call kFrontLed[] = {
    {"FrontLED_getColor", kOk, {out(T::U8, 0), out(T::U8, 15), out(T::U8, 0)}}, // levels 0..15
    {"FrontLED_getOnTime", kOk, {out(T::U8, 50)}},
    {"FrontLED_setColor", kInvalidParameter, {in(T::U8, 3), in(T::U8, 16), in(T::U8, 11)}},
    {"FrontLED_setColor", kOk, {in(T::U8, 3), in(T::U8, 7), in(T::U8, 11)}},
    {"FrontLED_getColor", kOk, {out(T::U8, 3), out(T::U8, 7), out(T::U8, 11)}},
};

inline constexpr Call kDigIo[] = {
    {"DigIO_getDigIO", kOk, {out(T::U8, 0x05)}},
};

inline constexpr Call kAdc[] = {
    {"Adc_getVoltage", kOk, {in(T::I32, 0), out(T::F64, 23.995898)}}, // 24 V supply
    {"Adc_getVoltage", kOk, {in(T::I32, 1), out(T::F64, 11.997949)}}, // 12 V supply
    {"Adc_getVoltage", kNotSupported, {in(T::I32, 3), any(T::F64)}},   // not measured
};

// Under wine the CAN settings live in wine's own registry: only what is set is read back.
inline constexpr Call kCanSetting[] = {
    {"CanSetting_setBaudrate", kOk, {in(T::U8, 1), in(T::U16, 250)}},
    {"CanSetting_getBaudrate", kOk, {in(T::U8, 1), out(T::U16, 250)}},
    {"CanSetting_setFrameType", kOk, {in(T::U8, 2), in(T::I32, 2)}},
    {"CanSetting_getFrameType", kOk, {in(T::U8, 2), out(T::I32, 2)}},
};

inline constexpr Call kBattery[] = {
    {"Battery_isBatteryPresent", kOk, {out(T::Bool, 1)}},
    {"Battery_getBatteryTemp", kOk, {out(T::I16, 27)}},
    {"Battery_getMinMaxTemp", kOk, {out(T::I16, -12), out(T::I16, 49)}},
    {"Battery_getHwErrorStatus", kOk, {out(T::I32, 0)}},
    {"Battery_getBatterySwVersion", kOk, {out(T::U16, 1), out(T::U16, 4), out(T::U16, 0), out(T::U16, 12)}},
    {"Battery_getBatterySerial", kOk, {outText("BT24A07731"), textLength()}},
};

inline constexpr Call kSmart[] = {
    {"Smart_getRemainingLifeTime", kOk, {out(T::U8, 97)}},
    {"Smart_getDeviceSerial", kOk, {outText("TVK2SSD2403A0001942"), textLength()}},
    {"Smart_getInitialTime", kOk, {out(T::I64, 1773648000)}},
};

inline constexpr Call kTelematics[] = {
    {"Telematics_getTelematicsAvailable", kOk, {out(T::I32, 1)}},
};

// Without the platform service: what answers at once.
inline constexpr Call kPowerMgr[] = {
    {"PowerMgr_getConfiguration", kOk, {out(T::I32, 0)}},
    {"PowerMgr_getPowerMgrStatus", kOk, {out(T::I32, 0)}},
};

inline constexpr Call kVideo[] = {
    {"Video_init", kOk, {in(T::U8, 1)}},
    {"Video_getStatus", kOk, {out(T::U8, 0x04)}}, // de-interlace mode 2, set by init
    {"Video_getDecoderReg", kOk, {in(T::U8, 0x10), out(T::U8, 0)}},
    {"Video_setDecoderReg", kOk, {in(T::U8, 0x10), in(T::U8, 0x5A)}},
    {"Video_getDecoderReg", kOk, {in(T::U8, 0x10), out(T::U8, 0x5A)}},
};

inline constexpr Call kTouchScreen[] = {
    {"TouchScreen_getMode", kOk, {out(T::I32, 1)}},
    {"TouchScreen_getMouseRightClickTime", kOk, {out(T::U16, 1000)}},
};

#define TAVIK_FAMILY(name, calls) {"Get" #name, #name "_release", calls, std::size(calls)}
inline constexpr Family kFamilies[] = {
    TAVIK_FAMILY(Diagnostic, kDiagnostic), TAVIK_FAMILY(Power, kPower),
    TAVIK_FAMILY(Config, kConfig),         TAVIK_FAMILY(Lightsensor, kLightsensor),
    TAVIK_FAMILY(Buzzer, kBuzzer),         TAVIK_FAMILY(FrontLED, kFrontLed),
    TAVIK_FAMILY(DigIO, kDigIo),           TAVIK_FAMILY(Adc, kAdc),
    TAVIK_FAMILY(CanSetting, kCanSetting), TAVIK_FAMILY(Battery, kBattery),
    TAVIK_FAMILY(Smart, kSmart),           TAVIK_FAMILY(Telematics, kTelematics),
    TAVIK_FAMILY(PowerMgr, kPowerMgr),     TAVIK_FAMILY(Video, kVideo),
    TAVIK_FAMILY(TouchScreen, kTouchScreen),
};
#undef TAVIK_FAMILY

// An In argument as the word the caller puts on the stack (or in a register): signed types
// sign-extended, unsigned ones zero-extended, as a compiler passes them.
inline uintptr_t argumentWord(const Arg& a) {
    const int64_t v = static_cast<int64_t>(a.value);
    switch (a.type) {
    case Type::U8: case Type::Bool: return static_cast<uint8_t>(v);
    case Type::U16: return static_cast<uint16_t>(v);
    case Type::I16: return static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int16_t>(v)));
    default: return static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(v)));
    }
}

// An Out argument's value as written by the call.
inline double outValue(Type type, const unsigned char* p) {
    auto as = [p](auto v) { std::memcpy(&v, p, sizeof v); return static_cast<double>(v); };
    switch (type) {
    case Type::U8: return as(uint8_t{});
    case Type::Bool: return as(bool{});
    case Type::I16: return as(int16_t{});
    case Type::U16: return as(uint16_t{});
    case Type::I32: return as(int32_t{});
    case Type::I64: return as(int64_t{});
    case Type::F32: return as(float{});
    case Type::F64: return as(double{});
    case Type::Text: break;
    }
    return 0;
}

// Runs one case: `invoke(function, words, count)` calls the export with these argument words
// (the handle first, one word per argument) and gives its result. Returns what differed, or "".
template <class Invoke>
std::string runCall(const Call& c, void* handle, Invoke&& invoke) {
    uintptr_t words[1 + kMaxArgs] = {reinterpret_cast<uintptr_t>(handle)};
    alignas(8) unsigned char outs[kMaxArgs][kTextBytes] = {};
    size_t count = 1;
    for (size_t i = 0; i < kMaxArgs && c.args[i].dir != Dir::None; ++i)
        words[count++] = c.args[i].dir == Dir::In ? argumentWord(c.args[i]) : reinterpret_cast<uintptr_t>(outs[i]);
    const int32_t code = invoke(c.function, words, count);
    std::string diff;
    if (code != c.code) diff += " result " + std::to_string(code) + ", expected " + std::to_string(c.code);
    for (size_t i = 0; code == c.code && i + 1 < count; ++i) {
        const Arg& a = c.args[i];
        if (a.dir != Dir::Out) continue;
        if (a.type == Type::Text) {
            const std::string got(reinterpret_cast<const char*>(outs[i]), strnlen(reinterpret_cast<const char*>(outs[i]), kTextBytes));
            if (got != a.text) diff += " argument " + std::to_string(i + 1) + " \"" + got + "\", expected \"" + a.text + "\"";
            continue;
        }
        const double got = outValue(a.type, outs[i]);
        const double within = a.type == Type::F32 || a.type == Type::F64 ? 1e-6 : 0;
        if (!(std::fabs(got - a.value) <= within))
            diff += " argument " + std::to_string(i + 1) + " " + std::to_string(got) + ", expected " + std::to_string(a.value);
    }
    return diff.empty() ? diff : c.function + diff;
}

// Runs a family's cases in order on one handle; gives what differed.
template <class Invoke>
std::vector<std::string> runFamily(const Family& f, void* handle, Invoke&& invoke) {
    std::vector<std::string> failures;
    for (size_t i = 0; i < f.count; ++i)
        if (std::string d = runCall(f.calls[i], handle, invoke); !d.empty()) failures.push_back(d);
    return failures;
}

} // namespace tavik::test::default_unit
