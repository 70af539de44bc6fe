// tavikctl sim video ...: what the simulated capture devices deliver.
#include <fstream>
#include <iterator>

#include "cli.h"
#include "sim/unit.h"
#include "sim/video_model.h"

namespace tavikctl {
namespace sim_video_cmd {

namespace sim = tavik::sim;

// Far above any raw frame buffer the library reads; keeps a mistaken file out of the unit.
constexpr size_t kMaxFrameFile = 64u << 20;

struct FrameOptions {
    int input = 1;
    std::string file;
    bool pattern = false;
};

void setFrame(Context& ctx, const FrameOptions& o) {
    if (o.pattern == !o.file.empty()) throw CLI::ValidationError("frame", "give a FILE or --pattern");
    const std::string key = "input" + std::to_string(o.input);
    if (o.pattern) {
        sim::Unit::instance().transact([&](sim::Txn& txn) {
            txn.edit("video")[key]["source"] = "pattern";
            txn.blobRemove(sim::videoFrameBlob(o.input));
        });
        emit(ctx, json{{"input", o.input}, {"source", "pattern"}},
             "input " + std::to_string(o.input) + " delivers the test picture");
        return;
    }
    std::ifstream in(o.file, std::ios::binary);
    if (!in) throw CLI::ValidationError("file", "cannot read " + o.file);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > kMaxFrameFile) throw CLI::ValidationError("file", "larger than 64 MiB: " + o.file);
    sim::Unit::instance().transact([&](sim::Txn& txn) {
        txn.blobAssign(sim::videoFrameBlob(o.input), bytes);
        txn.edit("video")[key]["source"] = "file";
    });
    emit(ctx, json{{"input", o.input}, {"source", "file"}, {"file", o.file}, {"bytes", bytes.size()}},
         "input " + std::to_string(o.input) + " delivers the " + std::to_string(bytes.size()) + " bytes of " + o.file);
}

} // namespace sim_video_cmd

void addSimVideoCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_video_cmd;
    auto* video = simApp.add_subcommand("video", "The simulated video inputs");
    video->require_subcommand(1);
    auto* frame = video->add_subcommand(
        "frame", "Make an input's capture devices (frame and single field) deliver a file's bytes, or the test picture");
    static FrameOptions o;
    frame->add_option("input", o.input, "Video input 1 or 2")->required()->check(CLI::Range(1, 2));
    frame->add_option("file", o.file, "Raw frame file: 256-byte header, then the field blocks");
    frame->add_flag("--pattern", o.pattern, "Back to the test picture");
    frame->callback([&ctx] { setFrame(ctx, o); });
}

} // namespace tavikctl
