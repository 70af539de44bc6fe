// tavikctl led: the front LED's blink pattern, colour and start-up flag, through the FrontLED family.
#include "cli.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "tavik2/front_led.h"

namespace tavikctl {
namespace front_led_cmd {

using Varnholtstad::FrontLED;

// Standard colours, by the library's index.
const char* const kColorNames[] = {"red", "green", "blue", "cyan", "magenta", "orange"};
constexpr int kColorCount = 6;

using LedHandle = std::unique_ptr<FrontLED, void (*)(FrontLED*)>;
LedHandle openLed() { return LedHandle(GetFrontLED(), [](FrontLED* l) { FrontLED_release(l); }); }

struct Field {
    const char* key;   // JSON key
    const char* label;
    int scale;         // the record holds hundredths of a second: 10 ms each
    ErrorCode(TAVIK_CALL* get)(FrontLED*, uint8_t*);
    ErrorCode(TAVIK_CALL* set)(FrontLED*, uint8_t);
};
const Field kFields[] = {
    {"on_time_ms", "on", 10, &FrontLED_getOnTime, &FrontLED_setOnTime},
    {"off_time_ms", "off", 10, &FrontLED_getOffTime, &FrontLED_setOffTime},
    {"idle_time", "idle", 1, &FrontLED_getIdleTime, &FrontLED_setIdleTime},
    {"pulses", "pulses", 1, &FrontLED_getNrOfPulses, &FrontLED_setNrOfPulses},
};

std::string fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

void showLed(Context& ctx) {
    LedHandle h = openLed();
    json doc = json::object();
    std::string pattern = "Pattern:   ";
    for (const Field& f : kFields) {
        uint8_t v = 0;
        if (const ErrorCode e = f.get(h.get(), &v); e != ERR_SUCCESS) return failWith(ctx, std::string("led ") + f.label, e);
        doc[f.key] = v * f.scale;
        pattern += std::string(f.label) + " " + std::to_string(v * f.scale) + (f.scale == 10 ? " ms" : "") + ", ";
    }
    pattern.resize(pattern.size() - 2);

    double frequency = 0;
    uint8_t duty = 0;
    std::string signal = "Signal:    ";
    const ErrorCode se = FrontLED_getSignal(h.get(), &frequency, &duty);
    if (se == ERR_SUCCESS) {
        doc["frequency_hz"] = frequency;
        doc["duty_percent"] = duty;
        signal += fixed(frequency, 3) + " Hz, duty " + std::to_string(duty) + " %";
    } else if (se == ERR_INVALID_DATA) { // on and off time both 0
        doc["frequency_hz"] = nullptr;
        doc["duty_percent"] = nullptr;
        signal += "none (on and off time 0)";
    } else {
        return failWith(ctx, "led signal", se);
    }

    uint8_t r = 0, g = 0, b = 0;
    int32_t standard = 0, startup = 0;
    if (const ErrorCode e = FrontLED_getColor(h.get(), &r, &g, &b); e != ERR_SUCCESS) return failWith(ctx, "led colour", e);
    if (const ErrorCode e = FrontLED_getStandardColor(h.get(), &standard); e != ERR_SUCCESS)
        return failWith(ctx, "led standard colour", e);
    if (const ErrorCode e = FrontLED_getEnabledDuringStartup(h.get(), &startup); e != ERR_SUCCESS)
        return failWith(ctx, "led start-up flag", e);
    const bool named = standard >= 0 && standard < kColorCount;
    doc["color"] = {{"red", r}, {"green", g}, {"blue", b}};
    doc["standard_color"] = named ? json(kColorNames[standard]) : json(nullptr);
    doc["enabled_during_startup"] = startup == 1;
    emit(ctx, doc,
         pattern + "\n" + signal + "\nColour:    " + std::to_string(r) + "," + std::to_string(g) + "," +
             std::to_string(b) + " (" + (named ? kColorNames[standard] : "no standard colour") +
             ")\nStart-up:  " + (startup == 1 ? "lit" : "dark"));
}

std::vector<std::string> splitComma(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
    return parts;
}

// A whole number within [low, high], or a usage error naming the option.
long parseNumber(const std::string& option, const std::string& text, long low, long high) {
    size_t used = 0;
    long v = 0;
    try {
        v = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || v < low || v > high)
        throw CLI::ValidationError(option, "'" + text + "' is not a number " + std::to_string(low) + ".." + std::to_string(high));
    return v;
}

struct SetOptions {
    std::optional<std::string> color;
    std::optional<std::string> signal;
    std::optional<uint32_t> fields[4]; // on, off (hundredths of a second), idle, pulses
    std::optional<std::string> startup;
};

void setLed(Context& ctx, const SetOptions& o) {
    LedHandle h = openLed();
    json done = json::object();
    if (o.signal) {
        const std::vector<std::string> parts = splitComma(*o.signal);
        if (parts.size() != 2) throw CLI::ValidationError("--signal", "give HZ,DUTY, e.g. 2,50");
        double hz = 0;
        try {
            size_t used = 0;
            hz = std::stod(parts[0], &used);
            if (used != parts[0].size()) throw std::invalid_argument(parts[0]);
        } catch (const std::exception&) {
            throw CLI::ValidationError("--signal", "'" + parts[0] + "' is not a frequency in Hz");
        }
        const long duty = parseNumber("--signal", parts[1], 0, 255);
        if (const ErrorCode e = FrontLED_setSignal(h.get(), hz, static_cast<uint8_t>(duty)); e != ERR_SUCCESS)
            return failWith(ctx, "led signal " + *o.signal + " (0.2..50 Hz, duty 0..100 %, on and off time at most 2.55 s)", e);
        done["frequency_hz"] = hz;
        done["duty_percent"] = duty;
    }
    for (int i = 0; i < 4; ++i) {
        if (!o.fields[i]) continue;
        const Field& f = kFields[i];
        if (const ErrorCode e = f.set(h.get(), static_cast<uint8_t>(*o.fields[i])); e != ERR_SUCCESS)
            return failWith(ctx, std::string("led ") + f.label, e);
        done[f.key] = *o.fields[i] * f.scale;
    }
    if (o.color) {
        int index = -1;
        for (int i = 0; i < kColorCount; ++i)
            if (*o.color == kColorNames[i]) index = i;
        ErrorCode e = ERR_SUCCESS;
        if (index >= 0) {
            e = FrontLED_setStandardColor(h.get(), index);
        } else {
            const std::vector<std::string> parts = splitComma(*o.color);
            if (parts.size() != 3)
                throw CLI::ValidationError("--color", "a standard colour name or R,G,B (0..15 each)");
            const long r = parseNumber("--color", parts[0], 0, 255), g = parseNumber("--color", parts[1], 0, 255),
                       b = parseNumber("--color", parts[2], 0, 255);
            e = FrontLED_setColor(h.get(), static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
        }
        if (e != ERR_SUCCESS) return failWith(ctx, "led colour " + *o.color + " (components 0..15)", e);
        done["color"] = *o.color;
    }
    if (o.startup) {
        const bool lit = *o.startup == "on";
        if (const ErrorCode e = FrontLED_setEnabledDuringStartup(h.get(), lit ? 1 : 0); e != ERR_SUCCESS)
            return failWith(ctx, "led start-up flag", e);
        done["enabled_during_startup"] = lit;
    }
    std::string text;
    for (const auto& [key, value] : done.items()) text += (text.empty() ? "" : ", ") + key + " " + value.dump();
    emit(ctx, done, text.empty() ? "nothing to set" : "set " + text);
}

void ledOff(Context& ctx) {
    LedHandle h = openLed();
    if (const ErrorCode e = FrontLED_setOff(h.get()); e != ERR_SUCCESS) return failWith(ctx, "led off", e);
    emit(ctx, json{{"on_time_ms", 0}}, "LED off (on time 0)");
}

} // namespace front_led_cmd

void addFrontLedCommands(CLI::App& app, Context& ctx) {
    using namespace front_led_cmd;
    auto* led = app.add_subcommand("led", "Show the front LED's pattern, colour and start-up flag; set them; switch it off");
    led->callback([&ctx, led] {
        if (led->get_subcommands().empty()) showLed(ctx);
    });

    static SetOptions set;
    auto* setCmd = led->add_subcommand("set", "Set the colour, blink signal, pattern fields and start-up flag");
    setCmd->add_option("--color", set.color, "red|green|blue|cyan|magenta|orange or R,G,B (0..15 each)");
    addUsageHint(setCmd, [](const std::string& word) { return "tavikctl led set --color " + word; });
    setCmd->add_option("--signal", set.signal, "HZ,DUTY: blink frequency 0.2..50 Hz and duty cycle 0..100 %");
    setCmd->add_option("--on-time", set.fields[0], "On time in hundredths of a second (0..255)")->check(CLI::Range(0, 255));
    setCmd->add_option("--off-time", set.fields[1], "Off time in hundredths of a second (0..255)")->check(CLI::Range(0, 255));
    setCmd->add_option("--idle", set.fields[2], "Idle time (0..255)")->check(CLI::Range(0, 255));
    setCmd->add_option("--pulses", set.fields[3], "Number of pulses (0..255)")->check(CLI::Range(0, 255));
    setCmd->add_option("--startup", set.startup, "Lit during start-up")->check(CLI::IsMember({"on", "off"}));
    setCmd->callback([&ctx] { setLed(ctx, set); });

    led->add_subcommand("off", "Switch the LED off (on time 0; the rest is kept)")->callback([&ctx] { ledOff(ctx); });
}

} // namespace tavikctl
