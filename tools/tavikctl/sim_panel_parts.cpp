// The panel's indirect parts: video thumbnails, supply volts, firmware job progress.
#include "sim_panel_parts.h"

#include <algorithm>
#include <cmath>

#include "frame/request_index.h"
#include "signals/adc.h"
#include "sim/unit.h"
#include "sim/video_model.h"
#include "sim_ops.h"
#include "video/bitmap.h"

namespace tavikctl::panel_parts {
namespace {

namespace sim = tavik::sim;

constexpr uint32_t kBmpHeaderBytes = 54; // file header 14 + info header 40
constexpr uint16_t kAdcFullScale = 4095; // the supervisor's 12-bit converter
constexpr uint16_t kAdcUnmeasured = 0xF0F0;
constexpr size_t kMaxLogStep = 4096;     // log entries followed per look; older ones are skipped

// Request codes of the FPGA's programming (fpga model) and the bootloader's flash base.
constexpr uint32_t kFpgaWriteBlock = tavik::frame::requestCode(0x940);
constexpr uint32_t kFpgaReadBlock = tavik::frame::requestCode(0x941);
constexpr uint64_t kFlashBase = 0x08000000;
constexpr int kFpgaProgrammingPath = 0x0F; // fpga.switch while the configuration path is programmed
// Positions of the bootloader's commands in its "commands" list (the get reply's order).
constexpr size_t kReadMemory = 3, kWriteMemory = 5, kErase = 6;

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    put16(b, at, v);
    put16(b, at + 2, v >> 16);
}
uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return at + 4 > b.size() ? 0 : b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return at + 4 > b.size() ? 0 : static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// A bottom-up 24-bit BMP of the planned frame, sampled down to `width` pixels (nearest pixel).
std::vector<uint8_t> scaledBitmap(const tavik::video::BitmapPlan& plan, uint32_t width) {
    const uint32_t height = std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t(plan.height) * width / plan.width));
    const uint32_t stride = (width * 3 + 3) & ~3u;
    std::vector<uint8_t> bmp(kBmpHeaderBytes + size_t(stride) * height, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(bmp, 2, static_cast<uint32_t>(bmp.size()));
    put32(bmp, 10, kBmpHeaderBytes);
    put32(bmp, 14, 40);
    put32(bmp, 18, width);
    put32(bmp, 22, height);
    put16(bmp, 26, 1);
    put16(bmp, 28, 24);
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = static_cast<uint32_t>(uint64_t(row) * plan.height / height);
        const uint8_t* line = (y % 2 == 0 ? plan.even : plan.odd) + size_t(y / 2) * plan.width * 4;
        uint8_t* out = bmp.data() + kBmpHeaderBytes + size_t(height - 1 - row) * stride;
        for (uint32_t x = 0; x < width; ++x, out += 3) {
            const uint8_t* p = line + size_t(uint64_t(x) * plan.width / width) * 4;
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
        }
    }
    return bmp;
}

} // namespace

Thumbnail videoThumbnail(int input, uint32_t maxWidth) {
    Thumbnail t;
    const std::string key = "input" + std::to_string(input);
    json doc;
    std::vector<uint8_t> raw;
    sim::Unit::instance().transact([&](sim::Txn& txn) {
        doc = txn.get("video").value(key, json::object());
        if (doc.value("source", "") == "file") raw = txn.blobRead(sim::videoFrameBlob(input));
    });
    if (!doc.value("capture", false)) return t.noSignal = "no capture device", t;
    const int standard = doc.value("standard", 0);
    if (doc["source"] == "pattern")
        raw = sim::renderTestFrame(doc.value("width", 0u), doc.value("height", 0u), standard, doc.value("frame_number", 0u),
                                   false);
    tavik::video::BitmapPlan plan;
    if (raw.size() > UINT32_MAX ||
        tavik::video::planBitmap(raw.data(), static_cast<uint32_t>(raw.size()), false, standard == 0 || standard == 4,
                                 plan) != ERR_SUCCESS ||
        plan.width == 0 || plan.height == 0)
        return t.noSignal = "the frame is not a picture", t;
    t.bmp = scaledBitmap(plan, std::clamp<uint32_t>(maxWidth, 1, plan.width));
    return t;
}

json supplyVoltages() {
    const json raw = simops::get("adc.raw")["value"];
    json list = json::array();
    for (int s = 0; s < tavik::signals::kAdcSelectorCount && s < static_cast<int>(raw.size()); ++s) {
        const uint16_t r = raw[s].get<uint16_t>();
        if (r == kAdcUnmeasured) continue;
        list.push_back({{"selector", s},
                        {"raw", r},
                        {"volts", tavik::signals::adcVolts(s, r)},
                        {"step", tavik::signals::adcVolts(s, 1)},
                        {"max", tavik::signals::adcVolts(s, kAdcFullScale)}});
    }
    return list;
}

json setSupply(const json& body) {
    if (!body.contains("selector") || !body["selector"].is_number_integer() || body["selector"].get<int64_t>() < 0 ||
        body["selector"].get<int64_t>() >= tavik::signals::kAdcSelectorCount)
        throw simops::Refused("selector", "a supply selector 0.." + std::to_string(tavik::signals::kAdcSelectorCount - 1));
    if (!body.contains("volts") || !body["volts"].is_number() || !(body["volts"].get<double>() >= 0))
        throw simops::Refused("volts", "a voltage of 0 V or more");
    const int s = body["selector"].get<int>();
    // Which voltages the supervisor measures is the unit's make, not its world.
    if (simops::get("adc.raw." + std::to_string(s))["value"] == kAdcUnmeasured)
        throw simops::Refused("selector", "selector " + std::to_string(s) + " is not measured on this unit");
    const double raw = std::round(body["volts"].get<double>() / tavik::signals::adcVolts(s, 1));
    if (raw == kAdcUnmeasured) throw simops::Refused("volts", "that reading means \"not measured\": choose another voltage");
    // Beyond a word the model refuses it with its own message.
    const json stored = simops::set("adc.raw." + std::to_string(s), raw > 1e9 ? "1e9" : std::to_string(int64_t(raw)));
    const uint16_t r = stored["value"].get<uint16_t>();
    return {{"selector", s}, {"raw", r}, {"volts", tavik::signals::adcVolts(s, r)}};
}

// ---- firmware jobs ----------------------------------------------------------------------------

void FirmwareTracker::follow(const json& bootloader, bool running) {
    sim::LogQuery q;
    q.since = seen_;
    q.last = kMaxLogStep;
    for (const sim::LogEntry& e : sim::Unit::instance().readLog(q)) {
        seen_ = std::max(seen_, e.seq);
        std::string target, step;
        uint64_t programmedEnd = 0, checkedEnd = 0;
        if (e.code == kFpgaWriteBlock && e.target == "\\\\.\\TavikDrv") {
            target = "fpga";
            step = "programming";
            const uint32_t position = le32(e.in, 4);
            if (position == 0) job_ = {}; // programming starts over at the memory's start
            programmedEnd = e.ok ? le32(e.out, 0) : position;
        } else if (e.code == kFpgaReadBlock && e.target == "\\\\.\\TavikDrv") {
            target = "fpga";
            step = "verifying";
            if (le32(e.in, 4) == 0) job_.checked = 0;
            checkedEnd = e.ok ? le32(e.out, 4) : 0;
        } else if (e.target == "bootloader:ss" || e.target == "bootloader:front") {
            target = e.target.substr(11);
            const json& commands = bootloader[target].value("commands", json::array());
            auto is = [&](size_t function) { return function < commands.size() && commands[function] == e.code; };
            // The bytes of a command as heard: command, complement, then its arguments.
            if (is(kErase)) {
                job_ = {};
                step = "erasing";
            } else if (is(kWriteMemory) && e.in.size() > 7) {
                step = "programming";
                programmedEnd = be32(e.in, 2) - kFlashBase + e.in[7] + 1u;
            } else if (is(kReadMemory) && e.in.size() > 7) {
                step = "verifying";
                const uint64_t at = be32(e.in, 2) - kFlashBase;
                if (at == 0) job_.checked = 0;
                checkedEnd = at + e.in[7] + 1u;
            } else {
                step = job_.target == target && !job_.step.empty() ? job_.step : "preparing";
            }
        } else {
            continue;
        }
        if (job_.target != target) job_ = {};
        job_.target = target;
        job_.step = step;
        job_.programmed = std::max(job_.programmed, programmedEnd);
        if (checkedEnd != 0) job_.checked = checkedEnd;
        job_.failed = job_.failed || !e.ok;
        job_.lastSeq = e.seq;
        job_.lastTarget = e.target;
        job_.lastCode = e.code;
    }
    // A cleared log (a reset, a profile loaded) takes the job's record with it.
    if (!job_.target.empty()) {
        sim::LogQuery mine;
        mine.target = job_.lastTarget;
        mine.code = job_.lastCode;
        mine.since = job_.lastSeq - 1;
        mine.last = 1;
        if (sim::Unit::instance().readLog(mine).empty()) job_ = {};
    }
    // The target back in normal operation: the job's requests are over.
    if (!job_.target.empty() && !running && job_.step != "failed") job_.step = job_.failed ? "failed" : "done";
}

json FirmwareTracker::state() {
    std::lock_guard<std::mutex> lock(mutex_);
    json fpga, bootloader;
    sim::Unit::instance().transact([&](sim::Txn& txn) {
        fpga = txn.get("fpga");
        bootloader = txn.get("bootloader");
    });
    const bool running = fpga.value("switch", 0) == kFpgaProgrammingPath ||
                         bootloader["ss"].value("mode", "") == "bootloader" ||
                         bootloader["front"].value("mode", "") == "bootloader";
    follow(bootloader, running);
    json s = {{"running", running}, {"target", nullptr}};
    if (job_.target.empty()) {
        if (running) s["step"] = "preparing";
        return s;
    }
    if (running && (job_.step == "done" || job_.step == "failed")) return s["step"] = "preparing", s;
    s["target"] = job_.target;
    s["step"] = job_.step;
    s["programmed"] = job_.programmed;
    s["checked"] = job_.checked;
    s["percent"] = nullptr;
    if (job_.step == "verifying" && job_.programmed > 0)
        s["percent"] = std::min(job_.checked, job_.programmed) * 100 / job_.programmed;
    else if (job_.step == "done")
        s["percent"] = 100;
    s["seq"] = job_.lastSeq;
    return s;
}

} // namespace tavikctl::panel_parts
