// The system supervisor upgraded and verified through Tavik2.dll on "COM1", which wine maps to
// the terminal of the simulated bootloader (run-serial-wtest.sh sets that up). There is no
// auxiliary driver under wine: the switching requests fail unseen, as their results are not
// checked, and the bootloader answers on the line anyway.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "wtest.h"

namespace {

using Handle = void*;
using GetFn = Handle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(Handle);
using StartFn = int32_t(__stdcall*)(Handle, const char*, bool);
struct Status {
    int32_t action;
    uint8_t percent;
    int32_t result;
};
using StatusFn = int32_t(__stdcall*)(Handle, Status*, bool);

constexpr int32_t kDone = 6;

std::string programFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p = path;
    return p.substr(0, p.find_last_of("\\/") + 1);
}

// 40 KiB at the start of the flash, as an Intel HEX file padded to the supervisor's minimum size.
std::string writeImage(const std::string& path) {
    std::string text = ":020000040800F2\r\n";
    char buf[64];
    for (uint32_t at = 0; at < 40 * 1024; at += 16) {
        uint8_t sum = static_cast<uint8_t>(16 + (at >> 8) + at);
        std::snprintf(buf, sizeof buf, ":10%04X00", unsigned(at & 0xFFFF));
        text += buf;
        for (uint32_t i = 0; i < 16; ++i) {
            const uint8_t b = static_cast<uint8_t>((at + i) * 13 + ((at + i) >> 8));
            std::snprintf(buf, sizeof buf, "%02X", b);
            text += buf;
            sum = static_cast<uint8_t>(sum + b);
        }
        std::snprintf(buf, sizeof buf, "%02X\r\n", unsigned(uint8_t(-sum)));
        text += buf;
    }
    text += ":00000001FF\r\n";
    if (text.size() < 95000) text.append(95000 - text.size(), '\n');
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return {};
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
}

} // namespace

// With "unknown-id": the bootloader announces product id 0x413, which is not in the device table;
// the verification must fail as an upgrade does (result 8, failed at 0 %) without reading flash.
int verifyUnknownProduct(HMODULE dll, const std::string& image) {
    const auto get = wtest::resolve<GetFn>(dll, "_GetFirmwareUpgrade@0");
    const auto release = wtest::resolve<ReleaseFn>(dll, "_FirmwareUpgrade_release@4");
    const auto verify = wtest::resolve<StartFn>(dll, "_FirmwareUpgrade_startSSVerification@12");
    const auto status = wtest::resolve<StatusFn>(dll, "_FirmwareUpgrade_getUpgradeStatus@12");
    if (!get || !release || !verify || !status) return wtest::summary();
    wtest::group("verification against product id 0x413");
    Handle h = get();
    CHECK_EQ(verify(h, image.c_str(), true), 8);
    Status s{-1, 0xAB, -1};
    CHECK_EQ(status(h, &s, false), 0);
    CHECK_EQ(s.action, kDone + 1);
    CHECK_EQ(static_cast<int>(s.percent), 0);
    CHECK_EQ(s.result, 8);
    release(h);
    return wtest::summary();
}

int main(int argc, char** argv) {
    HMODULE dll = LoadLibraryW(L"Tavik2.dll");
    if (!CHECK(dll != nullptr)) return wtest::summary();
    const auto get = wtest::resolve<GetFn>(dll, "_GetFirmwareUpgrade@0");
    const auto release = wtest::resolve<ReleaseFn>(dll, "_FirmwareUpgrade_release@4");
    const auto upgrade = wtest::resolve<StartFn>(dll, "_FirmwareUpgrade_startSSUpgrade@12");
    const auto verify = wtest::resolve<StartFn>(dll, "_FirmwareUpgrade_startSSVerification@12");
    const auto status = wtest::resolve<StatusFn>(dll, "_FirmwareUpgrade_getUpgradeStatus@12");
    if (!get || !release || !upgrade || !verify || !status) return wtest::summary();

    const std::string image = writeImage(programFolder() + "ss_image.hex");
    if (!CHECK(!image.empty())) return wtest::summary();
    if (argc > 1 && std::string(argv[1]) == "unknown-id") return verifyUnknownProduct(dll, image);

    Handle h = get();
    wtest::group("blocking upgrade");
    CHECK_EQ(upgrade(h, image.c_str(), true), 0);
    Status s{-1, 0xAB, -1};
    CHECK_EQ(status(h, &s, false), 0);
    CHECK_EQ(s.action, kDone);
    CHECK_EQ(s.result, 0);

    // A job in its own thread, followed to its end through the status.
    wtest::group("verification in a job thread");
    CHECK_EQ(verify(h, image.c_str(), false), 0);
    for (int i = 0; i < 100000 && !(s.action == kDone || s.action == kDone + 1); ++i) status(h, &s, true);
    CHECK_EQ(s.action, kDone);
    CHECK_EQ(s.result, 0);
    release(h);
    return wtest::summary();
}
