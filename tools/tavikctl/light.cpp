// tavikctl light: illuminance, channel codes, range and a running average, through the
// Lightsensor family.
#include "cli.h"

#include <cstdio>

#include "platform/sync.h"
#include "tavik2/lightsensor.h"

namespace tavikctl {
namespace light_cmd {

using Varnholtstad::Lightsensor;

struct LightsensorHandle {
    Lightsensor* h = GetLightsensor();
    ~LightsensorHandle() { Lightsensor_release(h); }
};

const char* rangeName(int32_t range) { return range == 1 ? "extended" : "standard"; }

std::string hexByte(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

void show(Context& ctx) {
    LightsensorHandle s;
    uint16_t lux = 0;
    uint8_t ch0 = 0, ch1 = 0; // valid codes have bit 7 set: a delivered reading shows in ch0
    const ErrorCode e = Lightsensor_getIlluminance2(s.h, &lux, &ch0, &ch1);
    if ((ch0 & 0x80) == 0) return failWith(ctx, "light", e);
    int32_t range = 0;
    const ErrorCode r = Lightsensor_getOperatingRange(s.h, &range);
    json doc{{"lux", lux}, {"ch0", ch0}, {"ch1", ch1}};
    std::string text = std::to_string(lux) + " lux (ch0 " + hexByte(ch0) + ", ch1 " + hexByte(ch1) + ")\n";
    if (r == ERR_SUCCESS) {
        doc["range"] = range;
        text += std::string("range ") + rangeName(range);
    } else {
        doc["range"] = {{"code", r}, {"message", errorText(r)}};
        text += "range: error " + std::to_string(r) + ": " + errorText(r);
    }
    emit(ctx, doc, text);
    ctx.noteReading(e);
    ctx.noteReading(r);
}

struct AverageOptions {
    double seconds = 10;
    int32_t average = 5;
    int32_t reject = 5;
    int32_t delta = 50;
    int32_t mode = 2;
};

// Prints each new average, in the unit's time (TAVIK_TIME_SCALE compresses it).
void runAverage(Context& ctx, const AverageOptions& o) {
    LightsensorHandle s;
    const ErrorCode e = Lightsensor_startAverageCalc(s.h, o.average, o.reject, o.delta, o.mode);
    if (e != ERR_SUCCESS) return failWith(ctx, "light average", e);
    const uint32_t start = tavik::platform::tickCountMs();
    const auto total = static_cast<uint32_t>(o.seconds * 1000);
    json samples = json::array();
    int32_t last = -1;
    ErrorCode failure = ERR_SUCCESS;
    for (;;) {
        const uint32_t now = tavik::platform::tickCountMs() - start;
        uint16_t lux = 0;
        const ErrorCode a = Lightsensor_getAverageIlluminance(s.h, &lux);
        if (a != ERR_SUCCESS) {
            failure = a; // the averaging ended on a device error
            break;
        }
        if (lux != last) {
            last = lux;
            samples.push_back({{"seconds", now / 1000.0}, {"lux", lux}});
            if (!ctx.json) {
                std::printf("%8.1f s  %5u lux\n", now / 1000.0, static_cast<unsigned>(lux));
                std::fflush(stdout);
            }
        }
        if (now >= total) break;
        tavik::platform::sleepMs(100);
    }
    Lightsensor_stopAverageCalc(s.h);
    if (failure != ERR_SUCCESS) return failWith(ctx, "light average", failure);
    if (ctx.json) emit(ctx, json{{"averages", samples}}, "");
}

} // namespace light_cmd

void addLightCommands(CLI::App& app, Context& ctx) {
    using namespace light_cmd;
    auto* cmd = app.add_subcommand("light", "Ambient light: illuminance, channel codes, range, averaging");
    cmd->require_subcommand(0, 1);
    cmd->callback([&ctx, cmd] {
        if (cmd->get_subcommands().empty()) show(ctx);
    });

    auto* range = cmd->add_subcommand("range", "Set the sensor's range: 0 standard, 1 extended");
    static int32_t rangeValue = 0;
    range->add_option("range", rangeValue, "0 | 1")->required();
    range->callback([&ctx] {
        LightsensorHandle s;
        const ErrorCode e = Lightsensor_setOperatingRange(s.h, rangeValue);
        if (e != ERR_SUCCESS) return failWith(ctx, "light range", e);
        emit(ctx, json{{"range", rangeValue}}, std::string("range ") + rangeName(rangeValue));
    });

    auto* average = cmd->add_subcommand("average", "Run an averaging and print the average as it changes");
    static AverageOptions o;
    average->add_option("--for", o.seconds, "Seconds to run (unit time)")->check(finiteRange(0.0, 86400.0));
    average->add_option("--window", o.average, "Samples averaged");
    average->add_option("--reject", o.reject, "Samples in the rejection window");
    average->add_option("--delta", o.delta, "Largest spread in lux inside the rejection window");
    average->add_option("--mode", o.mode, "0 standard, 1 extended, 2 automatic range");
    average->callback([&ctx] { runAverage(ctx, o); });
}

} // namespace tavikctl
