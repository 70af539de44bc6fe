// Test helper: powermgr_ready COUNT
// One application that reports ready COUNT times through its own PowerMgr object.
// Exit status 0; 2 on bad arguments; 3 when the object or a report failed.
#include <cstdlib>

#include "tavik2/power_mgr.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const long count = std::strtol(argv[1], nullptr, 10);
    Varnholtstad::PowerMgr* h = GetPowerMgr();
    if (h == nullptr) return 3;
    int status = 0;
    for (long i = 0; i < count; ++i)
        if (PowerMgr_setAppReadyForSuspendOrShutdown(h) != ERR_SUCCESS) status = 3;
    PowerMgr_release(h);
    return status;
}
