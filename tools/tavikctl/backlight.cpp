// tavikctl backlight: level, status and the automatic backlight settings, through the Backlight
// family.
#include "cli.h"

#include <initializer_list>
#include <sstream>

#include "frame/settings_file.h"
#include "lighting/abl_settings.h"
#include "tavik2/backlight.h"

namespace tavikctl {
namespace backlight_cmd {

using Varnholtstad::Backlight;

// Holds the shared Backlight handle for one command.
struct BacklightHandle {
    Backlight* h = GetBacklight();
    ~BacklightHandle() { Backlight_release(h); }
};

std::string onOff(bool on) { return on ? "on" : "off"; }

// One line of the overview: its JSON value, "not set" or its failure.
struct Overview {
    Context& ctx;
    json doc = json::object();
    std::string text;
    tavik::frame::SettingsEntries settings = [] {
        tavik::frame::SettingsFile store; // held only while reading: it is the settings lock
        store.load();
        return store.entries();
    }();

    // `keys`: the settings keys the value is read from. A getter refuses a missing key as a
    // datatype mismatch; on a new unit none is written yet, which is no failure.
    void add(const char* key, const char* label, ErrorCode e, const json& value, const std::string& shown,
             std::initializer_list<const char*> keys = {}) {
        std::string line = std::string(label) + ":";
        line.append(line.size() < 20 ? 20 - line.size() : 1, ' ');
        bool unset = false;
        for (const char* k : keys) unset = unset || settings.find(k) == settings.end();
        if (e == ERR_SUCCESS) {
            doc[key] = value;
            line += shown;
        } else if (e == ERR_DATATYPE_MISMATCH && unset) {
            doc[key] = {{"state", "not set"}};
            line += "not set";
        } else {
            doc[key] = {{"code", e}, {"message", errorText(e)}};
            line += "error " + std::to_string(e) + ": " + errorText(e);
            ctx.noteReading(e);
        }
        text += line + "\n";
    }
};

void show(Context& ctx) {
    BacklightHandle b;
    Overview o{ctx};
    uint8_t level = 0, status = 0;
    ErrorCode e = Backlight_getIntensity(b.h, &level);
    o.add("level", "Level", e, level, std::to_string(level) + " of 255");
    e = Backlight_getStatus(b.h, &status);
    bool ok = false;
    if (e == ERR_SUCCESS) e = Backlight_getHWStatus(b.h, &ok);
    o.add("status", "Status", e, json{{"byte", status}, {"ok", ok}},
          std::to_string(status) + (ok ? " (working)" : " (fault)"));
    bool automatic = false;
    e = Backlight_getAutomaticBLStatus(b.h, &automatic);
    o.add("automatic", "Automatic", e, automatic, onOff(automatic), {tavik::lighting::kKeyStatus});
    bool soft = false;
    double k = 0;
    e = Backlight_getAutomaticBLParams(b.h, &soft, &k);
    std::ostringstream kText;
    kText << k;
    o.add("parameters", "Parameters", e, json{{"soft_transitions", soft}, {"k", k}},
          "soft transitions " + onOff(soft) + ", k " + kText.str(),
          {tavik::lighting::kKeySoftTransitions, tavik::lighting::kKeyK});
    int32_t average = 0, reject = 0, delta = 0, mode = 0;
    e = Backlight_getAutomaticBLFilter(b.h, &average, &reject, &delta, &mode);
    o.add("filter", "Filter", e,
          json{{"average_samples", average}, {"reject_samples", reject}, {"reject_delta_lux", delta}, {"mode", mode}},
          "average " + std::to_string(average) + " samples, reject window " + std::to_string(reject) +
              " samples above " + std::to_string(delta) + " lux, mode " + std::to_string(mode),
          {tavik::lighting::kKeyAverageWndSize, tavik::lighting::kKeyRejectWndSize,
           tavik::lighting::kKeyRejectDeltaInLux, tavik::lighting::kKeyMode});
    int32_t dimming = 0;
    e = Backlight_getLedDimming(b.h, &dimming);
    o.add("led_dimming", "LED dimming", e, dimming == 1, onOff(dimming == 1), {tavik::lighting::kKeyLedDimming});
    emit(ctx, o.doc, o.text);
}

// Runs a setter and reports its outcome.
void report(Context& ctx, const std::string& what, ErrorCode e, const json& doc, const std::string& text) {
    if (e != ERR_SUCCESS)
        failWith(ctx, what, e);
    else
        emit(ctx, doc, text);
}

} // namespace backlight_cmd

void addBacklightCommands(CLI::App& app, Context& ctx) {
    using namespace backlight_cmd;
    auto* cmd = app.add_subcommand("backlight", "Backlight level, status and automatic backlight");
    cmd->require_subcommand(0, 1);
    cmd->callback([&ctx, cmd] {
        if (cmd->get_subcommands().empty()) show(ctx);
    });
    addUsageHint(cmd, [](const std::string& word) {
        return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos
                   ? "tavikctl backlight set " + word
                   : std::string();
    });

    auto* set = cmd->add_subcommand("set", "Set the backlight level");
    static int level = 0;
    set->add_option("level", level, "Level 0..255")->required()->check(CLI::Range(0, 255));
    set->callback([&ctx] {
        BacklightHandle b;
        report(ctx, "backlight set", Backlight_setIntensity(b.h, static_cast<uint8_t>(level)), json{{"level", level}},
               "level " + std::to_string(level));
    });

    auto* automatic = cmd->add_subcommand("auto", "Switch and configure the automatic backlight");
    automatic->require_subcommand(1);
    automatic->add_subcommand("on", "Automatic backlight on")->callback([&ctx] {
        BacklightHandle b;
        report(ctx, "backlight auto on", Backlight_startAutomaticBL(b.h), json{{"automatic", true}}, "automatic on");
    });
    automatic->add_subcommand("off", "Automatic backlight off")->callback([&ctx] {
        BacklightHandle b;
        report(ctx, "backlight auto off", Backlight_stopAutomaticBL(b.h), json{{"automatic", false}}, "automatic off");
    });
    auto* soft = automatic->add_subcommand("soft", "Move the level one step at a time (on) or at once (off)");
    static std::string softValue;
    soft->add_option("value", softValue, "on | off")->required()->check(CLI::IsMember({"on", "off"}));
    soft->callback([&ctx] {
        BacklightHandle b;
        const bool on = softValue == "on";
        report(ctx, "backlight auto soft", Backlight_setAutomaticBLParams(b.h, on), json{{"soft_transitions", on}},
               "soft transitions " + onOff(on));
    });
    auto* filter = automatic->add_subcommand("filter", "Light-sensor averaging of the automatic backlight");
    static int32_t average = 0, reject = 0, delta = 0, mode = 0;
    filter->add_option("average", average, "Samples averaged")->required();
    filter->add_option("reject", reject, "Samples in the rejection window")->required();
    filter->add_option("delta", delta, "Largest spread in lux inside the rejection window")->required();
    filter->add_option("mode", mode, "Range mode: 0 standard, 1 extended, 2 automatic")->required();
    filter->callback([&ctx] {
        BacklightHandle b;
        report(ctx, "backlight auto filter", Backlight_setAutomaticBLFilter(b.h, average, reject, delta, mode),
               json{{"average_samples", average}, {"reject_samples", reject}, {"reject_delta_lux", delta}, {"mode", mode}},
               "filter set");
    });

    auto* dimming = cmd->add_subcommand("dimming", "Let the front LED follow the backlight (on) or not (off)");
    static std::string dimmingValue;
    dimming->add_option("value", dimmingValue, "on | off")->required()->check(CLI::IsMember({"on", "off"}));
    dimming->callback([&ctx] {
        BacklightHandle b;
        const bool on = dimmingValue == "on";
        // The setting is stored even when the service cannot be told.
        report(ctx, "backlight dimming", Backlight_setLedDimming(b.h, on ? 1 : 0), json{{"led_dimming", on}},
               "LED dimming " + onOff(on));
    });
}

} // namespace tavikctl
