// An application in a controlled shutdown: registers with the power manager, waits for the
// platform service's request, reports ready and ends. Exit 0 when it reported ready, 1 when no
// request came within its time (60 s of unit time), 2 on a library error.
//   scenario_ready_app NAME
#include <cstdio>

#include "tavik2/power_mgr.h"
#include "unit_time.h"

int main(int argc, char** argv) {
    const char* name = argc > 1 ? argv[1] : "app";
    Tavik2PowerMgr* pm = GetPowerMgr();
    if (pm == nullptr) return 2;
    ErrorCode e = PowerMgr_registerControlledSuspendOrShutDown(pm, 1);
    if (e != ERR_SUCCESS) {
        std::printf("%s: register failed (%d)\n", name, e);
        PowerMgr_release(pm);
        return 2;
    }
    std::printf("%s: registered\n", name);
    std::fflush(stdout);
    int32_t request = 0;
    for (int waited = 0; request == 0 && waited < 60000; waited += 100) {
        if ((e = PowerMgr_getPowerMgrStatus(pm, &request)) != ERR_SUCCESS) break;
        if (request == 0) sleepUnitMs(100);
    }
    if (e == ERR_SUCCESS && request != 0) e = PowerMgr_setAppReadyForSuspendOrShutdown(pm);
    PowerMgr_release(pm);
    if (e != ERR_SUCCESS) {
        std::printf("%s: power manager error %d\n", name, e);
        return 2;
    }
    if (request == 0) {
        std::printf("%s: no request came\n", name);
        return 1;
    }
    std::printf("%s: request %d, state saved, ready\n", name, request);
    return 0;
}
