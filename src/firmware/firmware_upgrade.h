// The firmware upgrade family: starts upgrade and verification jobs for the FPGA and the two
// microcontrollers, blocking or in a job thread, and delivers their status. One job at a time
// across all processes ("TAVIK_FIRMWARE_UPGRADE_IN_PROGRESS").
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "firmware/flasher.h"
#include "platform/handles.h"
#include "tavik2/firmware_upgrade.h"

namespace tavik::firmware {

constexpr const char* kUpgradeInProgressLock = "TAVIK_FIRMWARE_UPGRADE_IN_PROGRESS";

// Image file bounds of the microcontroller targets (bytes, inclusive) and the name of the other
// target that must not appear in the file.
struct ImageFileRule {
    uint64_t minBytes;
    uint64_t maxBytes;
    const char* otherTarget;
};
constexpr ImageFileRule kSystemSupervisorImage{95000, 1000000, "Front_uc"};
constexpr ImageFileRule kFrontImage{50000, 110000, "SystemSupervisor"};

// Checks a microcontroller image file: ERR_OPEN_FAILED when it cannot be opened or read,
// ERR_DATATYPE_MISMATCH for a size out of bounds or the other target's name among its bytes.
ErrorCode checkImageFile(const std::string& path, const ImageFileRule& rule);

// What a job uses: the status record and its locks, and both flashers. Shared by the family
// object and a running job thread, so that releasing the handle during a job leaves all of it
// alive until run() returns; the last owner closes the semaphores and channels.
struct Job;

class FirmwareUpgrade_Imp final : public Varnholtstad::FirmwareUpgrade {
public:
    FirmwareUpgrade_Imp();
    ~FirmwareUpgrade_Imp();
    FirmwareUpgrade_Imp(const FirmwareUpgrade_Imp&) = delete;
    FirmwareUpgrade_Imp& operator=(const FirmwareUpgrade_Imp&) = delete;

    ErrorCode startFpgaUpgrade(const char* path, bool blocking) override;
    ErrorCode startFpgaVerification(const char* path, bool blocking) override;
    ErrorCode startSSUpgrade(const char* path, bool blocking) override;
    ErrorCode startSSVerification(const char* path, bool blocking) override;
    ErrorCode startFrontUpgrade(const char* path, bool blocking) override;
    ErrorCode startFrontVerification(const char* path, bool blocking) override;
    ErrorCode getUpgradeStatus(Varnholtstad::UpgradeStatus* status, bool blocking) override;
    ErrorCode shutDown() override;
    void release() override;

private:
    enum class Target { Fpga, SystemSupervisor, Front };
    ErrorCode start(Target target, int32_t mode, const char* path, bool blocking);
    // Waits for this handle's last job thread when its job has already made its final report,
    // so that a start right after a job's end does not race the thread's last steps.
    void joinEndedJob();

    std::shared_ptr<Job> job_;
    platform::ThreadHandle thread_; // the last job thread started; never waited for while it works
};

} // namespace tavik::firmware
