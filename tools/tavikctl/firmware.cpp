// tavikctl firmware: upgrade and verification jobs with their progress, the job state, and the
// shutdown request to the platform service.
#include <unistd.h>

#include <cstdio>

#include "cli.h"
#include "firmware/firmware_upgrade.h"
#include "platform/host/named_locks.h"
#include "tavik2/firmware_upgrade.h"

namespace tavikctl {
namespace firmware_cmd {

using Varnholtstad::FirmwareUpgrade;
using Varnholtstad::UpgradeStatus;
using StartOp = ErrorCode(TAVIK_CALL*)(FirmwareUpgrade*, const char*, bool);

struct TargetOps {
    const char* key;
    const char* label;
    StartOp upgrade;
    StartOp verify;
};

const TargetOps kTargets[] = {
    {"fpga", "FPGA", &FirmwareUpgrade_startFpgaUpgrade, &FirmwareUpgrade_startFpgaVerification},
    {"ss", "system supervisor", &FirmwareUpgrade_startSSUpgrade, &FirmwareUpgrade_startSSVerification},
    {"front", "front controller", &FirmwareUpgrade_startFrontUpgrade, &FirmwareUpgrade_startFrontVerification},
};

// Names of the job actions, for people and for scripts.
const char* actionLabel(int32_t action) {
    switch (action) {
    case Varnholtstad::UPGRADE_INIT: return "Preparing";
    case Varnholtstad::UPGRADE_CONNECT: return "Connecting";
    case Varnholtstad::UPGRADE_READ_FILE: return "Reading file";
    case Varnholtstad::UPGRADE_PROGRAM: return "Programming";
    case Varnholtstad::UPGRADE_VERIFY: return "Verifying";
    case Varnholtstad::UPGRADE_DONE: return "Done";
    case Varnholtstad::UPGRADE_FAILED: return "Failed";
    }
    return "Unknown";
}

const char* actionKey(int32_t action) {
    switch (action) {
    case Varnholtstad::UPGRADE_INIT: return "init";
    case Varnholtstad::UPGRADE_CONNECT: return "connect";
    case Varnholtstad::UPGRADE_READ_FILE: return "read_file";
    case Varnholtstad::UPGRADE_PROGRAM: return "program";
    case Varnholtstad::UPGRADE_VERIFY: return "verify";
    case Varnholtstad::UPGRADE_DONE: return "done";
    case Varnholtstad::UPGRADE_FAILED: return "failed";
    }
    return "unknown";
}

bool finished(const UpgradeStatus& s) {
    return s.action == Varnholtstad::UPGRADE_DONE || s.action == Varnholtstad::UPGRADE_FAILED;
}

json statusJson(const UpgradeStatus& s) {
    return {{"action", s.action}, {"action_name", actionKey(s.action)}, {"percent", s.percent},
            {"result", s.result}, {"message", errorText(s.result)}};
}

// One status change: a redrawn bar on a terminal, a plain line otherwise, a JSON line for scripts.
class ProgressView {
public:
    explicit ProgressView(bool json) : json_(json), terminal_(!json && ::isatty(STDOUT_FILENO) != 0) {}

    void show(const UpgradeStatus& s) {
        if (json_) {
            std::cout << statusJson(s).dump() << std::endl;
            return;
        }
        if (finished(s)) return; // the outcome is printed as the result
        constexpr int kWidth = 30;
        const int filled = s.percent * kWidth / 100;
        char line[128];
        std::snprintf(line, sizeof line, "%-13s [%s%s] %3u %%", actionLabel(s.action),
                      std::string(static_cast<size_t>(filled), '#').c_str(),
                      std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), s.percent);
        if (terminal_) {
            std::cout << '\r' << line << std::flush;
            drawn_ = true;
        } else {
            std::cout << line << '\n';
        }
    }

    void end() {
        if (drawn_) std::cout << '\n';
        drawn_ = false;
    }

private:
    bool json_;
    bool terminal_;
    bool drawn_ = false;
};

void runJob(Context& ctx, const std::string& target, const std::string& file, bool upgrade) {
    const TargetOps* ops = nullptr;
    for (const TargetOps& t : kTargets)
        if (target == t.key) ops = &t;
    if (ops == nullptr) throw CLI::ValidationError("target", "must be fpga, ss or front");

    FirmwareUpgrade* h = GetFirmwareUpgrade();
    if (h == nullptr) {
        failWith(ctx, "firmware", ERR_MEMORY_ALLOCATION);
        return;
    }
    const std::string what = std::string(upgrade ? "upgrade " : "verify ") + ops->label;
    const ErrorCode started = (upgrade ? ops->upgrade : ops->verify)(h, file.c_str(), false);
    if (started != ERR_SUCCESS) {
        FirmwareUpgrade_release(h);
        failWith(ctx, what, started);
        return;
    }
    ProgressView view(ctx.json);
    UpgradeStatus s{};
    UpgradeStatus shown{-1, 0, ERR_SUCCESS};
    do {
        FirmwareUpgrade_getUpgradeStatus(h, &s, true);
        if (s.action != shown.action || s.percent != shown.percent || s.result != shown.result) view.show(s);
        shown = s;
    } while (!finished(s));
    view.end();
    FirmwareUpgrade_release(h);

    if (s.result != ERR_SUCCESS) {
        if (!ctx.json) std::cerr << what << ": " << errorText(s.result) << " (" << s.result << ")\n";
        ctx.fail(exitStatusFor(s.result));
    } else if (!ctx.json) {
        std::cout << what << ": " << (upgrade ? "programmed and verified" : "matches the image") << '\n';
    }
}

void showState(Context& ctx) {
    const bool running = firmwareJobRunning();
    emit(ctx, json{{"job_running", running}},
         running ? "A firmware job is running on this unit." : "No firmware job is running.");
}

void shutDown(Context& ctx) {
    FirmwareUpgrade* h = GetFirmwareUpgrade();
    const ErrorCode e = FirmwareUpgrade_shutDown(h);
    FirmwareUpgrade_release(h);
    if (e != ERR_SUCCESS) {
        failWith(ctx, "shutdown", e);
        return;
    }
    emit(ctx, json{{"code", 0}, {"message", "shutdown requested"}}, "Shutdown requested from the platform service.");
}

} // namespace firmware_cmd

bool firmwareJobRunning() {
    for (const auto& lock : tavik::platform::host::listNamedLocks())
        if (lock.name == tavik::firmware::kUpgradeInProgressLock) return lock.count < lock.maximum;
    return false; // never made: no job has run on this unit
}

void addFirmwareCommands(CLI::App& app, Context& ctx) {
    using namespace firmware_cmd;
    auto* fw = app.add_subcommand("firmware", "Upgrade or verify the FPGA and the microcontrollers");
    fw->require_subcommand(1);
    static std::string target, file;
    for (const bool upgrade : {true, false}) {
        auto* cmd = fw->add_subcommand(upgrade ? "upgrade" : "verify",
                                       upgrade ? "Program a target from an image file, then verify it"
                                               : "Compare a target with an image file");
        cmd->add_option("target", target, "fpga, ss or front")->required()->check(CLI::IsMember({"fpga", "ss", "front"}));
        // A missing file is named before the job starts (and before any progress shows).
        cmd->add_option("file", file, "Image file (Intel HEX)")->required()->check(CLI::ExistingFile);
        cmd->callback([&ctx, upgrade] { runJob(ctx, target, file, upgrade); });
    }
    fw->add_subcommand("status", "Whether a firmware job is running on the unit")->callback([&ctx] { showState(ctx); });
    fw->add_subcommand("shutdown", "Ask the platform service to shut the unit down")->callback([&ctx] { shutDown(ctx); });
}

} // namespace tavikctl
