// tavikctl power: the switchable power outputs, through the Power family.
#include "readings.h"
#include "tavik2/power.h"

namespace tavikctl {
namespace power_cmd {

using Varnholtstad::Power;

struct OnOffOutput {
    const char* name;
    const char* label;
    ErrorCode(TAVIK_CALL* get)(Power*, int32_t*);
    ErrorCode(TAVIK_CALL* set)(Power*, int32_t);
};

const OnOffOutput kOnOff[] = {
    {"backlight", "Backlight power", &Power_getBLPowerStatus, &Power_setBLPowerStatus},
    {"can", "CAN power", &Power_getCanPowerStatus, &Power_setCanPowerStatus},
    {"fan", "External fan power", &Power_getExtFanPowerStatus, &Power_setExtFanPowerStatus},
};

std::string onOff(int32_t v) { return v != 0 ? "on" : "off"; }

std::string maskText(uint8_t mask) {
    std::string bits;
    for (int i = 3; i >= 0; --i) bits += (mask >> i & 1) ? '1' : '0';
    return std::to_string(mask) + " (outputs 3..0: " + bits + ")";
}

void showPower(Context& ctx) {
    Power* h = GetPower();
    if (h == nullptr) {
        failWith(ctx, "power", ERR_MEMORY_ALLOCATION);
        return;
    }
    std::vector<Reading> out;
    for (const OnOffOutput& o : kOnOff) {
        int32_t v = 0;
        const ErrorCode e = o.get(h, &v);
        out.push_back(reading(o.name, o.label, "", e, onOff(v), onOff(v)));
    }
    uint8_t mask = 0;
    ErrorCode e = Power_getVideoPowerStatus(h, &mask);
    out.push_back(reading("video", "Video power mask", "", e, mask, maskText(mask)));
    int32_t transition = 0;
    e = Power_getButtonPowerTransitionStatus(h, &transition);
    out.push_back(reading("button_transition", "Button power transition", "", e, transition));
    Power_release(h);
    showReadings(ctx, out);
}

// on/off for the switched outputs; for video also a mask 0..15 (on = all four, off = none).
void setPower(Context& ctx, const std::string& output, const std::string& value) {
    Power* h = GetPower();
    ErrorCode e = ERR_INVALID_PARAMETER;
    json written;
    std::string shown;
    if (output == "video") {
        uint8_t mask = 0;
        if (value == "on") mask = 0x0F;
        else if (value != "off") mask = static_cast<uint8_t>(parseInteger("MASK", value, 0, 255));
        e = Power_setVideoPowerStatus(h, mask);
        written = mask;
        shown = maskText(mask);
    } else {
        const OnOffOutput* o = nullptr;
        for (const OnOffOutput& candidate : kOnOff)
            if (output == candidate.name) o = &candidate;
        if (o == nullptr) {
            Power_release(h);
            throw CLI::ValidationError("OUTPUT", "unknown output " + output + " (backlight, can, video, fan)");
        }
        if (value != "on" && value != "off") {
            Power_release(h);
            throw CLI::ValidationError("VALUE", "on or off, not " + value);
        }
        e = o->set(h, value == "on" ? 1 : 0);
        written = value;
        shown = value;
    }
    Power_release(h);
    reportSet(ctx, output + " power", e, written, shown);
}

void ackRequest(Context& ctx) {
    Power* h = GetPower();
    const ErrorCode e = Power_ackPowerRequest(h);
    Power_release(h);
    if (e != ERR_SUCCESS)
        failWith(ctx, "ack", e);
    else
        emit(ctx, json{{"acknowledged", true}}, "power request acknowledged");
}

} // namespace power_cmd

void addPowerCommands(CLI::App& app, Context& ctx) {
    using namespace power_cmd;
    auto* power = app.add_subcommand("power", "Switchable power outputs: backlight, CAN, video, external fan");
    power->callback([&ctx, power] {
        if (power->get_subcommands().empty()) showPower(ctx);
    });
    auto* set = power->add_subcommand("set", "Switch an output: backlight|can|fan on|off, video on|off|MASK");
    static std::string output, value;
    set->add_option("OUTPUT", output, "backlight, can, video or fan")->required();
    set->add_option("VALUE", value, "on, off, or for video a mask 0..15")->required();
    set->callback([&ctx] { setPower(ctx, output, value); });
    power->add_subcommand("ack", "Acknowledge the supervisor's power request")->callback([&ctx] { ackRequest(ctx); });
}

} // namespace tavikctl
