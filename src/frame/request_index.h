// Every request the auxiliary driver serves: function number, input and output sizes in bytes,
// and the family that sends it. The library and the simulated driver both read this table.
#pragma once

#include <cstdint>

namespace tavik::frame {

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t requestCode(uint32_t function) { return 0x220000u + 4u * function; }
constexpr uint32_t requestFunction(uint32_t code) { return (code - 0x220000u) / 4u; }

struct RequestInfo {
    uint32_t function;
    uint32_t inSize;
    uint32_t outSize;
    const char* family;
};

constexpr RequestInfo kRequestIndex[] = {
    {0x906, 0, 1, "Backlight"},
    {0x907, 1, 0, "Backlight"},
    {0x908, 0, 1, "Backlight"},
    {0x909, 1, 1, "Video"},
    {0x90A, 3, 3, "Video"},
    {0x90B, 3, 3, "Video"},
    {0x90C, 8, 8, "Video"},
    {0x90D, 8, 8, "Video"},
    {0x90E, 4, 4, "Video"},
    {0x90F, 4, 4, "Video"},
    {0x910, 2, 2, "Video"},
    {0x911, 2, 2, "Video"},
    {0x912, 1, 1, "Video"},
    {0x913, 0, 4, "Video"},
    {0x914, 4, 4, "Video"},
    {0x915, 4, 0, "Video"},
    {0x916, 0, 4, "Video"},
    {0x917, 2, 0, "Video"},
    {0x918, 0, 6, "Video"},
    {0x919, 4, 8, "Adc"},
    {0x91A, 0, 2, "Diagnostic"},
    {0x91B, 0, 2, "Diagnostic"},
    {0x91C, 0, 28, "Diagnostic"},
    {0x91D, 0, 2, "Diagnostic"},
    {0x91E, 0, 2, "Diagnostic"},
    {0x91F, 0, 2, "Diagnostic"},
    {0x920, 0, 2, "Diagnostic"},
    {0x921, 0, 4, "Diagnostic"},
    {0x922, 4, 0, "TavikPrivate"},
    {0x923, 4, 4, "TavikPrivate/Smart"},
    {0x924, 0, 1, "Power"},
    {0x925, 1, 0, "Power"},
    {0x926, 0, 1, "Power"},
    {0x927, 1, 0, "Power"},
    {0x928, 0, 1, "Power"},
    {0x929, 1, 0, "Power"},
    {0x92A, 0, 1, "Power"},
    {0x92B, 1, 0, "Power"},
    {0x92C, 0, 1, "Power"},
    {0x92D, 1, 0, "Power"},
    {0x92E, 0, 4, "Config"},
    {0x92F, 4, 0, "Config"},
    {0x930, 0, 4, "Config"},
    {0x931, 4, 0, "Config"},
    {0x932, 0, 4, "Config"},
    {0x933, 4, 0, "Config"},
    {0x934, 0, 2, "Config"},
    {0x935, 2, 0, "Config"},
    {0x936, 0, 2, "Config"},
    {0x937, 2, 0, "Config"},
    {0x938, 0, 2, "Config"},
    {0x939, 2, 0, "Config"},
    {0x93A, 0, 2, "Config"},
    {0x93B, 2, 0, "Config"},
    {0x93C, 0, 4, "AuxVersion"},
    {0x93D, 0, 4, "AuxVersion"},
    {0x93E, 0, 4, "AuxVersion"},
    {0x93F, 0, 1, "FirmwareUpgrade"},
    {0x940, 536, 4, "FirmwareUpgrade"},
    {0x941, 536, 536, "FirmwareUpgrade"},
    {0x942, 1, 0, "FirmwareUpgrade"},
    {0x943, 0, 0, "FirmwareUpgrade"},
    {0x944, 1, 0, "FirmwareUpgrade"},
    {0x945, 0, 2, "Lightsensor"},
    {0x946, 1, 0, "Lightsensor"},
    {0x947, 0, 1, "Lightsensor"},
    {0x948, 0, 4, "Buzzer"},
    {0x949, 4, 0, "Buzzer"},
    {0x94A, 0, 1, "Buzzer"},
    {0x94B, 4, 0, "Buzzer"},
    {0x94C, 0, 4, "FrontLED"},
    {0x94D, 4, 0, "FrontLED"},
    {0x94E, 0, 3, "FrontLED"},
    {0x94F, 3, 0, "FrontLED"},
    {0x950, 0, 1, "FrontLED"},
    {0x951, 1, 0, "FrontLED"},
    {0x952, 0, 1, "DigIO"},
    {0x953, 0, 2, "Config"},
    {0x954, 2, 0, "Config"},
    {0x955, 0, 1, "TouchScreen"},
    {0x956, 1, 0, "TouchScreen"},
    {0x957, 0, 2, "Config"},
    {0x958, 2, 0, "Config"},
    {0x959, 0, 2, "Config"},
    {0x960, 2, 0, "Config"},
    {0x961, 0, 2, "Config"},
    {0x962, 2, 0, "Config"},
    {0x963, 0, 2, "Config"},
    {0x964, 2, 0, "Config"},
    {0x965, 2, 0, "TouchScreen"},
    {0x966, 0, 4, "AuxVersion"},
    {0x967, 0, 0, "Diagnostic"},
    {0x968, 0, 2, "TouchScreen"},
    {0x969, 0, 2, "Config"},
    {0x96A, 2, 0, "Config"},
    {0x96B, 1, 0, "Video"},
    {0x96C, 1, 0, "TouchScreenCalib"},
    {0x96D, 0, 1, "TouchScreenCalib"},
    {0x96E, 1, 4, "TouchScreen/TouchScreenCalib"},
    {0x96F, 4, 0, "TouchScreen/TouchScreenCalib"},
    {0x970, 2, 2, "Battery"},
};

// The entry of a request code, or null when the driver does not know it.
constexpr const RequestInfo* findRequest(uint32_t code) {
    for (const RequestInfo& r : kRequestIndex)
        if (requestCode(r.function) == code) return &r;
    return nullptr;
}

} // namespace tavik::frame
