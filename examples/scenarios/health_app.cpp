// An application that watches the unit's health through the Diagnostic and Battery families and
// reports trouble on the front LED: red once the supervisor is at 70 °C or more and the backup
// battery at 10 % or less. Exit 0 when both were reported, 1 when they were not within its time
// (at least an hour of unit time: the sum of its pauses), 2 on a library error.
#include <cstdio>

#include "tavik2/battery.h"
#include "tavik2/diagnostic.h"
#include "tavik2/front_led.h"
#include "unit_time.h"

int main() {
    Tavik2Diagnostic* diag = GetDiagnostic();
    Tavik2Battery* battery = GetBattery();
    Tavik2FrontLED* led = GetFrontLED();
    if (diag == nullptr || battery == nullptr || led == nullptr) return 2;
    bool hot = false, low = false;
    int status = 1;
    for (int waited = 0; waited < 3600000; waited += 500) {
        int16_t temperature = 0;
        uint8_t charge = 0;
        if (Diagnostic_getSSTemp(diag, &temperature) != ERR_SUCCESS ||
            Battery_getBatteryVoltageStatus(battery, &charge) != ERR_SUCCESS) {
            std::printf("health: reading failed\n");
            status = 2;
            break;
        }
        if (!hot && temperature >= 70) {
            hot = true;
            std::printf("health: unit hot, %d C\n", temperature);
        }
        if (!low && charge <= 10) {
            low = true;
            std::printf("health: battery low, %u %%\n", charge);
        }
        std::fflush(stdout);
        if (hot && low) {
            status = FrontLED_setColor(led, 15, 0, 0) == ERR_SUCCESS ? 0 : 2;
            std::printf("health: front LED red\n");
            break;
        }
        sleepUnitMs(500);
    }
    FrontLED_release(led);
    Battery_release(battery);
    Diagnostic_release(diag);
    return status;
}
