// tavikctl config: the start-up configuration the supervisor keeps, through the Config family.
// Each setting has one name, used by `config set NAME VALUE`, the text and the JSON output.
#include <cstdio>
#include <functional>

#include "readings.h"
#include "tavik2/config.h"

namespace tavikctl {
namespace config_cmd {

using Varnholtstad::Config;

constexpr const char* kTimeUnit = "supervisor time units";

struct Setting {
    const char* name;
    const char* label;
    const char* unit;
    // Reads the value: result code, JSON value and its text.
    std::function<ErrorCode(Config*, json&, std::string&)> get;
    // Parses the argument, writes it and gives the value written.
    std::function<ErrorCode(Config*, const std::string&, json&)> set;
};

template <class T>
std::function<ErrorCode(Config*, json&, std::string&)> getter(ErrorCode(TAVIK_CALL* op)(Config*, T*)) {
    return [op](Config* h, json& v, std::string& text) {
        T value{};
        const ErrorCode e = op(h, &value);
        v = value;
        text = std::to_string(value);
        return e;
    };
}

template <class T>
std::function<ErrorCode(Config*, const std::string&, json&)> setter(ErrorCode(TAVIK_CALL* op)(Config*, T),
                                                                   int64_t lowest, int64_t highest) {
    return [op, lowest, highest](Config* h, const std::string& text, json& v) {
        const int64_t value = parseInteger("VALUE", text, lowest, highest);
        v = value;
        return op(h, static_cast<T>(value));
    };
}

std::string volts(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

// Ranges here only keep the argument within the interface's type; the library judges the value.
const std::vector<Setting>& settings() {
    static const std::vector<Setting> all = {
        {"startup-trigger", "Start-up triggers (bit 0 button, bit 1 signal)", "",
         getter(&Config_getStartupTriggerConfig), setter(&Config_setStartupTriggerConfig, INT32_MIN, INT32_MAX)},
        {"short-press-action", "Short button press action", "", getter(&Config_getShortButtonPressAction),
         setter(&Config_setShortButtonPressAction, INT32_MIN, INT32_MAX)},
        {"long-press-action", "Long button press action", "", getter(&Config_getLongButtonPressAction),
         setter(&Config_setLongButtonPressAction, INT32_MIN, INT32_MAX)},
        {"onoff-signal-action", "On/off signal action", "", getter(&Config_getOnOffSigAction),
         setter(&Config_setOnOffSigAction, INT32_MIN, INT32_MAX)},
        {"front-button-time", "Front button trigger time", kTimeUnit, getter(&Config_getFrontBtnTrigTime),
         setter(&Config_setFrontBtnTrigTime, 0, UINT16_MAX)},
        {"onoff-signal-time", "On/off signal trigger time", kTimeUnit, getter(&Config_getExtOnOffSigTrigTime),
         setter(&Config_setExtOnOffSigTrigTime, INT32_MIN, UINT32_MAX)},
        {"suspend-max-time", "Longest suspend", kTimeUnit, getter(&Config_getSuspendMaxTime),
         setter(&Config_setSuspendMaxTime, 0, UINT16_MAX)},
        {"can-startup-power", "CAN power at start-up", "", getter(&Config_getCanStartupPowerConfig),
         setter(&Config_setCanStartupPowerConfig, 0, UINT16_MAX)},
        {"video-startup-power", "Video power mask at start-up", "", getter(&Config_getVideoStartupPowerConfig),
         setter(&Config_setVideoStartupPowerConfig, 0, UINT8_MAX)},
        {"fan-startup-power", "External fan power at start-up", "", getter(&Config_getExtFanStartupPowerConfig),
         setter(&Config_setExtFanStartupPowerConfig, 0, UINT16_MAX)},
        {"startup-voltage", "Start-up voltage", "V",
         [](Config* h, json& v, std::string& text) {
             double value = 0;
             const ErrorCode e = Config_getStartupVoltageConfig(h, &value);
             v = value;
             text = volts(value);
             return e;
         },
         [](Config* h, const std::string& text, json& v) {
             const double value = parseNumber("VALUE", text);
             v = value;
             return Config_setStartupVoltageConfig(h, value);
         }},
        {"heating-limit", "Heating temperature limit", "°C", getter(&Config_getHeatingTempLimit),
         setter(&Config_setHeatingTempLimit, INT16_MIN, INT16_MAX)},
        {"power-on-startup", "Start when power is applied", "", getter(&Config_getPowerOnStartup),
         setter(&Config_setPowerOnStartup, 0, UINT16_MAX)},
    };
    return all;
}

std::string key(const char* name) {
    std::string k = name;
    for (char& c : k)
        if (c == '-') c = '_';
    return k;
}

void showConfig(Context& ctx) {
    Config* h = GetConfig();
    if (h == nullptr) {
        failWith(ctx, "config", ERR_MEMORY_ALLOCATION);
        return;
    }
    std::vector<Reading> out;
    for (const Setting& s : settings()) {
        json value;
        std::string text;
        const ErrorCode e = s.get(h, value, text);
        out.push_back(reading(key(s.name), s.label, s.unit, e, value, text));
    }
    Config_release(h);
    showReadings(ctx, out);
}

void setConfig(Context& ctx, const std::string& name, const std::string& value) {
    const Setting* setting = nullptr;
    std::string names;
    for (const Setting& s : settings()) {
        if (name == s.name) setting = &s;
        names += std::string(names.empty() ? "" : ", ") + s.name;
    }
    if (setting == nullptr) throw CLI::ValidationError("NAME", "unknown setting " + name + " (" + names + ")");
    Config* h = GetConfig();
    json written;
    ErrorCode e = ERR_SUCCESS;
    try {
        e = setting->set(h, value, written);
    } catch (...) {
        Config_release(h);
        throw;
    }
    Config_release(h);
    const std::string shown = value + (*setting->unit ? std::string(" ") + setting->unit : "");
    reportSet(ctx, name, e, written, shown);
}

} // namespace config_cmd

void addConfigCommands(CLI::App& app, Context& ctx) {
    using namespace config_cmd;
    auto* config = app.add_subcommand("config", "Start-up configuration kept by the supervisor");
    config->callback([&ctx, config] {
        if (config->get_subcommands().empty()) showConfig(ctx);
    });
    auto* set = config->add_subcommand("set", "Change one setting: config set NAME VALUE "
                                              "(startup-voltage 12.5, heating-limit -10, ...)");
    static std::string name, value;
    set->add_option("NAME", name, "Setting name, as `tavikctl config` lists them")->required();
    set->add_option("VALUE", value, "New value")->required();
    set->callback([&ctx] { setConfig(ctx, name, value); });
}

} // namespace tavikctl
