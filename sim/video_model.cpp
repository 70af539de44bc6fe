// The video hardware of the simulated unit: per input the video control device of the auxiliary
// driver (control byte, colour key, window area, scale register, cropping, active channel, decoder
// registers, raw image description) and the two capture devices of the capture driver, which
// deliver raw frames: a test picture by default, or the bytes of a file the user gave.
#include "sim/video_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "frame/request_index.h"
#include "sim/driver.h"

namespace tavik::sim {
namespace video_model {

using frame::requestCode;

constexpr uint8_t kStandardRegister = 0x8C;
constexpr size_t kHeaderSize = 256;

struct StandardInfo {
    const char* name;
    int code;           // standard field of decoder register 0x8C
    uint16_t width;     // pixels per line
    uint16_t height;    // lines per frame (both fields)
    uint8_t rateQuarters; // frame rate in units of 0.25 Hz
};

// The decoder's standard codes the simulated inputs use.
const StandardInfo kStandards[] = {
    {"NTSC", 1, 720, 480, 240},
    {"PAL", 2, 720, 576, 200},
};

const StandardInfo* standardByName(const std::string& name) {
    for (const StandardInfo& s : kStandards)
        if (name == s.name) return &s;
    return nullptr;
}

std::string inputKey(int input) { return "input" + std::to_string(input); }

json byteArray(const json& value, size_t count, int fill) {
    json a = json::array();
    for (size_t i = 0; i < count; ++i)
        a.push_back(value.is_array() && i < value.size() && value[i].is_number_integer() ? value[i].get<int>() : fill);
    return a;
}

json initInput(const json& p) {
    const StandardInfo* s = standardByName(p.value("standard", std::string("PAL")));
    if (s == nullptr) s = standardByName("PAL");
    return {
        {"control", 0},
        {"color_key", byteArray(p.value("color_key", json()), 3, 0)},
        {"area", {0, 0, 0, 0}},
        {"scaling", {128, 128, 64, 64}},
        {"cropping", {0, 0, 0, 0}},
        {"channel", 0},
        {"decoder", json::object()},
        {"standard", s->code},
        {"width", s->width},
        {"height", s->height},
        {"rate_quarters", s->rateQuarters},
        {"capture", p.value("capture", true)},
        {"field_capture", p.value("field_capture", true)},
        {"capturing", true},
        {"source", "pattern"},
        {"frame_number", 0},
        {"resets", 0},
    };
}

void initVideo(const json& profile, Txn& txn) {
    const json p = profile.value("video", json::object());
    json doc = json::object();
    for (int input = 1; input <= kVideoInputs; ++input) {
        doc[inputKey(input)] = initInput(p.value(inputKey(input), json::object()));
        txn.blobRemove(videoFrameBlob(input));
    }
    txn.edit("video") = doc;
}

bool isByte(const json& v) { return v.is_number_integer() && v.get<int64_t>() >= 0 && v.get<int64_t>() <= 255; }

bool byteList(const json& v, size_t count) {
    if (!v.is_array() || v.size() != count) return false;
    return std::all_of(v.begin(), v.end(), isByte);
}

bool validateVideo(json& doc, std::string& error) {
    for (int input = 1; input <= kVideoInputs; ++input) {
        const std::string key = inputKey(input);
        const json& in = doc[key];
        auto refuse = [&](const std::string& what) {
            error = key + "." + what;
            return false;
        };
        if (!in.is_object()) return refuse("is missing");
        for (const char* b : {"control", "rate_quarters"})
            if (!isByte(in[b])) return refuse(std::string(b) + " is a byte 0..255");
        if (!byteList(in["color_key"], 3)) return refuse("color_key is three bytes");
        if (!byteList(in["scaling"], 4)) return refuse("scaling is four bytes");
        if (!byteList(in["cropping"], 4)) return refuse("cropping is four bytes");
        const json& area = in["area"];
        if (!area.is_array() || area.size() != 4 ||
            !std::all_of(area.begin(), area.end(), [](const json& v) {
                return v.is_number_integer() && v.get<int64_t>() >= 0 && v.get<int64_t>() <= 0xFFFF;
            }))
            return refuse("area is four values 0..65535");
        if (!in["channel"].is_number_integer()) return refuse("channel is an integer");
        if (!in["standard"].is_number_integer() || in["standard"].get<int>() < 0 || in["standard"].get<int>() > 7)
            return refuse("standard is 0..7");
        for (const char* d : {"width", "height"})
            if (!in[d].is_number_integer() || in[d].get<int64_t>() < 2 || in[d].get<int64_t>() > 4096)
                return refuse(std::string(d) + " is 2..4096 pixels");
        for (const char* f : {"capture", "field_capture", "capturing"})
            if (!in[f].is_boolean()) return refuse(std::string(f) + " is true or false");
        if (in["source"] != "pattern" && in["source"] != "file")
            return refuse("source is \"pattern\" or \"file\" (load a file with tavikctl sim video frame)");
        if (!in["decoder"].is_object()) return refuse("decoder is an object of registers");
    }
    return true;
}

const bool registered = (registerModel({"video", &initVideo, &validateVideo}), true);

// ---- Control devices ----

// The input a control device serves: 1 or 2, 0 for any other device.
int controlInput(const std::string& device) {
    if (device == "\\\\.\\TavikDrv\\Video1") return 1;
    if (device == "\\\\.\\TavikDrv\\Video2") return 2;
    return 0;
}

void putLe(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t getLe(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

std::string registerKey(uint8_t reg) {
    char k[4];
    std::snprintf(k, sizeof k, "%02x", reg);
    return k;
}

// Serves a request of a control device on its input's part of the document (`key`).
template <bool (*Serve)(Txn&, Request&, const std::string&)>
bool onInput(Txn& txn, Request& r) {
    const int input = controlInput(r.device);
    if (input == 0) {
        r.note = "not a video control device";
        return false;
    }
    return Serve(txn, r, inputKey(input));
}

const json& state(Txn& txn, const std::string& key) { return txn.get("video")[key]; }
json& change(Txn& txn, const std::string& key) { return txn.edit("video")[key]; }

bool writeControl(Txn& txn, Request& r, const std::string& key) {
    change(txn, key)["control"] = r.in[0];
    r.out[0] = r.in[0];
    r.returned = 1;
    return true;
}

bool readControl(Txn& txn, Request& r, const std::string& key) {
    r.out[0] = state(txn, key)["control"].get<uint8_t>();
    r.returned = 1;
    return true;
}

bool getColorKeys(Txn& txn, Request& r, const std::string& key) {
    const json& k = state(txn, key)["color_key"];
    for (int i = 0; i < 3; ++i) r.out[i] = k[i].get<uint8_t>();
    r.returned = 3;
    return true;
}

bool setColorKeys(Txn& txn, Request& r, const std::string& key) {
    const std::vector<uint8_t> k(r.in, r.in + 3);
    change(txn, key)["color_key"] = k;
    std::memcpy(r.out, k.data(), 3);
    r.returned = 3;
    return true;
}

bool setArea(Txn& txn, Request& r, const std::string& key) {
    json area = json::array();
    for (int i = 0; i < 4; ++i) area.push_back(getLe(r.in + 2 * i, 2));
    change(txn, key)["area"] = area;
    std::memcpy(r.out, r.in, 8);
    r.returned = 8;
    return true;
}

bool getArea(Txn& txn, Request& r, const std::string& key) {
    const json& area = state(txn, key)["area"];
    for (int i = 0; i < 4; ++i) putLe(r.out + 2 * i, area[i].get<uint32_t>(), 2);
    r.returned = 8;
    return true;
}

bool setScaling(Txn& txn, Request& r, const std::string& key) {
    const std::vector<uint8_t> s(r.in, r.in + 4);
    change(txn, key)["scaling"] = s;
    std::memcpy(r.out, s.data(), 4);
    r.returned = 4;
    return true;
}

bool getScaling(Txn& txn, Request& r, const std::string& key) {
    const json& s = state(txn, key)["scaling"];
    for (int i = 0; i < 4; ++i) r.out[i] = s[i].get<uint8_t>();
    r.returned = 4;
    return true;
}

bool setDecoderReg(Txn& txn, Request& r, const std::string& key) {
    const uint8_t reg = r.in[0], value = r.in[1];
    change(txn, key)["decoder"][registerKey(reg)] = value;
    r.out[0] = reg;
    r.out[1] = value;
    r.returned = 2;
    return true;
}

bool getDecoderReg(Txn& txn, Request& r, const std::string& key) {
    const uint8_t reg = r.in[0];
    const json& doc = state(txn, key);
    uint8_t value = 0;
    if (reg == kStandardRegister) {
        // Status register: bits 1..3 the detected standard; writes do not change it.
        value = static_cast<uint8_t>(doc["standard"].get<int>() << 1);
    } else {
        value = static_cast<uint8_t>(doc["decoder"].value(registerKey(reg), 0));
    }
    r.out[0] = reg;
    r.out[1] = value;
    r.returned = 2;
    return true;
}

bool getChannel(Txn& txn, Request& r, const std::string& key) {
    putLe(r.out, static_cast<uint32_t>(state(txn, key)["channel"].get<int64_t>()), 4);
    r.returned = 4;
    return true;
}

bool setChannel(Txn& txn, Request& r, const std::string& key) {
    change(txn, key)["channel"] = static_cast<int32_t>(getLe(r.in, 4));
    std::memcpy(r.out, r.in, 4);
    r.returned = 4;
    return true;
}

bool setCropping(Txn& txn, Request& r, const std::string& key) {
    change(txn, key)["cropping"] = std::vector<uint8_t>(r.in, r.in + 4);
    r.returned = 4;
    return true;
}

bool getCropping(Txn& txn, Request& r, const std::string& key) {
    const json& c = state(txn, key)["cropping"];
    for (int i = 0; i < 4; ++i) r.out[i] = c[i].get<uint8_t>();
    r.returned = 4;
    return true;
}

bool resetDevice(Txn& txn, Request& r, const std::string& key) {
    json& doc = change(txn, key);
    doc["resets"] = doc.value("resets", 0) + 1;
    r.returned = 2;
    return true;
}

bool rawImage(Txn& txn, Request& r, const std::string& key) {
    const json& doc = state(txn, key);
    putLe(r.out, doc["width"].get<uint32_t>(), 2);
    putLe(r.out + 2, doc["height"].get<uint32_t>(), 2);
    r.out[4] = doc["rate_quarters"].get<uint8_t>();
    r.out[5] = 0;
    r.returned = 6;
    return true;
}

bool activateCapture(Txn& txn, Request& r, const std::string& key) {
    change(txn, key)["capturing"] = r.in[0] != 0;
    r.returned = 1;
    return true;
}

const bool handlersRegistered = [] {
    const std::pair<uint32_t, RequestHandler> table[] = {
        {0x909, &onInput<&writeControl>}, {0x90A, &onInput<&getColorKeys>}, {0x90B, &onInput<&setColorKeys>}, {0x90C, &onInput<&setArea>},
        {0x90D, &onInput<&getArea>},      {0x90E, &onInput<&setScaling>},   {0x90F, &onInput<&getScaling>},   {0x910, &onInput<&setDecoderReg>},
        {0x911, &onInput<&getDecoderReg>}, {0x912, &onInput<&readControl>}, {0x913, &onInput<&getChannel>},   {0x914, &onInput<&setChannel>},
        {0x915, &onInput<&setCropping>},  {0x916, &onInput<&getCropping>},  {0x917, &onInput<&resetDevice>},  {0x918, &onInput<&rawImage>},
        {0x96B, &onInput<&activateCapture>},
    };
    for (const auto& [function, handler] : table) registerRequestHandler(requestCode(function), handler);
    return true;
}();

// ---- Capture devices ----

struct CaptureName {
    int input;
    bool singleField;
};

bool captureName(const std::string& device, CaptureName& name) {
    for (int input = 1; input <= kVideoInputs; ++input)
        for (bool single : {false, true})
            if (device == videoCaptureDevice(input, single)) {
                name = {input, single};
                return true;
            }
    return false;
}

bool capturePresent(Txn& txn, const std::string& device) {
    CaptureName name{};
    if (!captureName(device, name)) return false;
    const json& doc = txn.get("video")[inputKey(name.input)];
    return doc.value("capture", false) && (!name.singleField || doc.value("field_capture", false));
}

bool serveCapture(Txn& txn, ReadRequest& r) {
    CaptureName name{};
    if (!captureName(r.device, name)) {
        r.note = "not a capture device";
        return false;
    }
    const std::string key = inputKey(name.input);
    const json& doc = txn.get("video")[key];
    std::vector<uint8_t> frame;
    if (doc["source"] == "file") {
        const std::string blob = videoFrameBlob(name.input);
        const uint64_t n = std::min<uint64_t>(txn.blobSize(blob), r.size);
        frame.resize(static_cast<size_t>(n));
        if (n > 0) txn.blobRead(blob, 0, frame.data(), frame.size());
        r.note = "file frame";
    } else {
        uint32_t number = doc["frame_number"].get<uint32_t>();
        // A running capture shows the next frame; a stopped one the last frame again.
        if (doc["capturing"].get<bool>()) change(txn, key)["frame_number"] = ++number;
        const json& now = txn.get("video")[key];
        frame = renderTestFrame(now["width"].get<uint32_t>(), now["height"].get<uint32_t>(),
                                now["standard"].get<int>(), number, name.singleField);
        r.note = "test picture, frame " + std::to_string(number);
    }
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(frame.size(), r.size));
    if (n > 0) std::memcpy(r.buffer, frame.data(), n);
    r.read = n;
    return true;
}

const bool capturesRegistered = [] {
    for (int input = 1; input <= kVideoInputs; ++input)
        for (bool single : {false, true})
            registerReadDevice(videoCaptureDevice(input, single), &capturePresent, &serveCapture);
    return true;
}();

} // namespace video_model

std::string videoCaptureDevice(int input, bool singleField) {
    return "\\\\.\\QXVideoPCIDrv\\Video" + std::to_string(input) + (singleField ? "_Int" : "");
}

std::string videoFrameBlob(int input) { return "video.frame" + std::to_string(input); }

std::vector<uint8_t> renderTestFrame(uint32_t width, uint32_t height, int standard, uint32_t frameNumber,
                                     bool singleField) {
    // Eight bars at 75 %: white, yellow, cyan, green, magenta, red, blue, black (blue, green, red).
    static const uint8_t kBars[8][3] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                                        {191, 0, 191},   {0, 0, 191},   {191, 0, 0},   {0, 0, 0}};
    const uint32_t fieldLines = height / 2;
    const uint32_t blocks = singleField ? 1 : 2;
    std::vector<uint8_t> frame(video_model::kHeaderSize + static_cast<size_t>(width) * 4 * fieldLines * blocks, 0);
    video_model::putLe(frame.data(), frameNumber, 4);
    video_model::putLe(frame.data() + 4, width, 4);
    video_model::putLe(frame.data() + 8, singleField ? 0 : fieldLines, 4);
    video_model::putLe(frame.data() + 12, fieldLines, 4);

    // A white box crossing the picture, one step per field; the second field shows it half a
    // frame later, as an interlaced camera does.
    const uint32_t box = std::max<uint32_t>(width / 12, 4), boxTop = height / 3, boxLines = height / 6;
    const uint32_t travel = width > box ? width - box : 1;
    // The first block holds the odd image lines for standards 0 and 4, the even ones otherwise.
    const uint32_t firstParity = (standard == 0 || standard == 4) ? 1 : 0;
    uint8_t* p = frame.data() + video_model::kHeaderSize;
    for (uint32_t block = 0; block < blocks; ++block) {
        const uint32_t parity = block == 0 ? firstParity : 1 - firstParity;
        const uint32_t boxLeft = (frameNumber * 16 + block * 8) % travel;
        for (uint32_t n = 0; n < fieldLines; ++n) {
            const uint32_t y = 2 * n + parity;
            const bool boxLine = y >= boxTop && y < boxTop + boxLines;
            for (uint32_t x = 0; x < width; ++x, p += 4) {
                const uint8_t* c = kBars[std::min<uint32_t>(x * 8 / width, 7)];
                if (boxLine && x >= boxLeft && x < boxLeft + box) {
                    p[0] = p[1] = p[2] = 255;
                } else {
                    p[0] = c[0];
                    p[1] = c[1];
                    p[2] = c[2];
                }
            }
        }
    }
    return frame;
}

} // namespace tavik::sim
