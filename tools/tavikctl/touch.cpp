// tavikctl touch ...: the touch controller's mode, right-click time, advanced settings and
// calibration, through the TouchScreen and TouchScreenCalib families.
#include <cstdio>
#include <vector>

#include "cli.h"
#include "platform/sync.h"
#include "tavik2/touch_screen.h"
#include "tavik2/touch_screen_calib.h"

namespace tavikctl {
namespace touch_cmd {

using Varnholtstad::TouchScreen;
using Varnholtstad::TouchScreenCalib;

// Advanced settings carry the controller's meaning; they are named by the register they set.
struct SettingName {
    int32_t number;
    const char* name;
};
const SettingName kSettings[] = {
    {0, "reg4"}, {1, "reg5"}, {2, "reg6"},  {3, "reg7"},   {4, "reg8"},   {5, "reg9"},
    {6, "reg11"}, {7, "reg10"}, {8, "reg12"}, {9, "reg13"}, {10, "reg14"}, {11, "reg19"},
};
constexpr int kConfigParams = 6;
// Highest calibration point of modes 1..4.
constexpr int kHighestPoint[] = {5, 5, 9, 13};

json failure(int32_t e) { return {{"code", e}, {"message", errorText(e)}}; }
std::string failureText(int32_t e) { return "error " + std::to_string(e) + ": " + errorText(e); }

// A setting by name or number.
int32_t settingNumber(const std::string& text) {
    for (const SettingName& s : kSettings)
        if (text == s.name) return s.number;
    size_t used = 0;
    long n = 0;
    try {
        n = std::stol(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) throw CLI::ValidationError("--setting", "unknown setting: " + text);
    return static_cast<int32_t>(n);
}

std::string settingLabel(int32_t number) {
    for (const SettingName& s : kSettings)
        if (s.number == number) return std::to_string(number) + " (" + s.name + ")";
    return std::to_string(number);
}

void showTouch(Context& ctx) {
    TouchScreen* h = GetTouchScreen();
    json doc = {{"advanced", json::array()}};
    std::string text;

    int32_t mode = 0;
    ErrorCode e = TouchScreen_getMode(h, &mode);
    doc["mode"] = e == ERR_SUCCESS ? json(mode) : failure(e);
    text += "mode:             " + (e == ERR_SUCCESS ? std::to_string(mode) : failureText(e)) + "\n";
    ctx.noteReading(e);

    uint16_t time = 0;
    e = TouchScreen_getMouseRightClickTime(h, &time);
    doc["right_click_time"] = e == ERR_SUCCESS ? json(time) : failure(e);
    text += "right-click time: " + (e == ERR_SUCCESS ? std::to_string(time) : failureText(e)) + "\n";
    ctx.noteReading(e);

    text += "advanced settings:\n";
    for (const SettingName& s : kSettings) {
        uint16_t value = 0;
        e = TouchScreen_getAdvancedSetting(h, s.number, &value);
        json item = {{"setting", s.number}, {"name", s.name}};
        if (e == ERR_SUCCESS)
            item["value"] = value;
        else
            item["error"] = failure(e);
        doc["advanced"].push_back(item);
        text += "  " + settingLabel(s.number) + ": " + (e == ERR_SUCCESS ? std::to_string(value) : failureText(e)) + "\n";
        ctx.noteReading(e);
    }
    TouchScreen_release(h);
    emit(ctx, doc, text);
}

struct TouchSetOptions {
    int64_t mode = -1;
    int64_t rightClick = -1;
    std::vector<std::string> settings; // NAME=VALUE or NUMBER=VALUE
};

void setTouch(Context& ctx, const TouchSetOptions& o) {
    if (o.mode < 0 && o.rightClick < 0 && o.settings.empty())
        throw CLI::ValidationError("touch set", "give --mode, --right-click-time and/or --setting");
    TouchScreen* h = GetTouchScreen();
    json doc = json::object();
    std::string text;
    ErrorCode e = ERR_SUCCESS;
    std::string what;
    if (o.mode >= 0) {
        what = "touch mode";
        e = TouchScreen_setMode(h, static_cast<int32_t>(o.mode));
        if (e == ERR_SUCCESS) {
            doc["mode"] = o.mode & 3;
            text += "mode: " + std::to_string(o.mode & 3) + "\n";
        }
    }
    if (e == ERR_SUCCESS && o.rightClick >= 0) {
        what = "right-click time";
        e = TouchScreen_setMouseRightClickTime(h, static_cast<uint16_t>(o.rightClick));
        if (e == ERR_SUCCESS) {
            doc["right_click_time"] = o.rightClick;
            text += "right-click time: " + std::to_string(o.rightClick) + "\n";
        }
    }
    for (const std::string& s : o.settings) {
        if (e != ERR_SUCCESS) break;
        const size_t eq = s.find('=');
        if (eq == std::string::npos) throw CLI::ValidationError("--setting", "expected SETTING=VALUE: " + s);
        const int32_t number = settingNumber(s.substr(0, eq));
        const long value = std::stol(s.substr(eq + 1), nullptr, 0);
        what = "advanced setting " + settingLabel(number);
        e = TouchScreen_setAdvancedSetting(h, number, static_cast<uint16_t>(value));
        if (e == ERR_SUCCESS) {
            doc["advanced"][std::to_string(number)] = value & 0xFFFF;
            text += "advanced setting " + settingLabel(number) + ": " + std::to_string(value & 0xFFFF) + "\n";
        }
    }
    TouchScreen_release(h);
    if (e != ERR_SUCCESS) return failWith(ctx, what, e);
    emit(ctx, doc, text);
}

// The calibration parameters; each result is noted in the exit status.
void readParams(Context& ctx, TouchScreenCalib* h, json& doc, std::string& text) {
    doc = json::array();
    for (int32_t p = 0; p < kConfigParams; ++p) {
        uint16_t value = 0;
        const ErrorCode e = TouchScreenCalib_getConfigParam(h, p, &value);
        doc.push_back(e == ERR_SUCCESS ? json{{"param", p}, {"value", value}} : json{{"param", p}, {"error", failure(e)}});
        text += "  parameter " + std::to_string(p) + ": " + (e == ERR_SUCCESS ? std::to_string(value) : failureText(e)) + "\n";
        ctx.noteReading(e);
    }
}

struct CalibrateOptions {
    int32_t mode = 0;
    std::vector<int> points;
    double timeoutS = 60.0;
    uint32_t pollMs = 20;
};

// As an application runs it: the mode, then each point in turn, waiting for the controller to
// report it finished (the user touches the target), then the resulting parameters.
void calibrate(Context& ctx, const CalibrateOptions& o) {
    TouchScreenCalib* h = GetTouchScreenCalib();
    auto fail = [&](const std::string& what, ErrorCode e) {
        TouchScreenCalib_release(h);
        failWith(ctx, what, e);
    };
    ErrorCode e = TouchScreenCalib_setMode(h, o.mode);
    if (e != ERR_SUCCESS) return fail("calibration mode " + std::to_string(o.mode), e);

    std::vector<int> points = o.points;
    if (points.empty() && o.mode >= 1 && o.mode <= 4)
        for (int p = 1; p <= kHighestPoint[o.mode - 1]; ++p) points.push_back(p);

    json doc = {{"mode", o.mode}, {"points", json::array()}};
    const auto timeoutMs = static_cast<uint32_t>(o.timeoutS * 1000.0);
    for (size_t i = 0; i < points.size(); ++i) {
        const auto point = static_cast<uint8_t>(points[i]);
        const std::string label = "point " + std::to_string(points[i]);
        e = TouchScreenCalib_setCalibrationPoint(h, point);
        if (e != ERR_SUCCESS) return fail("calibration " + label, e);
        if (!ctx.json)
            std::cout << "[" << i + 1 << "/" << points.size() << "] " << label << ": touch the target..." << std::flush;
        const uint32_t start = tavik::platform::tickCountMs();
        bool finished = false;
        for (;;) {
            e = TouchScreenCalib_checkCalibrationPointFinished(h, &finished, point);
            if (e != ERR_SUCCESS) {
                if (!ctx.json) std::cout << '\n';
                return fail("calibration " + label, e);
            }
            if (finished || tavik::platform::tickCountMs() - start >= timeoutMs) break;
            tavik::platform::sleepMs(o.pollMs);
        }
        const uint32_t tookMs = tavik::platform::tickCountMs() - start;
        if (!ctx.json) std::cout << (finished ? " done" : " timed out") << '\n';
        doc["points"].push_back({{"point", points[i]}, {"finished", finished}, {"ms", tookMs}});
        if (!finished) {
            TouchScreenCalib_release(h);
            if (ctx.json) std::cout << doc.dump(2) << '\n';
            else std::cerr << "calibration " << label << ": not finished within " << o.timeoutS << " s\n";
            ctx.fail(kExitRefused);
            return;
        }
    }
    json params;
    std::string text = "calibration finished; parameters:\n";
    readParams(ctx, h, params, text);
    TouchScreenCalib_release(h);
    doc["params"] = params;
    emit(ctx, doc, text);
}

struct ParamOptions {
    int32_t param = -1;
    int64_t value = -1;
};

void param(Context& ctx, const ParamOptions& o) {
    TouchScreenCalib* h = GetTouchScreenCalib();
    if (o.param < 0) {
        json doc;
        std::string text = "calibration parameters:\n";
        readParams(ctx, h, doc, text);
        TouchScreenCalib_release(h);
        emit(ctx, doc, text);
        return;
    }
    const std::string what = "calibration parameter " + std::to_string(o.param);
    ErrorCode e = ERR_SUCCESS;
    uint16_t value = static_cast<uint16_t>(o.value);
    if (o.value >= 0)
        e = TouchScreenCalib_setConfigParam(h, o.param, value);
    else
        e = TouchScreenCalib_getConfigParam(h, o.param, &value);
    TouchScreenCalib_release(h);
    if (e != ERR_SUCCESS) return failWith(ctx, what, e);
    emit(ctx, json{{"param", o.param}, {"value", value}}, what + ": " + std::to_string(value));
}

} // namespace touch_cmd

void addTouchCommands(CLI::App& app, Context& ctx) {
    using namespace touch_cmd;
    auto* touch = app.add_subcommand("touch", "Touch screen: mode, right-click time, advanced settings, calibration");
    touch->require_subcommand(0, 1);

    auto* set = touch->add_subcommand("set", "Set the mode, the right-click time or advanced settings");
    static TouchSetOptions so;
    set->add_option("--mode", so.mode, "Touch mode 0..3 (only the low two bits are sent)");
    set->add_option("--right-click-time", so.rightClick, "Hold time before a right click (controller units)")
        ->check(CLI::Range(0, 65535));
    set->add_option("--setting", so.settings, "Advanced setting by name (reg4..reg19) or number (0..11): S=VALUE");
    set->callback([&ctx] { setTouch(ctx, so); });

    auto* cal = touch->add_subcommand("calibrate", "Run a calibration: the mode, then each point as the user touches it");
    static CalibrateOptions co;
    cal->add_option("--mode", co.mode, "Calibration mode 1..4")->required();
    cal->add_option("--points", co.points, "Points to calibrate (default 1 to the mode's highest)")
        ->delimiter(',')
        ->check(CLI::Range(0, 255));
    cal->add_option("--timeout", co.timeoutS, "Seconds to wait for each point")->check(finiteRange(0.001, 1e6));
    cal->callback([&ctx] { calibrate(ctx, co); });

    auto* prm = touch->add_subcommand("param", "Show or set the calibration parameters (0..5)");
    static ParamOptions po;
    prm->add_option("param", po.param, "Parameter number");
    prm->add_option("value", po.value, "New value")->check(CLI::Range(0, 65535));
    prm->callback([&ctx] { param(ctx, po); });

    touch->callback([&ctx, touch] {
        if (touch->get_subcommands().empty()) showTouch(ctx);
    });
}

} // namespace tavikctl
