// An FPGA upgrade as an update tool does it: a blocking job, retried up to three times when it
// fails. Exit 0 once an attempt succeeded, 1 when every attempt failed.
//   scenario_fpga_retry IMAGE
#include <cstdio>

#include "tavik2/firmware_upgrade.h"
#include "unit_time.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scenario_fpga_retry IMAGE\n");
        return 2;
    }
    for (int attempt = 1; attempt <= 3; ++attempt) {
        Tavik2FirmwareUpgrade* job = GetFirmwareUpgrade();
        if (job == nullptr) return 2;
        const ErrorCode e = FirmwareUpgrade_startFpgaUpgrade(job, argv[1], true);
        FirmwareUpgrade_release(job);
        std::printf("upgrade attempt %d: %s (%d)\n", attempt, e == ERR_SUCCESS ? "done" : "failed", e);
        std::fflush(stdout);
        if (e == ERR_SUCCESS) return 0;
        sleepUnitMs(1000);
    }
    return 1;
}
