// tavikctl buzzer: tone, volume and trigger of the buzzer, and timed beeps, through the Buzzer family.
#include "cli.h"

#include <memory>
#include <optional>

#include "platform/sync.h"
#include "tavik2/buzzer.h"

namespace tavikctl {
namespace buzzer_cmd {

using Varnholtstad::Buzzer;

// One buzzer object for the command; its release ends an own background buzz.
using BuzzerHandle = std::unique_ptr<Buzzer, void (*)(Buzzer*)>;
BuzzerHandle openBuzzer() { return BuzzerHandle(GetBuzzer(), [](Buzzer* b) { Buzzer_release(b); }); }

void showBuzzer(Context& ctx) {
    BuzzerHandle h = openBuzzer();
    uint16_t frequency = 0, volume = 0;
    bool on = false;
    if (const ErrorCode e = Buzzer_getFrequency(h.get(), &frequency); e != ERR_SUCCESS)
        return failWith(ctx, "buzzer frequency", e);
    if (const ErrorCode e = Buzzer_getVolume(h.get(), &volume); e != ERR_SUCCESS)
        return failWith(ctx, "buzzer volume", e);
    if (const ErrorCode e = Buzzer_getTrigger(h.get(), &on); e != ERR_SUCCESS)
        return failWith(ctx, "buzzer trigger", e);
    emit(ctx, json{{"frequency_hz", frequency}, {"volume", volume}, {"on", on}},
         "Frequency:  " + std::to_string(frequency) + " Hz\nVolume:     " + std::to_string(volume) +
             " (0..51)\nTrigger:    " + (on ? "on" : "off"));
}

struct SetOptions {
    std::optional<uint32_t> frequency;
    std::optional<uint32_t> volume;
    std::optional<std::string> trigger;
};

void setBuzzer(Context& ctx, const SetOptions& o) {
    BuzzerHandle h = openBuzzer();
    json done = json::object();
    if (o.frequency) {
        if (const ErrorCode e = Buzzer_setFrequency(h.get(), static_cast<uint16_t>(*o.frequency)); e != ERR_SUCCESS)
            return failWith(ctx, "buzzer frequency " + std::to_string(*o.frequency) + " Hz", e);
        done["frequency_hz"] = *o.frequency;
    }
    if (o.volume) {
        if (const ErrorCode e = Buzzer_setVolume(h.get(), static_cast<uint16_t>(*o.volume)); e != ERR_SUCCESS)
            return failWith(ctx, "buzzer volume " + std::to_string(*o.volume), e);
        done["volume"] = *o.volume;
    }
    if (o.trigger) {
        const bool on = *o.trigger == "on";
        if (const ErrorCode e = Buzzer_setTrigger(h.get(), on); e != ERR_SUCCESS)
            return failWith(ctx, "buzzer trigger " + *o.trigger, e);
        done["on"] = on;
    }
    std::string text;
    for (const auto& [key, value] : done.items()) text += (text.empty() ? "" : ", ") + key + " " + value.dump();
    emit(ctx, done, text.empty() ? "nothing to set" : "set " + text);
}

void beep(Context& ctx, int32_t timeMs, bool wait) {
    BuzzerHandle h = openBuzzer();
    if (const ErrorCode e = Buzzer_buzze(h.get(), timeMs, wait); e != ERR_SUCCESS)
        return failWith(ctx, "buzzer beep " + std::to_string(timeMs) + " ms", e);
    // A background buzz lives in this process: let it run its course before the release,
    // which would otherwise end it early. Its thread starts a little after the call returns, so
    // after the time wait for the trigger to go off (at most as long again).
    if (!wait) {
        tavik::platform::sleepMs(static_cast<uint32_t>(timeMs));
        constexpr uint32_t kStepMs = 10;
        bool on = true;
        for (int64_t waited = 0; waited <= timeMs && Buzzer_getTrigger(h.get(), &on) == ERR_SUCCESS && on;
             waited += kStepMs)
            tavik::platform::sleepMs(kStepMs);
    }
    h.reset();
    emit(ctx, json{{"time_ms", timeMs}, {"blocking", wait}}, "beep " + std::to_string(timeMs) + " ms");
}

} // namespace buzzer_cmd

void addBuzzerCommands(CLI::App& app, Context& ctx) {
    using namespace buzzer_cmd;
    auto* buzzer = app.add_subcommand("buzzer", "Show the buzzer's tone, volume and trigger; set them; beep");
    buzzer->callback([&ctx, buzzer] {
        if (buzzer->get_subcommands().empty()) showBuzzer(ctx);
    });

    static SetOptions set;
    auto* setCmd = buzzer->add_subcommand("set", "Set the tone and switch the buzzer on or off");
    setCmd->add_option("--frequency", set.frequency, "Tone frequency in Hz (700..10000)");
    setCmd->add_option("--volume", set.volume, "Volume 0..51");
    setCmd->add_option("--trigger", set.trigger, "Switch on or off")->check(CLI::IsMember({"on", "off"}));
    setCmd->callback([&ctx] { setBuzzer(ctx, set); });

    static int32_t timeMs = 0;
    static bool wait = false;
    auto* beepCmd = buzzer->add_subcommand("beep", "Sound the buzzer for MS milliseconds (one buzz at a time, unit-wide)");
    beepCmd->add_option("ms", timeMs, "Milliseconds")->required();
    beepCmd->add_flag("--wait", wait, "Sound in the calling thread (blocking buzz) instead of the library's background buzz");
    beepCmd->callback([&ctx] { beep(ctx, timeMs, wait); });
}

} // namespace tavikctl
