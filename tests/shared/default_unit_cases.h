// What the simulated unit with the default profile answers through the library's exported
// functions, as data: the host suite checks it through libtavik2.so against the unit in-process
// (tests/host/default_unit_cases_test.cpp), the wine program through Tavik2.dll against
// `tavikctl sim serve` (tests/wine/sim_remote/). Portable C++, no test framework.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::test::default_unit {

// AuxVersion_get*Version(handle, &major, &minor, &release, &build): argument bytes 20.
struct VersionCase {
    const char* function;
    uint8_t version[4];
};
inline constexpr VersionCase kVersions[] = {
    {"AuxVersion_getFPGAVersion", {0, 4, 0, 1}},
    {"AuxVersion_getSSVersion", {1, 3, 0, 0}},
    {"AuxVersion_getFrontVersion", {1, 0, 0, 0}},
    {"AuxVersion_getTavikDrvVersion", {2, 1, 0, 0}},
};

// About_get*(handle, buffer, length) with a buffer of kAboutBuffer bytes: argument bytes 12.
inline constexpr int32_t kAboutBuffer = 64;
struct AboutText {
    const char* function;
    const char* text;
};
inline constexpr AboutText kAboutTexts[] = {
    {"About_getMainPCBSerial", "A1234567"},       {"About_getUnitSerial", "U7654321"},
    {"About_getMainPCBArt", "PCB-2040-01"},       {"About_getMainManufacturingDate", "2026-03-14"},
    {"About_getMainHWversion", "C"},              {"About_getMainProdRev", "B2"},
    {"About_getMainProdArtNr", "TVK2-121-TS"},    {"About_getDisplayResolution", "1280x800"},
    {"About_getAddOnPCBSerial", "B2345678"},      {"About_getAddOnPCBArt", "PCB-2041-02"},
    {"About_getAddOnManufacturingDate", "2026-03-15"}, {"About_getAddOnHWversion", "A"},
};

// About_get*(handle, &value) with a uint8_t count or a bool flag: argument bytes 8.
struct AboutNumber {
    const char* function;
    bool flag; // bool out-parameter, else uint8_t
    int value;
};
inline constexpr AboutNumber kAboutNumbers[] = {
    {"About_getNrOfETHConnections", false, 2},   {"About_getNrOfCANConnections", false, 2},
    {"About_getNrOfVideoConnections", false, 2}, {"About_getNrOfUSBConnections", false, 2},
    {"About_getNrOfSerialConnections", false, 1}, {"About_getNrOfDigIOConnections", false, 4},
    {"About_getIsDisplayAvailable", true, 1},    {"About_getIsTouchScreenAvailable", true, 1},
    {"About_getIsWLANMounted", true, 1},         {"About_getIsGPSMounted", true, 1},
    {"About_getIsGPRSMounted", true, 1},         {"About_getIsBTMounted", true, 1},
};

// Backlight_setIntensity(handle, kBacklightLevel), then Backlight_getIntensity gives it back.
inline constexpr uint8_t kBacklightLevel = 77;

// A driver request as the unit's log shows it: code, input and output bytes in lower-case hex.
struct LoggedRequest {
    uint32_t code;
    const char* in;
    const char* out;
};

// The driver requests (opens excluded) of: GetAuxVersion, every version of kVersions in order,
// GetBacklight, setIntensity(kBacklightLevel), getIntensity.
inline constexpr LoggedRequest kVersionAndBacklightRequests[] = {
    {0x2224F0, "", "00040001"}, {0x2224F4, "", "01030000"}, {0x2224F8, "", "01000000"},
    {0x222598, "", "02010000"}, {0x22241C, "4d", ""},       {0x222418, "", "4d"},
};

// The FPGA job: an upgrade of kFpgaImageBytes bytes, then a verification of the same file, both
// blocking and both successful, make these requests (and the interface and switch ones).
inline constexpr size_t kFpgaImageBytes = 1056;
struct RequestCount {
    uint32_t code;
    int count;
};
inline constexpr RequestCount kFpgaJobRequests[] = {
    {0x222500, 2}, // program: two blocks of 528 bytes
    {0x222504, 4}, // read back: two blocks per job
    {0x222508, 4}, // configuration path: to the programming interface and back, per job
};

// The FPGA image: the same bytes on every build.
inline std::vector<uint8_t> fpgaImage() {
    std::vector<uint8_t> image(kFpgaImageBytes);
    uint32_t state = 12345;
    for (uint8_t& b : image) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    return image;
}

// The image as an FPGA image file: an extended address record, 16-byte data records, the end.
inline std::string fpgaHexFile(const std::vector<uint8_t>& image) {
    static const char digits[] = "0123456789ABCDEF";
    auto hex = [](std::string& s, unsigned v) {
        s += digits[(v >> 4) & 15];
        s += digits[v & 15];
    };
    std::string text = ":020000040000FA\n";
    for (size_t at = 0; at < image.size(); at += 16) {
        std::string line = ":10";
        unsigned sum = 0x10 + ((at >> 8) & 0xFF) + (at & 0xFF);
        hex(line, (at >> 8) & 0xFF);
        hex(line, at & 0xFF);
        hex(line, 0);
        for (size_t i = 0; i < 16; ++i) {
            const uint8_t b = at + i < image.size() ? image[at + i] : 0xFF;
            hex(line, b);
            sum += b;
        }
        hex(line, (0x100 - (sum & 0xFF)) & 0xFF);
        text += line + "\n";
    }
    return text + ":00000001FF\n";
}

} // namespace tavik::test::default_unit
