// tavikctl status: the whole unit at a glance, read-only. Values are shown in groups; each group is
// one entry of kGroups with a routine that reads its families. A feature the unit lacks shows as
// "not fitted", one the firmware is too old for as "needs newer firmware", a value behind a driver
// that cannot be opened as "unavailable"; only other failures are errors (exit status 1). Every number carries its unit, in the text and in the JSON.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "cli.h"
#include "frame/board_session.h"
#include "frame/settings_file.h"
#include "power/power_mgr.h"
#include "power/telematics.h"
#include "powermgr_service.h"
#include "sim_ops.h"
#include "tavik2/about.h"
#include "tavik2/adc.h"
#include "tavik2/aux_version.h"
#include "tavik2/backlight.h"
#include "tavik2/battery.h"
#include "tavik2/buzzer.h"
#include "tavik2/can_setting.h"
#include "tavik2/config.h"
#include "tavik2/diagnostic.h"
#include "tavik2/dig_io.h"
#include "tavik2/front_led.h"
#include "tavik2/lightsensor.h"
#include "tavik2/messages.h"
#include "tavik2/power.h"
#include "tavik2/smart.h"
#include "tavik2/telematics.h"
#include "tavik2/touch_screen.h"
#include "tavik2/touch_screen_calib.h"

namespace tavikctl {
namespace {

using namespace Varnholtstad;

constexpr const char* kCelsius = "°C";
constexpr const char* kVolts = "V";
constexpr const char* kSupervisorTime = "supervisor time units";
// Unit of numbers that name something (a reason, a mode): the text says what, not the unit.
constexpr const char* kCode = "code";
constexpr const char* kPercent = "%";
constexpr const char* kLux = "lux";
constexpr int kAdcSelectors = 16;
// The CPU board has few temperature sensors; the list ends at the first that cannot be read.
constexpr int kMaxBoardSensors = 16;

enum class State { Ok, NotFitted, NeedsFirmware, Unavailable, NotSet, Failed };

struct Item {
    std::string key;
    std::string label;
    std::string unit; // empty for texts, flags and codes
    State state = State::Ok;
    json value;
    std::string text;
    ErrorCode code = ERR_SUCCESS;
    std::string note; // shown after the unit, e.g. which bit is which
};

// What the identity records say is fitted; groups use it to tell "not fitted" from a failure.
struct Fitted {
    uint8_t video = 0, can = 0, digIO = 0;
    bool display = false, touch = false;
    bool gprs = false, wlan = false, bt = false, gps = false;
};

using Items = std::vector<Item>;

State stateOf(ErrorCode e) {
    switch (e) {
    case ERR_SUCCESS: return State::Ok;
    case ERR_NOT_SUPPORTED: return State::NotFitted;
    case ERR_NEWER_SS_VERSION_REQUIRED:
    case ERR_NEWER_FPGA_VERSION_REQUIRED:
    case ERR_NEWER_FRONT_VERSION_REQUIRED: return State::NeedsFirmware;
    // The unit's driver is not there (not installed, or not started): a state of the unit.
    case ERR_OPEN_FAILED: return State::Unavailable;
    default: return State::Failed;
    }
}

void add(Items& out, std::string key, std::string label, std::string unit, ErrorCode e, json value,
         std::string text = {}) {
    if (e == ERR_SUCCESS && text.empty()) text = value.is_string() ? value.get<std::string>() : value.dump();
    out.push_back({std::move(key), std::move(label), std::move(unit), stateOf(e), std::move(value),
                   std::move(text), e, ""});
}

// A value kept in the settings file that nobody has written yet: its reader refuses the missing
// key as ERR_DATATYPE_MISMATCH, which here is a state of the unit, not a failure.
void markUnset(Items& out) {
    if (out.back().code == ERR_DATATYPE_MISMATCH) out.back().state = State::NotSet;
}

void notFitted(Items& out, std::string key, std::string label) {
    out.push_back({std::move(key), std::move(label), "", State::NotFitted, nullptr, "", ERR_NOT_SUPPORTED, ""});
}

std::string fixed(double v, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

const char* onOff(int32_t v) { return v != 0 ? "on" : "off"; }
const char* yesNo(bool v) { return v ? "yes" : "no"; }

// Numbers separated by spaces.
std::string rawList(const json& values) {
    std::string text;
    for (const json& v : values) text += (text.empty() ? "" : " ") + v.dump();
    return text;
}

// Registers 0..count-1 read one by one until the first failure; `e` is that failure or success.
template <class Read>
json readRegisters(int32_t count, ErrorCode& e, Read read) {
    json values = json::array();
    e = ERR_SUCCESS;
    for (int32_t i = 0; i < count && e == ERR_SUCCESS; ++i) {
        uint16_t v = 0;
        e = read(i, &v);
        values.push_back(v);
    }
    return values;
}

// A bit mask as binary digits, highest of `count` bits first.
std::string bits(uint32_t mask, int count) {
    std::string text;
    for (int i = count - 1; i >= 0; --i) text += ((mask >> i) & 1) ? '1' : '0';
    return text;
}

// ---- groups -------------------------------------------------------------------------------

void identity(const Fitted&, Items& out) {
    About* h = GetAbout();
    struct Text { const char* key; const char* label; ErrorCode(TAVIK_CALL* op)(About*, char*, int32_t); };
    static const Text kTexts[] = {
        {"unit_serial", "Unit serial", &About_getUnitSerial},
        {"product_article", "Product article", &About_getMainProdArtNr},
        {"product_revision", "Product revision", &About_getMainProdRev},
        {"main_serial", "Main board serial", &About_getMainPCBSerial},
        {"main_article", "Main board article", &About_getMainPCBArt},
        {"main_hw_version", "Main board hardware version", &About_getMainHWversion},
        {"main_made", "Main board made", &About_getMainManufacturingDate},
        {"display_resolution", "Display resolution", &About_getDisplayResolution},
        {"addon_serial", "Add-on board serial", &About_getAddOnPCBSerial},
        {"addon_article", "Add-on board article", &About_getAddOnPCBArt},
        {"addon_hw_version", "Add-on board hardware version", &About_getAddOnHWversion},
        {"addon_made", "Add-on board made", &About_getAddOnManufacturingDate},
    };
    for (const Text& t : kTexts) {
        char buf[128] = {};
        const ErrorCode e = t.op(h, buf, static_cast<int32_t>(sizeof buf));
        add(out, t.key, t.label, "", e, std::string(buf));
    }
    struct Count { const char* key; const char* label; const char* unit; ErrorCode(TAVIK_CALL* op)(About*, uint8_t*); };
    static const Count kCounts[] = {
        {"ethernet", "Ethernet", "ports", &About_getNrOfETHConnections},
        {"usb_host", "USB host", "ports", &About_getNrOfUSBConnections},
        {"serial", "Serial", "ports", &About_getNrOfSerialConnections},
        {"can", "CAN", "ports", &About_getNrOfCANConnections},
        {"video", "Video", "inputs", &About_getNrOfVideoConnections},
        {"dig_io", "Digital I/O", "inputs", &About_getNrOfDigIOConnections},
    };
    for (const Count& c : kCounts) {
        uint8_t n = 0;
        const ErrorCode e = c.op(h, &n);
        add(out, c.key, c.label, c.unit, e, n);
    }
    struct Flag { const char* key; const char* label; ErrorCode(TAVIK_CALL* op)(About*, bool*); };
    static const Flag kFlags[] = {
        {"display", "Display", &About_getIsDisplayAvailable}, {"touch_screen", "Touch screen", &About_getIsTouchScreenAvailable},
        {"wlan", "WLAN", &About_getIsWLANMounted},             {"gps", "GPS", &About_getIsGPSMounted},
        {"gprs", "GSM/GPRS", &About_getIsGPRSMounted},         {"bluetooth", "Bluetooth", &About_getIsBTMounted},
    };
    for (const Flag& f : kFlags) {
        bool v = false;
        const ErrorCode e = f.op(h, &v);
        add(out, f.key, f.label, "", e, v, yesNo(v));
    }
    About_release(h);
}

void versions(const Fitted&, Items& out) {
    using Op = ErrorCode(TAVIK_CALL*)(AuxVersion*, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
    struct Version { const char* key; const char* label; Op op; };
    static const Version kVersions[] = {
        {"library", "Tavik2 library", &AuxVersion_getTavikVersion},
        {"driver", "Auxiliary driver", &AuxVersion_getTavikDrvVersion},
        {"fpga", "FPGA", &AuxVersion_getFPGAVersion},
        {"ss", "System supervisor", &AuxVersion_getSSVersion},
        {"front", "Front controller", &AuxVersion_getFrontVersion},
        {"os", "Operating system", &AuxVersion_getOSVersion},
    };
    AuxVersion* h = GetAuxVersion();
    for (const Version& v : kVersions) {
        uint8_t n[4] = {};
        const ErrorCode e = v.op(h, &n[0], &n[1], &n[2], &n[3]);
        const std::string text = std::to_string(n[0]) + "." + std::to_string(n[1]) + "." +
                                 std::to_string(n[2]) + "." + std::to_string(n[3]);
        add(out, v.key, v.label, "", e, text);
    }
    AuxVersion_release(h);
}

void powerAndTemperatures(const Fitted& fitted, Items& out) {
    Diagnostic* d = GetDiagnostic();
    int16_t t = 0, lo = 0, hi = 0;
    ErrorCode e = Diagnostic_getSSTemp(d, &t);
    add(out, "ss_temp", "Supervisor temperature", kCelsius, e, t);
    e = Diagnostic_getPCBTemp(d, &t);
    add(out, "pcb_temp", "Main board temperature", kCelsius, e, t);
    e = Diagnostic_getMinMaxTemp(d, &lo, &hi);
    add(out, "min_temp", "Lowest temperature seen", kCelsius, e, lo);
    add(out, "max_temp", "Highest temperature seen", kCelsius, e, hi);
    uint16_t code = 0;
    e = Diagnostic_getStartupReason(d, &code);
    add(out, "startup_reason", "Start-up reason", kCode, e, code,
        e == ERR_SUCCESS ? std::to_string(code) + " " + GetStartupReasonStringA(code) : "");
    e = Diagnostic_getHwErrorStatus(d, &code);
    add(out, "hw_error", "Hardware error status", kCode, e, code,
        e == ERR_SUCCESS ? std::to_string(code) + " " + GetHwErrorStatusStringA(code) : "");
    e = Diagnostic_getShutDownReason(d, &code);
    add(out, "shutdown_reason", "Shut-down reason", kCode, e, code);
    e = Diagnostic_getPowerCycles(d, &code);
    add(out, "power_cycles", "Power cycles", "cycles", e, code);
    // Seven 32-bit counters; their meaning is the supervisor firmware's.
    Varnholtstad::DiagnosticTimes times{};
    e = Diagnostic_getTimer(d, &times);
    json counters = json::array();
    for (size_t i = 0; i + 3 < sizeof times.raw; i += 4)
        counters.push_back(times.raw[i] | times.raw[i + 1] << 8 | times.raw[i + 2] << 16 |
                           static_cast<uint32_t>(times.raw[i + 3]) << 24);
    add(out, "operating_timers", "Operating-time counters", kSupervisorTime, e, counters, rawList(counters));
    for (int i = 0; i < kMaxBoardSensors; ++i) {
        int32_t type = 0;
        e = Diagnostic_getPMTemp(d, static_cast<uint8_t>(i), &t, &type);
        if (e != ERR_SUCCESS && i > 0) break; // past the last sensor
        const std::string n = std::to_string(i);
        add(out, "cpu_board_temp_" + n, "CPU board sensor " + n, kCelsius, e, t);
        if (e == ERR_SUCCESS) out.back().note = "(type " + std::to_string(type) + ")";
    }
    Diagnostic_release(d);

    Power* p = GetPower();
    int32_t on = 0;
    e = Power_getBLPowerStatus(p, &on);
    add(out, "backlight_power", "Backlight power", "", e, on != 0, onOff(on));
    if (fitted.can == 0) {
        notFitted(out, "can_power", "CAN power");
    } else {
        e = Power_getCanPowerStatus(p, &on);
        add(out, "can_power", "CAN power", "", e, on != 0, onOff(on));
    }
    e = Power_getExtFanPowerStatus(p, &on);
    add(out, "fan_power", "External fan power", "", e, on != 0, onOff(on));
    int32_t transition = 0;
    e = Power_getButtonPowerTransitionStatus(p, &transition);
    add(out, "button_transition", "Button power transition", kCode, e, transition);
    Power_release(p);

    Config* c = GetConfig();
    double volts = 0;
    e = Config_getStartupVoltageConfig(c, &volts);
    add(out, "startup_voltage", "Supply needed to start", kVolts, e, volts, fixed(volts, 1));
    e = Config_getHeatingTempLimit(c, &t);
    add(out, "heating_limit", "Heating limit", kCelsius, e, t);
    uint16_t time = 0;
    e = Config_getSuspendMaxTime(c, &time);
    add(out, "suspend_max_time", "Longest suspend", kSupervisorTime, e, time);
    e = Config_getPowerOnStartup(c, &on);
    add(out, "power_on_startup", "Start when power is applied", "", e, on != 0, yesNo(on != 0));
    struct Setting { const char* key; const char* label; ErrorCode(TAVIK_CALL* op)(Config*, int32_t*); };
    static const Setting kSettings[] = {
        {"startup_triggers", "Start-up triggers", &Config_getStartupTriggerConfig},
        {"short_press_action", "Short button press action", &Config_getShortButtonPressAction},
        {"long_press_action", "Long button press action", &Config_getLongButtonPressAction},
        {"onoff_signal_action", "On/off signal action", &Config_getOnOffSigAction},
    };
    for (const Setting& s : kSettings) {
        int32_t v = 0;
        e = s.op(c, &v);
        add(out, s.key, s.label, kCode, e, v);
    }
    e = Config_getFrontBtnTrigTime(c, &time);
    add(out, "front_button_time", "Front button trigger time", kSupervisorTime, e, time);
    int32_t longTime = 0;
    e = Config_getExtOnOffSigTrigTime(c, &longTime);
    add(out, "onoff_signal_time", "On/off signal trigger time", kSupervisorTime, e, longTime);
    if (fitted.can == 0) {
        notFitted(out, "can_startup_power", "CAN power at start-up");
    } else {
        e = Config_getCanStartupPowerConfig(c, &on);
        add(out, "can_startup_power", "CAN power at start-up", "", e, on != 0, onOff(on));
    }
    if (fitted.video == 0) {
        notFitted(out, "video_startup_power", "Video power at start-up");
    } else {
        uint8_t mask = 0;
        e = Config_getVideoStartupPowerConfig(c, &mask);
        add(out, "video_startup_power", "Video power at start-up", "bit mask", e, mask, bits(mask, fitted.video));
        out.back().note = "(inputs " + std::to_string(fitted.video) + "..1)";
    }
    e = Config_getExtFanStartupPowerConfig(c, &on);
    add(out, "fan_startup_power", "External fan power at start-up", "", e, on != 0, onOff(on));
    Config_release(c);

    Adc* a = GetAdc();
    for (int s = 0; s < kAdcSelectors; ++s) {
        e = Adc_getVoltage(a, s, &volts);
        if (e == ERR_NOT_SUPPORTED) continue; // selector not measured on this unit
        add(out, "voltage_" + std::to_string(s), "Voltage " + std::to_string(s), kVolts, e, volts, fixed(volts, 3));
    }
    Adc_release(a);

    // The power manager's state is per object, and GetPowerMgr marks the unit as resumed (and
    // waits up to 2 s for the service): the service's side is read from the settings file instead.
    const bool running = tavik::power::powerMgrServiceRunning();
    add(out, "powermgr_service", "Power manager service", "", ERR_SUCCESS, running, running ? "running" : "not running");
    int32_t request = tavik::power::readPowerMgrKey(tavik::power::kPowerMgrRequestKey);
    if (request < 0 || request > tavik::power::kHighestPowerMgrRequest) request = 0; // as getPowerMgrStatus
    add(out, "powermgr_request", "Power manager request", kCode, ERR_SUCCESS, request,
        std::to_string(request) + " " + powerMgrRequestName(request));
}

void lighting(const Fitted& fitted, Items& out) {
    if (!fitted.display) {
        notFitted(out, "backlight", "Backlight");
        notFitted(out, "light_sensor", "Light sensor");
        return;
    }
    Backlight* b = GetBacklight();
    uint8_t level = 0, status = 0;
    ErrorCode e = Backlight_getIntensity(b, &level);
    add(out, "backlight_level", "Backlight level", "of 255", e, level);
    e = Backlight_getStatus(b, &status);
    add(out, "backlight_status", "Backlight status", kCode, e, status);
    bool ok = false;
    e = Backlight_getHWStatus(b, &ok);
    add(out, "backlight_hw_ok", "Backlight hardware", "", e, ok, ok ? "working" : "fault");
    bool automatic = false;
    e = Backlight_getAutomaticBLStatus(b, &automatic);
    add(out, "automatic", "Automatic backlight", "", e, automatic, onOff(automatic));
    markUnset(out);
    // The automatic backlight settings live in the settings file; a reader stops at the first
    // missing one, so each value here is as set or "not set".
    bool soft = false;
    double k = 0;
    e = Backlight_getAutomaticBLParams(b, &soft, &k);
    add(out, "soft_transitions", "Soft transitions", "", e, soft, onOff(soft));
    markUnset(out);
    add(out, "abl_k", "Automatic backlight factor k", "factor", e, k, fixed(k, 4));
    markUnset(out);
    int32_t average = 0, reject = 0, delta = 0, mode = 0;
    e = Backlight_getAutomaticBLFilter(b, &average, &reject, &delta, &mode);
    static const char* const kModes[] = {"standard", "extended", "automatic"};
    add(out, "abl_range_mode", "Sensor range mode", kCode, e, mode,
        std::to_string(mode) + (mode >= 0 && mode <= 2 ? std::string(" ") + kModes[mode] : ""));
    markUnset(out);
    add(out, "abl_average", "Averaging window", "samples", e, average);
    markUnset(out);
    add(out, "abl_reject", "Rejection window", "samples", e, reject);
    markUnset(out);
    add(out, "abl_reject_delta", "Rejection spread", kLux, e, delta);
    markUnset(out);
    int32_t dimming = 0;
    e = Backlight_getLedDimming(b, &dimming);
    add(out, "led_dimming", "LED dimming", "", e, dimming == 1, onOff(dimming == 1));
    Backlight_release(b);

    Lightsensor* s = GetLightsensor();
    uint16_t lux = 0;
    uint8_t ch0 = 0, ch1 = 0;
    e = Lightsensor_getIlluminance2(s, &lux, &ch0, &ch1);
    add(out, "illuminance", "Illuminance", kLux, e, lux);
    int32_t range = 0;
    e = Lightsensor_getOperatingRange(s, &range);
    add(out, "sensor_range", "Light sensor range", kCode, e, range,
        std::to_string(range) + (range == 1 ? " extended" : " standard"));
    Lightsensor_release(s);
}

void signals(const Fitted&, Items& out) {
    Buzzer* z = GetBuzzer();
    uint16_t frequency = 0, volume = 0;
    ErrorCode e = Buzzer_getFrequency(z, &frequency);
    add(out, "buzzer_frequency", "Buzzer tone", "Hz", e, frequency);
    e = Buzzer_getVolume(z, &volume);
    add(out, "buzzer_volume", "Buzzer volume", "of 51", e, volume);
    bool on = false;
    e = Buzzer_getTrigger(z, &on);
    add(out, "buzzer_on", "Buzzer sounding", "", e, on, onOff(on));
    Buzzer_release(z);

    FrontLED* l = GetFrontLED();
    uint8_t r = 0, g = 0, b = 0;
    e = FrontLED_getColor(l, &r, &g, &b);
    const std::string rgb = std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
    add(out, "led_color", "Front LED colour", "of 15", e, json{{"red", r}, {"green", g}, {"blue", b}}, rgb);
    out.back().note = "(red,green,blue)";
    int32_t standard = 0;
    e = FrontLED_getStandardColor(l, &standard);
    static const char* const kColors[] = {"red", "green", "blue", "cyan", "magenta", "orange"};
    add(out, "led_standard_color", "Front LED standard colour", kCode, e, standard,
        std::to_string(standard) + " " + (standard >= 0 && standard < 6 ? kColors[standard] : "none"));
    double hz = 0;
    uint8_t duty = 0;
    e = FrontLED_getSignal(l, &hz, &duty);
    if (e == ERR_INVALID_DATA) { // on and off time both 0: no blinking
        add(out, "led_frequency", "Front LED blink rate", "", ERR_SUCCESS, "steady");
    } else {
        add(out, "led_frequency", "Front LED blink rate", "Hz", e, hz, fixed(hz, 3));
        add(out, "led_duty", "Front LED duty cycle", kPercent, e, duty);
    }
    struct Field { const char* key; const char* label; const char* unit; int scale; ErrorCode(TAVIK_CALL* op)(FrontLED*, uint8_t*); };
    static const Field kFields[] = {
        {"led_on_time", "Front LED on time", "ms", 10, &FrontLED_getOnTime}, // the record holds hundredths of a second
        {"led_off_time", "Front LED off time", "ms", 10, &FrontLED_getOffTime},
        {"led_idle_time", "Front LED idle time", "LED time units", 1, &FrontLED_getIdleTime},
        {"led_pulses", "Front LED pulses", "pulses", 1, &FrontLED_getNrOfPulses},
    };
    for (const Field& f : kFields) {
        uint8_t v = 0;
        e = f.op(l, &v);
        add(out, f.key, f.label, f.unit, e, v * f.scale);
    }
    int32_t startup = 0;
    e = FrontLED_getEnabledDuringStartup(l, &startup);
    add(out, "led_at_startup", "Front LED during start-up", "", e, startup == 1, startup == 1 ? "lit" : "dark");
    FrontLED_release(l);
}

void io(const Fitted& fitted, Items& out) {
    if (fitted.digIO == 0) {
        notFitted(out, "digital_inputs", "Digital inputs");
    } else {
        DigIO* h = GetDigIO();
        uint8_t bits = 0;
        const ErrorCode e = DigIO_getDigIO(h, &bits);
        std::string text;
        for (int i = fitted.digIO - 1; i >= 0; --i) text += ((bits >> i) & 1) ? '1' : '0';
        add(out, "digital_inputs", "Digital inputs", "bit mask", e, bits, text);
        out.back().note = "(inputs " + std::to_string(fitted.digIO - 1) + "..0)";
        DigIO_release(h);
    }

    if (fitted.can == 0) {
        notFitted(out, "can", "CAN");
    } else {
        CanSetting* h = GetCanSetting();
        static const char* const kFrames[] = {"standard", "extended", "both"};
        for (uint8_t ch = 1; ch <= fitted.can; ++ch) {
            const std::string n = std::to_string(ch);
            uint16_t kbit = 0;
            ErrorCode e = CanSetting_getBaudrate(h, ch, &kbit);
            add(out, "can" + n + "_bitrate", "CAN " + n + " bit rate", "kbit/s", e, kbit);
            int32_t frame = 0;
            e = CanSetting_getFrameType(h, ch, &frame);
            add(out, "can" + n + "_frames", "CAN " + n + " frames", kCode, e, frame,
                frame >= 0 && frame <= 2 ? std::to_string(frame) + " " + kFrames[frame] : std::to_string(frame));
        }
        CanSetting_release(h);
    }

    if (!fitted.touch) {
        notFitted(out, "touch", "Touch screen");
    } else {
        TouchScreen* h = GetTouchScreen();
        int32_t mode = 0;
        ErrorCode e = TouchScreen_getMode(h, &mode);
        add(out, "touch_mode", "Touch mode", kCode, e, mode);
        uint16_t ms = 0;
        e = TouchScreen_getMouseRightClickTime(h, &ms);
        add(out, "touch_right_click", "Right-click hold", "ms", e, ms);
        // The controller's advanced settings and calibration parameters are raw register values.
        constexpr int32_t kAdvancedSettings = 12, kCalibrationParams = 6;
        const json advanced = readRegisters(kAdvancedSettings, e, [h](int32_t i, uint16_t* v) {
            return TouchScreen_getAdvancedSetting(h, i, v);
        });
        add(out, "touch_advanced", "Touch advanced settings 0..11", "raw", e, advanced, rawList(advanced));
        TouchScreen_release(h);

        TouchScreenCalib* c = GetTouchScreenCalib();
        e = TouchScreenCalib_getMode(c, &mode);
        add(out, "touch_calibration_mode", "Touch calibration mode", kCode, e, mode);
        const json params = readRegisters(kCalibrationParams, e, [c](int32_t i, uint16_t* v) {
            return TouchScreenCalib_getConfigParam(c, i, v);
        });
        add(out, "touch_calibration", "Touch calibration parameters 0..5", "raw", e, params, rawList(params));
        TouchScreenCalib_release(c);
    }
}

// Whether the telematics port expander has been set up since the board's power-up, read without
// touching it: GetTelematics would set it up (and pulse the GPS), which changes the unit.
ErrorCode expanderReady(bool& ready, uint8_t& port) {
    namespace tp = tavik::power;
    tavik::frame::BoardHandle board = 0;
    uint8_t direction = 0;
    if (!tavik::frame::openJidaBoard(board) ||
        !tavik::platform::board::i2cReadRegister(board, tp::kExpanderBus, tp::kExpanderReadAddress,
                                                 tp::kExpanderDirectionRegister, &direction))
        return ERR_I2C_EXPANDER_INIT_FAILED;
    ready = (direction & 0x7F) == tp::kDirectionInitialised;
    if (!tavik::platform::board::i2cReadRegister(board, tp::kExpanderBus, tp::kExpanderReadAddress,
                                                 tp::kExpanderPortRegister, &port))
        return ERR_I2C_EXPANDER_READ_FAILED;
    return ERR_SUCCESS;
}

void telematics(const Fitted& fitted, Items& out) {
    using Getter = ErrorCode(TAVIK_CALL*)(Telematics*, int32_t*);
    struct Module { const char* key; const char* label; bool Fitted::*fitted; Getter power; const char* startupKey; };
    static const Module kModules[] = {
        {"gprs", "GSM/GPRS modem", &Fitted::gprs, &Telematics_getGPRSPowerStatus, "GPRSPowerAtStartup"},
        {"wlan", "WLAN", &Fitted::wlan, &Telematics_getWLANPowerStatus, "WLANPowerAtStartup"},
        {"bt", "Bluetooth", &Fitted::bt, &Telematics_getBTPowerStatus, "BTPowerAtStartup"},
        {"gps", "GPS", &Fitted::gps, &Telematics_getGPSPowerStatus, "GPSPowerAtStartup"},
    };
    bool any = false;
    for (const Module& m : kModules) any = any || fitted.*m.fitted;
    if (!any) {
        notFitted(out, "modules", "Telematics modules");
        return;
    }
    bool ready = false;
    uint8_t port = 0;
    const ErrorCode ex = expanderReady(ready, port);
    // Before the set-up every pin is an input: nothing is driven, so every module is unpowered.
    Telematics* h = ex == ERR_SUCCESS && ready ? GetTelematics() : nullptr;
    const bool supply = ready && (port & tavik::power::kTelematicsSupply) != 0;
    add(out, "supply", "Telematics supply", "", ex, supply, onOff(supply));
    if (ex == ERR_SUCCESS && !ready) out.back().note = "(port not set up since power-up)";
    // The start-up settings are the family's keys, read here as its getters do (1 means on).
    const tavik::frame::SettingsEntries settings = [] {
        tavik::frame::SettingsFile store; // held only while reading: it is the settings lock
        store.load();
        return store.entries();
    }();
    for (const Module& m : kModules) {
        const std::string key = m.key, label = m.label;
        if (!(fitted.*m.fitted)) {
            notFitted(out, key, label);
            continue;
        }
        int32_t on = 0;
        const ErrorCode e = h != nullptr ? m.power(h, &on) : ex;
        add(out, key + "_power", label + " power", "", e, on != 0, onOff(on));
        int32_t atStartup = 0;
        const auto it = settings.find(m.startupKey);
        if (it != settings.end()) tavik::frame::parseInt(it->second, atStartup);
        add(out, key + "_startup_power", label + " power at start-up", "", ERR_SUCCESS, atStartup == 1,
            onOff(atStartup == 1));
    }
    if (fitted.gps) {
        // The antenna drives an input pin in either configuration, so it reads before the set-up too.
        int32_t antenna = (port & tavik::power::kGpsAntenna) != 0;
        const ErrorCode e = h != nullptr ? Telematics_getGPSAntennaStatus(h, &antenna) : ex;
        add(out, "gps_antenna", "GPS antenna", "", e, antenna != 0, antenna != 0 ? "connected" : "not connected");
    }
    if (h != nullptr) Telematics_release(h);
}

void batteryAndStorage(const Fitted&, Items& out) {
    Battery* h = GetBattery();
    bool present = false;
    ErrorCode e = Battery_isBatteryPresent(h, &present);
    if (e == ERR_SUCCESS && !present) {
        notFitted(out, "battery", "Backup battery");
    } else if (e != ERR_SUCCESS) {
        // Presence unknown (old firmware, no driver): the other values would only repeat it.
        add(out, "battery_present", "Backup battery", "", e, present);
    } else {
        add(out, "battery_present", "Backup battery", "", e, present, "fitted");
        uint8_t percent = 0;
        e = Battery_getBatteryVoltageStatus(h, &percent);
        add(out, "battery_charge", "Battery charge", kPercent, e, percent);
        int32_t state = 0;
        e = Battery_getBatteryChargingStatus(h, &state);
        add(out, "battery_charging", "Battery charging state", kCode, e, state);
        e = Battery_getPowerSource(h, &state);
        add(out, "power_source", "Power source", kCode, e, state);
        e = Battery_getHwErrorStatus(h, &state);
        add(out, "battery_error", "Battery error state", kCode, e, state);
        int16_t t = 0, lo = 0, hi = 0;
        e = Battery_getBatteryTemp(h, &t);
        add(out, "battery_temp", "Battery temperature", kCelsius, e, t);
        e = Battery_getMinMaxTemp(h, &lo, &hi);
        add(out, "battery_min_temp", "Battery lowest temperature", kCelsius, e, lo);
        add(out, "battery_max_temp", "Battery highest temperature", kCelsius, e, hi);
        Varnholtstad::BatteryTimer timer{};
        e = Battery_getTimer(h, &timer);
        json minutes = json::array();
        std::string shown;
        for (uint32_t m : timer.counter) {
            minutes.push_back(m);
            shown += (shown.empty() ? "" : " ") + std::to_string(m);
        }
        add(out, "battery_timers", "Battery time counters", "min", e, minutes, shown);
        char text[64] = {};
        e = Battery_getBatteryHWversion(h, text, static_cast<int32_t>(sizeof text));
        add(out, "battery_hw_version", "Battery hardware version", "", e, std::string(text));
        uint16_t v[4] = {};
        e = Battery_getBatterySwVersion(h, &v[0], &v[1], &v[2], &v[3]);
        add(out, "battery_sw_version", "Battery software version", "", e,
            std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]));
        char serial[64] = {};
        e = Battery_getBatterySerial(h, serial, static_cast<int32_t>(sizeof serial));
        add(out, "battery_serial", "Battery serial", "", e, std::string(serial));
    }
    Battery_release(h);

    Smart* s = GetSmart();
    uint8_t life = 0;
    e = Smart_getRemainingLifeTime(s, &life);
    add(out, "storage_life", "Storage remaining life", kPercent, e, life);
    char serial[64] = {};
    e = Smart_getDeviceSerial(s, serial, static_cast<int32_t>(sizeof serial));
    add(out, "storage_serial", "Storage serial", "", e, std::string(serial));
    int64_t first = 0;
    e = Smart_getInitialTime(s, &first);
    add(out, "storage_first_use", "Storage first use", "s since 1970 (UTC)", e, first);
    const std::time_t t = static_cast<std::time_t>(first);
    std::tm tm{};
    char date[32];
    if (e == ERR_SUCCESS && gmtime_r(&t, &tm) != nullptr && std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S UTC", &tm) > 0)
        out.back().note = std::string("(") + date + ")";
    Smart_release(s);
}

void video(const Fitted& fitted, Items& out) {
    if (fitted.video == 0) {
        notFitted(out, "video", "Video inputs");
        return;
    }
    Power* p = GetPower();
    uint8_t mask = 0;
    const ErrorCode e = Power_getVideoPowerStatus(p, &mask);
    std::string text;
    for (int i = fitted.video - 1; i >= 0; --i) text += ((mask >> i) & 1) ? '1' : '0';
    add(out, "video_power", "Video power", "bit mask", e, mask, text);
    out.back().note = "(inputs " + std::to_string(fitted.video) + "..1)";
    Power_release(p);
    // The input settings are not read here: opening an input resets it (tavikctl video shows them).
}

void firmware(const Fitted&, Items& out) {
    const bool running = firmwareJobRunning();
    add(out, "job_running", "Firmware job", "", ERR_SUCCESS, running, running ? "running" : "none");
}

struct Group {
    const char* key;
    const char* title;
    void (*read)(const Fitted&, Items&);
};

// Groups in display order.
const Group kGroups[] = {
    {"identity", "Identity", &identity},
    {"versions", "Versions", &versions},
    {"power", "Power and temperatures", &powerAndTemperatures},
    {"lighting", "Lighting", &lighting},
    {"signals", "Signals", &signals},
    {"io", "I/O", &io},
    {"telematics", "Telematics", &telematics},
    {"battery", "Battery and storage", &batteryAndStorage},
    {"video", "Video", &video},
    {"firmware", "Firmware", &firmware},
};

Fitted readFitted() {
    Fitted f;
    About* h = GetAbout();
    // Unreadable records count as absent; the identity group reports the failure itself.
    About_getNrOfVideoConnections(h, &f.video);
    About_getNrOfCANConnections(h, &f.can);
    About_getNrOfDigIOConnections(h, &f.digIO);
    About_getIsDisplayAvailable(h, &f.display);
    About_getIsTouchScreenAvailable(h, &f.touch);
    About_getIsGPRSMounted(h, &f.gprs);
    About_getIsWLANMounted(h, &f.wlan);
    About_getIsBTMounted(h, &f.bt);
    About_getIsGPSMounted(h, &f.gps);
    About_release(h);
    return f;
}

json itemJson(const Item& i) {
    switch (i.state) {
    case State::Ok: {
        json j = {{"value", i.value}};
        if (!i.unit.empty()) j["unit"] = i.unit;
        if (i.text != i.value.dump() && !i.value.is_string() && !i.value.is_boolean()) j["text"] = i.text;
        return j;
    }
    case State::NotFitted: return {{"state", "not fitted"}};
    case State::NeedsFirmware: return {{"state", "needs newer firmware"}, {"code", i.code}, {"message", errorText(i.code)}};
    case State::Unavailable: return {{"state", "unavailable"}, {"code", i.code}, {"message", errorText(i.code)}};
    case State::NotSet: return {{"state", "not set"}};
    case State::Failed: break;
    }
    return {{"state", "error"}, {"code", i.code}, {"message", errorText(i.code)}};
}

std::string itemText(const Item& i) {
    switch (i.state) {
    case State::Ok: {
        const bool showUnit = !i.unit.empty() && i.unit != kCode;
        return i.text + (showUnit ? " " + i.unit : "") + (i.note.empty() ? "" : " " + i.note);
    }
    case State::NotFitted: return "not fitted";
    case State::NeedsFirmware: return "needs newer firmware (" + errorText(i.code) + ")";
    case State::Unavailable: return "unavailable (driver not reachable)";
    case State::NotSet: return "not set (no value in the settings file)";
    case State::Failed: break;
    }
    return "error " + std::to_string(i.code) + ": " + errorText(i.code);
}

} // namespace

simops::Status simops::status() {
    const Fitted fitted = readFitted();
    Status s;
    s.document = json::object();
    for (const Group& g : kGroups) {
        Items items;
        g.read(fitted, items);
        size_t width = 0;
        for (const Item& i : items) width = std::max(width, i.label.size());
        json group = json::object();
        s.text += std::string(g.title) + "\n";
        for (const Item& i : items) {
            group[i.key] = itemJson(i);
            s.text += "  " + i.label + ":" + std::string(width + 2 - i.label.size(), ' ') + itemText(i) + "\n";
            if (i.state == State::Failed || i.state == State::Unavailable)
                s.exitStatus = std::max(s.exitStatus, exitStatusFor(i.code));
            s.failed = s.failed || i.state == State::Failed;
        }
        s.document[g.key] = group;
    }
    return s;
}

namespace {

void showStatus(Context& ctx) {
    const simops::Status s = simops::status();
    emit(ctx, s.document, s.text);
    ctx.fail(s.exitStatus);
    if (s.failed) {
        if (!ctx.json) std::cerr << "tavikctl: some values could not be read\n";
    }
}

} // namespace

void addStatusCommands(CLI::App& app, Context& ctx) {
    app.add_subcommand("status", "Show the whole unit at a glance (reads only)")->callback([&ctx] { showStatus(ctx); });
}

} // namespace tavikctl
