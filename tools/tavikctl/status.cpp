// tavikctl status: the whole unit at a glance, read-only. Values are shown in groups; each group is
// one entry of kGroups with a routine that reads its families. A feature the unit lacks shows as
// "not fitted", one the firmware is too old for as "needs newer firmware", a value behind a driver
// that cannot be opened as "unavailable"; only other failures are errors (exit status 1). Every number carries its unit, in the text and in the JSON.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli.h"
#include "tavik2/about.h"
#include "tavik2/adc.h"
#include "tavik2/aux_version.h"
#include "tavik2/can_setting.h"
#include "tavik2/config.h"
#include "tavik2/diagnostic.h"
#include "tavik2/dig_io.h"
#include "tavik2/firmware_upgrade.h"
#include "tavik2/messages.h"
#include "tavik2/power.h"
#include "tavik2/touch_screen.h"

namespace tavikctl {
namespace {

using namespace Varnholtstad;

constexpr const char* kCelsius = "°C";
constexpr const char* kVolts = "V";
constexpr const char* kSupervisorTime = "supervisor time units";
// Unit of numbers that name something (a reason, a mode): the text says what, not the unit.
constexpr const char* kCode = "code";
constexpr int kAdcSelectors = 16;

enum class State { Ok, NotFitted, NeedsFirmware, Unavailable, Failed };

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

// ---- groups -------------------------------------------------------------------------------

void identity(const Fitted&, Items& out) {
    About* h = GetAbout();
    struct Text { const char* key; const char* label; ErrorCode(TAVIK_CALL* op)(About*, char*, int32_t); };
    static const Text kTexts[] = {
        {"unit_serial", "Unit serial", &About_getUnitSerial},
        {"product_article", "Product article", &About_getMainProdArtNr},
        {"product_revision", "Product revision", &About_getMainProdRev},
        {"main_serial", "Main board serial", &About_getMainPCBSerial},
        {"main_made", "Main board made", &About_getMainManufacturingDate},
        {"display_resolution", "Display resolution", &About_getDisplayResolution},
        {"addon_serial", "Add-on board serial", &About_getAddOnPCBSerial},
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
    e = Diagnostic_getPowerCycles(d, &code);
    add(out, "power_cycles", "Power cycles", "cycles", e, code);
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
    Config_release(c);

    Adc* a = GetAdc();
    for (int s = 0; s < kAdcSelectors; ++s) {
        e = Adc_getVoltage(a, s, &volts);
        if (e == ERR_NOT_SUPPORTED) continue; // selector not measured on this unit
        add(out, "voltage_" + std::to_string(s), "Voltage " + std::to_string(s), kVolts, e, volts, fixed(volts, 3));
    }
    Adc_release(a);
}

void signalsAndIo(const Fitted& fitted, Items& out) {
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
        TouchScreen_release(h);
    }
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
    FirmwareUpgrade* h = GetFirmwareUpgrade();
    // A start refused as in progress is the only read-only way to learn of a job on the unit.
    const bool running = FirmwareUpgrade_startSSVerification(h, "", false) == ERR_IN_PROGRESS;
    FirmwareUpgrade_release(h);
    add(out, "job_running", "Firmware job", "", ERR_SUCCESS, running, running ? "running" : "none");
}

struct Group {
    const char* key;
    const char* title;
    void (*read)(const Fitted&, Items&);
};

// Groups in display order. A new family adds its routine here (lighting, telematics, battery and
// storage go between power and signals).
const Group kGroups[] = {
    {"identity", "Identity", &identity},
    {"versions", "Versions", &versions},
    {"power", "Power and temperatures", &powerAndTemperatures},
    {"signals", "Signals and I/O", &signalsAndIo},
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
    case State::Failed: break;
    }
    return "error " + std::to_string(i.code) + ": " + errorText(i.code);
}

void showStatus(Context& ctx) {
    const Fitted fitted = readFitted();
    json doc = json::object();
    std::string text;
    bool failed = false;
    for (const Group& g : kGroups) {
        Items items;
        g.read(fitted, items);
        size_t width = 0;
        for (const Item& i : items) width = std::max(width, i.label.size());
        json group = json::object();
        text += std::string(g.title) + "\n";
        for (const Item& i : items) {
            group[i.key] = itemJson(i);
            text += "  " + i.label + ":" + std::string(width + 2 - i.label.size(), ' ') + itemText(i) + "\n";
            failed = failed || i.state == State::Failed;
        }
        doc[g.key] = group;
    }
    emit(ctx, doc, text);
    if (failed) {
        ctx.exitCode = 1;
        if (!ctx.json) std::cerr << "tavikctl: some values could not be read\n";
    }
}

} // namespace

void addStatusCommands(CLI::App& app, Context& ctx) {
    app.add_subcommand("status", "Show the whole unit at a glance (reads only)")->callback([&ctx] { showStatus(ctx); });
}

} // namespace tavikctl
