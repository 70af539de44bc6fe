#include "firmware/firmware_upgrade.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "firmware/fpga_flasher.h"
#include "firmware/stm32_flasher.h"
#include "frame/cross_process_lock.h"
#include "frame/handle.h"
#include "frame/service_control.h"
#include "platform/files.h"
#include "platform/sync.h"

namespace tavik::firmware {

using namespace Varnholtstad;

struct Job {
    JobStatus status;
    StatusTriple lastRead; // the copy getUpgradeStatus delivers; under status.statusLock
    Flasher_FPGA fpga{status};
    Flasher_STM32 stm32{status};

    Job() {
        status.statusLock = platform::createSemaphore("", 1, 1);
        status.statusChanged = platform::createSemaphore("", 1, 1); // signalled at creation
        status.inProgress = frame::createCrossProcessLock(kUpgradeInProgressLock);
    }
    ~Job() {
        fpga.closeChannels();
        stm32.closeChannels();
        platform::closeSemaphore(status.statusLock);
        platform::closeSemaphore(status.statusChanged);
        platform::closeSemaphore(status.inProgress);
    }
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Runs f with the status lock held.
    void underStatusLock(const std::function<void()>& f) {
        const bool held = platform::waitSemaphore(status.statusLock, platform::kWaitForever) ==
                          platform::WaitResult::Signaled;
        f();
        if (held) platform::releaseSemaphore(status.statusLock, 1);
    }
};

namespace {

// A job thread's start: its own reference to the job keeps it alive until run() returns.
struct JobStart {
    std::shared_ptr<Job> job;
    IFlasher* flasher;
    int32_t mode;
};

uint32_t jobThread(void* argument) {
    std::unique_ptr<JobStart> start(static_cast<JobStart*>(argument));
    start->flasher->run(start->mode);
    return 0;
}

constexpr uint32_t kJoinEndedJobMs = 5000;

} // namespace

ErrorCode checkImageFile(const std::string& path, const ImageFileRule& rule) {
    if (path.size() > 259) return ERR_OPEN_FAILED;
    const platform::FileHandle file = platform::openFileForRead(path, /*exclusive=*/true);
    if (!file) return ERR_OPEN_FAILED;
    uint64_t size = 0;
    ErrorCode e = platform::fileSize(file, size) ? ERR_SUCCESS : ERR_OPEN_FAILED;
    // The bounds first, so that an oversized file is never read into memory.
    if (e == ERR_SUCCESS && (size < rule.minBytes || size > rule.maxBytes)) e = ERR_DATATYPE_MISMATCH;
    std::vector<uint8_t> bytes;
    if (e == ERR_SUCCESS) {
        bytes.resize(static_cast<size_t>(size));
        size_t have = 0;
        while (have < bytes.size()) {
            uint32_t got = 0;
            if (!platform::readFile(file, bytes.data() + have, static_cast<uint32_t>(bytes.size() - have), got)) {
                e = ERR_OPEN_FAILED;
                break;
            }
            if (got == 0) break;
            have += got;
        }
        bytes.resize(have);
    }
    platform::closeFile(file);
    if (e != ERR_SUCCESS) return e;
    // Every byte counts, also those past a zero byte.
    const char* name = rule.otherTarget;
    const auto found = std::search(bytes.begin(), bytes.end(), name, name + std::strlen(name));
    return found == bytes.end() ? ERR_SUCCESS : ERR_DATATYPE_MISMATCH;
}

FirmwareUpgrade_Imp::FirmwareUpgrade_Imp() : job_(std::make_shared<Job>()) {}

FirmwareUpgrade_Imp::~FirmwareUpgrade_Imp() { platform::closeThread(thread_); }

// A running job keeps its own reference to the job; the object goes now, the job when run() ends.
// A job that has made its final report is waited for, so that its lock is given back before the
// caller goes on (and, on the host, before a process that exits next takes the lock with it).
void FirmwareUpgrade_Imp::release() {
    joinEndedJob();
    delete this;
}

ErrorCode FirmwareUpgrade_Imp::startFpgaUpgrade(const char* p, bool b) { return start(Target::Fpga, kModeUpgrade, p, b); }
ErrorCode FirmwareUpgrade_Imp::startFpgaVerification(const char* p, bool b) { return start(Target::Fpga, kModeVerify, p, b); }
ErrorCode FirmwareUpgrade_Imp::startSSUpgrade(const char* p, bool b) { return start(Target::SystemSupervisor, kModeUpgrade, p, b); }
ErrorCode FirmwareUpgrade_Imp::startSSVerification(const char* p, bool b) { return start(Target::SystemSupervisor, kModeVerify, p, b); }
ErrorCode FirmwareUpgrade_Imp::startFrontUpgrade(const char* p, bool b) { return start(Target::Front, kModeUpgrade, p, b); }
ErrorCode FirmwareUpgrade_Imp::startFrontVerification(const char* p, bool b) { return start(Target::Front, kModeVerify, p, b); }

void FirmwareUpgrade_Imp::joinEndedJob() {
    if (!thread_) return;
    bool ended = false;
    job_->underStatusLock([&] {
        ended = job_->status.record.action == UPGRADE_DONE || job_->status.record.action == UPGRADE_FAILED;
    });
    if (ended) platform::joinThread(thread_, kJoinEndedJobMs);
}

ErrorCode FirmwareUpgrade_Imp::start(Target target, int32_t mode, const char* path, bool blocking) {
    if (path == nullptr) return ERR_INVALID_PARAMETER;
    const std::string file(path);
    if (file.size() > kMaxImagePathChars) return ERR_INVALID_PARAMETER;

    joinEndedJob();
    JobStatus& status = job_->status;
    if (!status.inProgress || platform::waitSemaphore(status.inProgress, 0) != platform::WaitResult::Signaled)
        return ERR_IN_PROGRESS;

    // The previous job's state goes; the status lock and flag stay the same objects, so a caller
    // blocked in getUpgradeStatus wakes on this job instead of waiting on a discarded flag.
    platform::waitSemaphore(status.statusChanged, 0);
    job_->fpga.reset();
    job_->stm32.reset();

    if (target != Target::Fpga) {
        const ErrorCode e = checkImageFile(file, target == Target::Front ? kFrontImage : kSystemSupervisorImage);
        if (e != ERR_SUCCESS) {
            platform::releaseSemaphore(status.statusChanged, 1);
            platform::releaseSemaphore(status.inProgress, 1);
            return e;
        }
    }
    job_->underStatusLock([&] {
        status.record = {};
        job_->lastRead = {};
    });
    platform::releaseSemaphore(status.statusChanged, 1);

    IFlasher* flasher = &job_->fpga;
    if (target != Target::Fpga) {
        job_->stm32.setTarget(target == Target::Front ? kTargetFront : kTargetSystemSupervisor);
        flasher = &job_->stm32;
    }
    flasher->setPath(file);

    if (blocking) {
        const std::shared_ptr<Job> keep = job_;
        return flasher->run(mode);
    }
    auto* begin = new JobStart{job_, flasher, mode};
    const platform::ThreadHandle thread = platform::startThread(&jobThread, begin);
    if (!thread) {
        delete begin;
        platform::releaseSemaphore(status.inProgress, 1);
        return ERR_CREATE_THREAD;
    }
    platform::closeThread(thread_);
    thread_ = thread;
    return ERR_SUCCESS;
}

ErrorCode FirmwareUpgrade_Imp::getUpgradeStatus(UpgradeStatus* out, bool blocking) {
    if (out == nullptr) return ERR_INVALID_PARAMETER;
    const bool changed = platform::waitSemaphore(job_->status.statusChanged,
                                                 blocking ? platform::kWaitForever : 0) ==
                         platform::WaitResult::Signaled;
    StatusTriple copy;
    job_->underStatusLock([&] {
        if (changed) job_->lastRead = job_->status.record;
        copy = job_->lastRead;
    });
    out->action = copy.action;
    out->percent = copy.percent;
    out->result = copy.result;
    return ERR_SUCCESS;
}

ErrorCode FirmwareUpgrade_Imp::shutDown() {
    return frame::serviceControlError(frame::sendServiceControl(frame::kServiceShutDown));
}

} // namespace tavik::firmware

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::FirmwareUpgrade;

TAVIK_API FirmwareUpgrade* TAVIK_CALL GetFirmwareUpgrade(void) {
    return tavik::frame::createFresh<tavik::firmware::FirmwareUpgrade_Imp>();
}

TAVIK_API void TAVIK_CALL FirmwareUpgrade_release(FirmwareUpgrade* h) {
    tavik::frame::forwardRelease<Family::FirmwareUpgrade>(h);
}

#define TAVIK_FIRMWARE_START(op)                                                                   \
    TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_##op(FirmwareUpgrade* h, const char* path,      \
                                                        bool blocking) {                           \
        return forward<Family::FirmwareUpgrade>(h, &FirmwareUpgrade::op, path, blocking);          \
    }

TAVIK_FIRMWARE_START(startFpgaUpgrade)
TAVIK_FIRMWARE_START(startFpgaVerification)
TAVIK_FIRMWARE_START(startSSUpgrade)
TAVIK_FIRMWARE_START(startSSVerification)
TAVIK_FIRMWARE_START(startFrontUpgrade)
TAVIK_FIRMWARE_START(startFrontVerification)

TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_getUpgradeStatus(FirmwareUpgrade* h,
                                                                Varnholtstad::UpgradeStatus* status,
                                                                bool blocking) {
    return forward<Family::FirmwareUpgrade>(h, &FirmwareUpgrade::getUpgradeStatus, status, blocking);
}

TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_shutDown(FirmwareUpgrade* h) {
    return forward<Family::FirmwareUpgrade>(h, &FirmwareUpgrade::shutDown);
}
