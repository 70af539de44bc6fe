// What every flasher shares: the job's status record and its locks, the image path, the driver
// channel for the target-switching requests, and the one way progress is published.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "frame/driver_channel.h"
#include "platform/handles.h"
#include "tavik2/firmware_upgrade.h"

namespace tavik::firmware {

using Varnholtstad::UpgradeAction;

// Request 0x942: switches the FPGA configuration path or a microcontroller into its bootloader.
constexpr uint32_t kReqTargetSwitch = frame::requestCode(0x942);

// Job modes of IFlasher::run.
constexpr int32_t kModeVerify = 0;
constexpr int32_t kModeUpgrade = 1;

// The path field of a flasher holds this many characters (and a terminating zero).
constexpr size_t kMaxImagePathChars = 255;

struct StatusTriple {
    UpgradeAction action = 0;
    uint8_t percent = 0;
    ErrorCode result = ERR_SUCCESS;
    bool operator==(const StatusTriple& o) const {
        return action == o.action && percent == o.percent && result == o.result;
    }
};

// The status of the running job as the family object and its flashers share it. The record is
// written only under `statusLock`; `statusChanged` (maximum count 1) tells a reader that it
// changed since it was last read.
struct JobStatus {
    platform::SemaphoreHandle statusLock;    // unnamed, count 1
    platform::SemaphoreHandle statusChanged; // unnamed, maximum count 1
    platform::SemaphoreHandle inProgress;    // "TAVIK_FIRMWARE_UPGRADE_IN_PROGRESS"
    StatusTriple record;                     // the shared status record
};

class IFlasher {
public:
    explicit IFlasher(JobStatus& status);
    virtual ~IFlasher() = default;
    IFlasher(const IFlasher&) = delete;
    IFlasher& operator=(const IFlasher&) = delete;

    // Performs the whole job (kModeUpgrade or kModeVerify), ends with the final report (action 6
    // or 7), closes what the job opened and releases the in-progress lock last. Blocks until done.
    virtual ErrorCode run(int32_t mode) = 0;

    // Forgets the previous job: channels closed, buffers emptied, no triple reported yet.
    virtual void reset();
    // Closes the flasher's driver channels (the family object's release).
    virtual void closeChannels();

    void setPath(const std::string& path) { path_ = path; }

    // Publishes a triple unless it equals the last one this job published.
    void reportStatus(ErrorCode result, uint32_t percent, UpgradeAction action);

protected:
    // The end of run(): after a failure a pause of 100 ms, then the final report.
    ErrorCode reportEnd(ErrorCode result);
    // Gives the in-progress lock back; the last thing run() does.
    void releaseInProgress();
    // Request 0x942 with one byte; its outcome is not checked.
    void switchTarget(uint8_t value);

    JobStatus& status_;
    std::string path_;
    frame::DriverChannel switchChannel_{frame::DriverChannel::OpenPolicy::OnDemand};

private:
    std::optional<StatusTriple> last_;
};

} // namespace tavik::firmware
