// tavikctl io / adc / can: digital inputs, supply voltages and the CAN channels' settings.
#include <cstdio>

#include "cli.h"
#include "tavik2/adc.h"
#include "tavik2/can_setting.h"
#include "tavik2/dig_io.h"

namespace tavikctl {
namespace io_cmd {

constexpr int kInputs = 4;
constexpr int kSelectors = 16;

json failure(int32_t e) { return {{"code", e}, {"message", errorText(e)}}; }

void showInputs(Context& ctx) {
    Varnholtstad::DigIO* h = GetDigIO();
    uint8_t inputs = 0;
    const ErrorCode e = DigIO_getDigIO(h, &inputs);
    DigIO_release(h);
    if (e != ERR_SUCCESS) return failWith(ctx, "digital inputs", e);
    json bits = json::array();
    std::string text = "inputs: ";
    for (int i = kInputs - 1; i >= 0; --i) text += (inputs >> i & 1) ? '1' : '0';
    text += " (bit 3..0)\n";
    for (int i = 0; i < kInputs; ++i) {
        const bool on = inputs >> i & 1;
        bits.push_back(on);
        text += "  input " + std::to_string(i) + ": " + (on ? "on" : "off") + "\n";
    }
    emit(ctx, json{{"inputs", inputs}, {"bits", bits}}, text);
}

// One selector: volts, "not measured" (ERR_NOT_SUPPORTED) or another failure.
struct Reading {
    ErrorCode code;
    double volts;
};

Reading readVoltage(Varnholtstad::Adc* h, int32_t selector) {
    Reading r{ERR_SUCCESS, 0.0};
    r.code = Adc_getVoltage(h, selector, &r.volts);
    return r;
}

std::string voltsText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f V", v);
    return buf;
}

// `only` < 0: every selector.
void showVoltages(Context& ctx, int64_t only) {
    Varnholtstad::Adc* h = GetAdc();
    json doc = json::array();
    std::string text;
    const int64_t first = only >= 0 ? only : 0;
    const int64_t last = only >= 0 ? only : kSelectors - 1;
    for (int64_t s = first; s <= last; ++s) {
        const Reading r = readVoltage(h, static_cast<int32_t>(s));
        json item = {{"selector", s}};
        std::string line = "selector " + std::to_string(s) + ": ";
        if (r.code == ERR_SUCCESS) {
            item["volts"] = r.volts;
            item["unit"] = "V";
            line += voltsText(r.volts);
        } else if (r.code == ERR_NOT_SUPPORTED) {
            item["measured"] = false;
            line += "not measured";
            if (only >= 0) ctx.fail(kExitRefused); // asked for this one voltage: there is none
        } else {
            item["error"] = failure(r.code);
            line += "error " + std::to_string(r.code) + ": " + errorText(r.code);
            ctx.noteReading(r.code);
        }
        doc.push_back(item);
        text += line + "\n";
    }
    Adc_release(h);
    emit(ctx, only >= 0 ? doc[0] : doc, text);
}

const char* const kFrameNames[] = {"standard", "extended", "both"};

// One channel's settings; ERR_INVALID_PARAMETER past the unit's last channel.
ErrorCode readChannel(Varnholtstad::CanSetting* h, uint8_t channel, json& item, std::string& line) {
    uint16_t kbit = 0;
    int32_t frame = 0;
    const ErrorCode eb = CanSetting_getBaudrate(h, channel, &kbit);
    if (eb == ERR_INVALID_PARAMETER || eb == ERR_NOT_SUPPORTED) return eb;
    const ErrorCode ef = CanSetting_getFrameType(h, channel, &frame);
    item = {{"channel", channel}};
    line = "CAN " + std::to_string(channel) + ": ";
    if (eb == ERR_SUCCESS) {
        item["kbit"] = kbit;
        line += std::to_string(kbit) + " kbit/s";
    } else {
        item["bitrate_error"] = failure(eb);
        line += "bit rate unreadable (" + errorText(eb) + ")";
    }
    if (ef == ERR_SUCCESS) {
        item["frame_type"] = frame;
        item["frame"] = kFrameNames[frame];
        line += std::string(", ") + kFrameNames[frame] + " frames";
    } else {
        item["frame_error"] = failure(ef);
        line += ", frame type unreadable (" + errorText(ef) + ")";
    }
    return eb != ERR_SUCCESS ? eb : ef;
}

void showCan(Context& ctx, int channel) {
    Varnholtstad::CanSetting* h = GetCanSetting();
    json doc = json::array();
    std::string text;
    const bool one = channel >= 0;
    const int first = one ? channel : 1;
    const int last = one ? channel : 255;
    for (int c = first; c <= last; ++c) {
        json item;
        std::string line;
        const ErrorCode e = readChannel(h, static_cast<uint8_t>(c), item, line);
        if (item.is_null()) { // channel refused as a whole
            if (one || c == 1) {
                CanSetting_release(h);
                return failWith(ctx, "CAN channel " + std::to_string(c), e);
            }
            break; // past the last channel
        }
        ctx.noteReading(e);
        doc.push_back(item);
        text += line + "\n";
    }
    CanSetting_release(h);
    emit(ctx, one ? doc[0] : doc, text);
}

struct CanSetOptions {
    int channel = 0;
    int kbit = -1;
    std::string frame;
};

void setCan(Context& ctx, const CanSetOptions& o) {
    Varnholtstad::CanSetting* h = GetCanSetting();
    const auto channel = static_cast<uint8_t>(o.channel);
    json doc = {{"channel", o.channel}};
    std::string text;
    ErrorCode e = ERR_SUCCESS;
    if (o.kbit >= 0) {
        e = CanSetting_setBaudrate(h, channel, static_cast<uint16_t>(o.kbit));
        if (e == ERR_SUCCESS) {
            doc["kbit"] = o.kbit;
            text += "CAN " + std::to_string(o.channel) + ": bit rate " + std::to_string(o.kbit) + " kbit/s\n";
        }
    }
    if (e == ERR_SUCCESS && !o.frame.empty()) {
        int32_t type = 0;
        while (o.frame != kFrameNames[type]) ++type;
        e = CanSetting_setFrameType(h, channel, type);
        if (e == ERR_SUCCESS) {
            doc["frame_type"] = type;
            doc["frame"] = o.frame;
            text += "CAN " + std::to_string(o.channel) + ": " + o.frame + " frames\n";
        }
    }
    CanSetting_release(h);
    if (e != ERR_SUCCESS) return failWith(ctx, "CAN channel " + std::to_string(o.channel), e);
    emit(ctx, doc, text + "takes effect when the CAN driver restarts");
}

} // namespace io_cmd

void addIoCommands(CLI::App& app, Context& ctx) {
    using namespace io_cmd;
    app.add_subcommand("io", "Show the digital inputs (bits 0..3)")->callback([&ctx] { showInputs(ctx); });

    auto* adc = app.add_subcommand("adc", "Show the supply voltages measured by the supervisor");
    static int64_t selector = -1;
    adc->add_option("selector", selector, "Only this selector (0..15)")->check(CLI::Range(0, 15));
    adc->callback([&ctx] { showVoltages(ctx, selector); });

    auto* can = app.add_subcommand("can", "Show or set the CAN channels' bit rate and frame type");
    static int channel = -1;
    can->add_option("channel", channel, "Only this channel (from 1)")->check(CLI::Range(0, 255));
    auto* set = can->add_subcommand("set", "Set a channel's bit rate and/or frame type in the registry");
    static CanSetOptions so;
    set->add_option("channel", so.channel, "Channel (from 1)")->required()->check(CLI::Range(0, 255));
    set->add_option("--bitrate", so.kbit, "Bit rate in kbit/s (at most 1000)")->check(CLI::Range(0, 65535));
    set->add_option("--frame", so.frame, "Frame type")->check(CLI::IsMember({"standard", "extended", "both"}));
    set->callback([&ctx] {
        if (so.kbit < 0 && so.frame.empty()) throw CLI::ValidationError("can set", "give --bitrate and/or --frame");
        setCan(ctx, so);
    });
    can->callback([&ctx, set] {
        if (!set->parsed()) showCan(ctx, channel);
    });
}

} // namespace tavikctl
