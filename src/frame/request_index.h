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
    const char* name; // what the request does, for people ("get intensity")
};

constexpr RequestInfo kRequestIndex[] = {
    {0x906, 0, 1, "Backlight", "get intensity"},
    {0x907, 1, 0, "Backlight", "set intensity"},
    {0x908, 0, 1, "Backlight", "get status"},
    {0x909, 1, 1, "Video", "show video"},
    {0x90A, 3, 3, "Video", "get color keys"},
    {0x90B, 3, 3, "Video", "set color keys"},
    {0x90C, 8, 8, "Video", "set video area"},
    {0x90D, 8, 8, "Video", "get video area"},
    {0x90E, 4, 4, "Video", "set scaling"},
    {0x90F, 4, 4, "Video", "get scaling"},
    {0x910, 2, 2, "Video", "set decoder reg"},
    {0x911, 2, 2, "Video", "get decoder reg"},
    {0x912, 1, 1, "Video", "get status"},
    {0x913, 0, 4, "Video", "get active channel"},
    {0x914, 4, 4, "Video", "set active channel"},
    {0x915, 4, 0, "Video", "set cropping"},
    {0x916, 0, 4, "Video", "get cropping"},
    {0x917, 2, 0, "Video", "init"},
    {0x918, 0, 6, "Video", "get raw image"},
    {0x919, 4, 8, "Adc", "get voltage"},
    {0x91A, 0, 2, "Diagnostic", "get SS temp"},
    {0x91B, 0, 2, "Diagnostic", "get PCB temp"},
    {0x91C, 0, 28, "Diagnostic", "get timer"},
    {0x91D, 0, 2, "Diagnostic", "get startup reason"},
    {0x91E, 0, 2, "Diagnostic", "get shut down reason"},
    {0x91F, 0, 2, "Diagnostic", "get HW error status"},
    {0x920, 0, 2, "Diagnostic", "get power cycles"},
    {0x921, 0, 4, "Diagnostic", "get min max temp"},
    {0x922, 4, 0, "TavikPrivate", "set to SMART"},
    {0x923, 4, 4, "TavikPrivate/Smart", "get from SMART"},
    {0x924, 0, 1, "Power", "get BL power status"},
    {0x925, 1, 0, "Power", "set BL power status"},
    {0x926, 0, 1, "Power", "get CAN power status"},
    {0x927, 1, 0, "Power", "set CAN power status"},
    {0x928, 0, 1, "Power", "get video power status"},
    {0x929, 1, 0, "Power", "set video power status"},
    {0x92A, 0, 1, "Power", "get ext fan power status"},
    {0x92B, 1, 0, "Power", "set ext fan power status"},
    {0x92C, 0, 1, "Power", "get button power transition status"},
    {0x92D, 1, 0, "Power", "ack power request"},
    {0x92E, 0, 4, "Config", "get front btn trig time"},
    {0x92F, 4, 0, "Config", "set front btn trig time"},
    {0x930, 0, 4, "Config", "get ext on off sig trig time"},
    {0x931, 4, 0, "Config", "set ext on off sig trig time"},
    {0x932, 0, 4, "Config", "get suspend max time"},
    {0x933, 4, 0, "Config", "set suspend max time"},
    {0x934, 0, 2, "Config", "get CAN startup power config"},
    {0x935, 2, 0, "Config", "set CAN startup power config"},
    {0x936, 0, 2, "Config", "get video startup power config"},
    {0x937, 2, 0, "Config", "set video startup power config"},
    {0x938, 0, 2, "Config", "get ext fan startup power config"},
    {0x939, 2, 0, "Config", "set ext fan startup power config"},
    {0x93A, 0, 2, "Config", "get startup voltage config"},
    {0x93B, 2, 0, "Config", "set startup voltage config"},
    {0x93C, 0, 4, "AuxVersion", "get FPGA version"},
    {0x93D, 0, 4, "AuxVersion", "get SS version"},
    {0x93E, 0, 4, "AuxVersion", "get front version"},
    {0x93F, 0, 1, "FirmwareUpgrade", "FPGA prepare"},
    {0x940, 536, 4, "FirmwareUpgrade", "FPGA write block"},
    {0x941, 536, 536, "FirmwareUpgrade", "FPGA read block"},
    {0x942, 1, 0, "FirmwareUpgrade", "flasher control"},
    {0x943, 0, 0, "FirmwareUpgrade", "flasher control without data"},
    {0x944, 1, 0, "FirmwareUpgrade", "flasher select"},
    {0x945, 0, 2, "Lightsensor", "get illuminance channels"},
    {0x946, 1, 0, "Lightsensor", "set operating range"},
    {0x947, 0, 1, "Lightsensor", "get operating range"},
    {0x948, 0, 4, "Buzzer", "get setting"},
    {0x949, 4, 0, "Buzzer", "set setting"},
    {0x94A, 0, 1, "Buzzer", "get trigger"},
    {0x94B, 4, 0, "Buzzer", "set trigger"},
    {0x94C, 0, 4, "FrontLED", "get time setting"},
    {0x94D, 4, 0, "FrontLED", "set time setting"},
    {0x94E, 0, 3, "FrontLED", "get color"},
    {0x94F, 3, 0, "FrontLED", "set color"},
    {0x950, 0, 1, "FrontLED", "get enabled during startup"},
    {0x951, 1, 0, "FrontLED", "set enabled during startup"},
    {0x952, 0, 1, "DigIO", "get digital I/O"},
    {0x953, 0, 2, "Config", "get heating temp limit"},
    {0x954, 2, 0, "Config", "set heating temp limit"},
    {0x955, 0, 1, "TouchScreen", "get mode"},
    {0x956, 1, 0, "TouchScreen", "set mode"},
    {0x957, 0, 2, "Config", "get startup trigger config"},
    {0x958, 2, 0, "Config", "set startup trigger config"},
    {0x959, 0, 2, "Config", "get short button press action"},
    {0x960, 2, 0, "Config", "set short button press action"},
    {0x961, 0, 2, "Config", "get long button press action"},
    {0x962, 2, 0, "Config", "set long button press action"},
    {0x963, 0, 2, "Config", "get on off sig action"},
    {0x964, 2, 0, "Config", "set on off sig action"},
    {0x965, 2, 0, "TouchScreen", "set mouse right click time"},
    {0x966, 0, 4, "AuxVersion", "get driver version"},
    {0x967, 0, 0, "Diagnostic", "clear HW error status"},
    {0x968, 0, 2, "TouchScreen", "get mouse right click time"},
    {0x969, 0, 2, "Config", "get power on startup"},
    {0x96A, 2, 0, "Config", "set power on startup"},
    {0x96B, 1, 0, "Video", "activate snapshot"},
    {0x96C, 1, 0, "TouchScreenCalib", "set mode"},
    {0x96D, 0, 1, "TouchScreenCalib", "get mode"},
    {0x96E, 1, 4, "TouchScreen/TouchScreenCalib", "get setting"},
    {0x96F, 4, 0, "TouchScreen/TouchScreenCalib", "set setting"},
    {0x970, 2, 2, "Battery", "read register"},
};

// The entry of a request code, or null when the driver does not know it.
constexpr const RequestInfo* findRequest(uint32_t code) {
    for (const RequestInfo& r : kRequestIndex)
        if (requestCode(r.function) == code) return &r;
    return nullptr;
}

} // namespace tavik::frame
