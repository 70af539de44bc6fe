// tavikctl video: the video inputs through the Video family. Every command opens the input with
// Video_init, which resets it to de-interlace mode 2 and mirroring off, as any application does.
#include <cstdio>

#include "cli.h"
#include "tavik2/video.h"

namespace tavikctl {
namespace video_cmd {

using Varnholtstad::Video;

struct Options {
    int input = 1;
    bool singleField = false;
    std::string out;
    std::vector<double> values;
    std::string onOff;
};

Options& options() {
    static Options o;
    return o;
}

// An opened input; reports the failure and yields null when init fails.
class OpenInput {
public:
    OpenInput(Context& ctx, int input) : handle_(GetVideo()) {
        if (handle_ == nullptr) {
            failWith(ctx, "video", ERR_MEMORY_ALLOCATION);
            return;
        }
        if (const ErrorCode e = Video_init(handle_, static_cast<uint8_t>(input)); e != ERR_SUCCESS) {
            failWith(ctx, "video init " + std::to_string(input), e);
            Video_release(handle_);
            handle_ = nullptr;
        }
    }
    ~OpenInput() { Video_release(handle_); }
    OpenInput(const OpenInput&) = delete;
    OpenInput& operator=(const OpenInput&) = delete;
    Video* get() const { return handle_; }

private:
    Video* handle_;
};

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", v);
    return buf;
}

// Adds one reading: the value and its text on success, the error otherwise.
void reading(json& doc, std::string& text, const char* key, const char* label, ErrorCode e,
             const json& value, const std::string& shown) {
    std::string line = std::string(label) + ":";
    line.append(22 - std::min<size_t>(line.size(), 21), ' ');
    if (e == ERR_SUCCESS) {
        doc[key] = value;
        line += shown;
    } else {
        doc[key] = {{"code", e}, {"message", errorText(e)}};
        line += "error " + std::to_string(e) + ": " + errorText(e);
    }
    text += line + "\n";
}

void showStatus(Context& ctx) {
    OpenInput video(ctx, options().input);
    Video* h = video.get();
    if (h == nullptr) return;
    json doc = {{"input", options().input}};
    std::string text = "Video input " + std::to_string(options().input) + "\n";

    uint8_t status = 0;
    ErrorCode e = Video_getStatus(h, &status);
    reading(doc, text, "shown", "Picture", e, (status & 1) != 0, (status & 1) ? "shown" : "hidden");
    reading(doc, text, "control_byte", "Control byte", e, status, "0x" + [&] {
        char b[4];
        std::snprintf(b, sizeof b, "%02X", status);
        return std::string(b);
    }());
    int32_t mode = 0;
    e = Video_getDeInterlaceMode(h, &mode);
    reading(doc, text, "deinterlace_mode", "De-interlace mode", e, mode, std::to_string(mode));
    int32_t mirroring = 0;
    e = Video_getMirroring(h, &mirroring);
    reading(doc, text, "mirroring", "Mirroring", e, mirroring != 0, mirroring ? "on" : "off");
    int32_t standard = 0;
    e = Video_getVideoStandard(h, &standard);
    reading(doc, text, "standard", "Video standard", e, standard, std::to_string(standard));
    uint16_t width = 0, height = 0;
    float rate = 0;
    e = Video_getRawImage(h, &width, &height, &rate);
    reading(doc, text, "raw_image", "Raw image", e, {{"width_px", width}, {"height_px", height}, {"rate_hz", rate}},
            std::to_string(width) + " x " + std::to_string(height) + " px, " + number(rate) + " Hz");
    uint16_t a[4] = {};
    e = Video_getVideoArea(h, &a[0], &a[1], &a[2], &a[3]);
    reading(doc, text, "area", "Area", e, {{"x1_px", a[0]}, {"y1_px", a[1]}, {"x2_px", a[2]}, {"y2_px", a[3]}},
            "(" + std::to_string(a[0]) + ", " + std::to_string(a[1]) + ") to (" + std::to_string(a[2]) + ", " +
                std::to_string(a[3]) + ") px");
    float sx = 0, sy = 0;
    e = Video_getScaling(h, &sx, &sy);
    reading(doc, text, "scaling", "Scaling", e, {{"x", sx}, {"y", sy}}, "x " + number(sx) + ", y " + number(sy));
    uint8_t c[4] = {};
    e = Video_getCropping(h, &c[0], &c[1], &c[2], &c[3]);
    reading(doc, text, "cropping", "Cropping", e,
            {{"left_px", c[0]}, {"top_px", c[1]}, {"right_px", c[2]}, {"bottom_px", c[3]}},
            "left " + std::to_string(c[0]) + ", top " + std::to_string(c[1]) + ", right " + std::to_string(c[2]) +
                ", bottom " + std::to_string(c[3]) + " px");
    uint8_t k[3] = {};
    e = Video_getColorKeys(h, &k[0], &k[1], &k[2]);
    reading(doc, text, "color_key", "Colour key", e, {{"red", k[0]}, {"green", k[1]}, {"blue", k[2]}},
            "red " + std::to_string(k[0]) + ", green " + std::to_string(k[1]) + ", blue " + std::to_string(k[2]));
    int32_t channel = 0;
    e = Video_getActiveChannel(h, &channel);
    reading(doc, text, "channel", "Active channel", e, channel, std::to_string(channel));
    emit(ctx, doc, text);
}

bool onOffValue(const std::string& text) { return text == "on" || text == "1"; }

// One setting: takes the values given on the command line and calls one exported function.
struct Setting {
    const char* name;
    const char* help;
    size_t count;      // number of values
    const char* usage; // names of the values
    ErrorCode (*apply)(Video*, const std::vector<double>&, const std::string&);
};

uint8_t u8(double v) { return static_cast<uint8_t>(v); }
uint16_t u16(double v) { return static_cast<uint16_t>(v); }

const Setting kSettings[] = {
    {"show", "Show or hide the picture", 0, "on|off",
     [](Video* h, const std::vector<double>&, const std::string& s) { return Video_showVideo(h, onOffValue(s)); }},
    {"mirroring", "Mirroring on or off", 0, "on|off",
     [](Video* h, const std::vector<double>&, const std::string& s) { return Video_setMirroring(h, onOffValue(s) ? 1 : 0); }},
    {"deinterlace", "De-interlace mode", 1, "MODE (0..2)",
     [](Video* h, const std::vector<double>& v, const std::string&) {
         return Video_setDeInterlaceMode(h, static_cast<int32_t>(v[0]));
     }},
    {"channel", "Active decoder input channel", 1, "CHANNEL",
     [](Video* h, const std::vector<double>& v, const std::string&) {
         return Video_setActiveChannel(h, static_cast<int32_t>(v[0]));
     }},
    {"color-key", "Key colour", 3, "RED GREEN BLUE (0..255)",
     [](Video* h, const std::vector<double>& v, const std::string&) {
         return Video_setColorKeys(h, u8(v[0]), u8(v[1]), u8(v[2]));
     }},
    {"area", "Window area of the picture, pixels", 4, "X1 Y1 X2 Y2",
     [](Video* h, const std::vector<double>& v, const std::string&) {
         return Video_setVideoArea(h, u16(v[0]), u16(v[1]), u16(v[2]), u16(v[3]));
     }},
    {"scaling", "Scale factors", 2, "X Y (0.25..4)",
     [](Video* h, const std::vector<double>& v, const std::string&) {
         return Video_setScaling(h, static_cast<float>(v[0]), static_cast<float>(v[1]));
     }},
    {"cropping", "Cropping margins, pixels", 4, "LEFT TOP RIGHT BOTTOM (0..255; top, bottom 0..127)",
     [](Video* h, const std::vector<double>& v, const std::string&) {
         return Video_setCropping(h, u8(v[0]), u8(v[1]), u8(v[2]), u8(v[3]));
     }},
    {"decoder", "Write a decoder register", 2, "REGISTER VALUE (0..255)",
     [](Video* h, const std::vector<double>& v, const std::string&) { return Video_setDecoderReg(h, u8(v[0]), u8(v[1])); }},
    {"capture", "Switch frame capture on or off", 0, "on|off",
     [](Video* h, const std::vector<double>&, const std::string& s) { return Video_activateSnapshot(h, onOffValue(s)); }},
};

bool inRange(const Setting& s, const std::vector<double>& v) {
    if (std::string(s.name) == "scaling" || std::string(s.name) == "channel" || std::string(s.name) == "deinterlace")
        return true; // the library checks these
    const double top = std::string(s.name) == "area" ? 65535 : 255;
    for (double x : v)
        if (!(x >= 0 && x <= top) || x != static_cast<double>(static_cast<int64_t>(x))) return false;
    return true;
}

void applySetting(Context& ctx, const Setting& s) {
    const Options& o = options();
    if (s.count == 0 && o.onOff != "on" && o.onOff != "off" && o.onOff != "1" && o.onOff != "0")
        throw CLI::ValidationError(s.name, "expected on or off");
    if (s.count > 0 && (o.values.size() != s.count || !inRange(s, o.values)))
        throw CLI::ValidationError(s.name, std::string("expected ") + s.usage);
    OpenInput video(ctx, o.input);
    if (video.get() == nullptr) return;
    const ErrorCode e = s.apply(video.get(), o.values, o.onOff);
    if (e != ERR_SUCCESS) {
        failWith(ctx, std::string("video set ") + s.name, e);
        return;
    }
    json doc = {{"input", o.input}, {"setting", s.name}, {"code", 0}};
    if (s.count == 0)
        doc["value"] = onOffValue(o.onOff);
    else
        doc["values"] = o.values;
    emit(ctx, doc, std::string(s.name) + " set");
}

void readDecoder(Context& ctx, double reg) {
    if (!(reg >= 0 && reg <= 255)) throw CLI::ValidationError("register", "0..255");
    OpenInput video(ctx, options().input);
    if (video.get() == nullptr) return;
    uint8_t value = 0;
    if (const ErrorCode e = Video_getDecoderReg(video.get(), u8(reg), &value); e != ERR_SUCCESS) {
        failWith(ctx, "video decoder", e);
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "register 0x%02X: 0x%02X (%u)", u8(reg), value, value);
    emit(ctx, json{{"register", u8(reg)}, {"value", value}}, text);
}

void snapshot(Context& ctx) {
    const Options& o = options();
    OpenInput video(ctx, o.input);
    if (video.get() == nullptr) return;
    if (const ErrorCode e = Video_takeSnapshot(video.get(), o.out.c_str(), o.singleField); e != ERR_SUCCESS) {
        failWith(ctx, "video snapshot", e);
        return;
    }
    emit(ctx, json{{"input", o.input}, {"file", o.out}, {"single_field", o.singleField}},
         "snapshot of input " + std::to_string(o.input) + " written to " + o.out);
}

void addInputOption(CLI::App* cmd) {
    cmd->add_option("--input", options().input, "Video input 1 or 2 (default 1)")->check(CLI::Range(1, 2));
}

} // namespace video_cmd

void addVideoCommands(CLI::App& app, Context& ctx) {
    using namespace video_cmd;
    auto* video = app.add_subcommand("video", "Video inputs: status, settings and snapshots");
    addInputOption(video);
    video->callback([video, &ctx] {
        if (video->get_subcommands().empty()) showStatus(ctx);
    });

    auto* set = video->add_subcommand("set", "Change one setting of the input");
    set->require_subcommand(1);
    for (const Setting& s : kSettings) {
        auto* cmd = set->add_subcommand(s.name, std::string(s.help) + ": " + s.usage);
        addInputOption(cmd);
        if (s.count == 0)
            cmd->add_option("value", options().onOff, s.usage)->required();
        else
            cmd->add_option("values", options().values, s.usage)->required()->expected(static_cast<int>(s.count));
        cmd->callback([&ctx, &s] { applySetting(ctx, s); });
    }

    auto* decoder = video->add_subcommand("decoder", "Read a decoder register");
    static double reg = 0;
    decoder->add_option("register", reg, "Register number 0..255")->required();
    addInputOption(decoder);
    decoder->callback([&ctx] { readDecoder(ctx, reg); });

    auto* snap = video->add_subcommand("snapshot", "Capture a picture and write it as a 24-bit bitmap file");
    snap->add_option("file", options().out, "Output file (.bmp)")->required();
    snap->add_flag("--single-field", options().singleField, "Capture one field, each line doubled");
    addInputOption(snap);
    snap->callback([&ctx] { snapshot(ctx); });
}

} // namespace tavikctl
