// The Diagnostic, Power and Config families through the DLL's exports on a machine without the
// auxiliary driver, with the stand-in Jida.dll beside the library for the CPU board's sensors.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "wtest.h"

namespace {

using Handle = void*;
using FactoryFn = Handle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(Handle);
using Word16Fn = int32_t(__stdcall*)(Handle, int16_t*);
using MinMaxFn = int32_t(__stdcall*)(Handle, int16_t*, int16_t*);
using NoArgFn = int32_t(__stdcall*)(Handle);
// The sensor index is one 32-bit word of which the low 8 bits count.
using PmTempFn = int32_t(__stdcall*)(Handle, uint32_t, int16_t*, int32_t*);
using GetIntFn = int32_t(__stdcall*)(Handle, int32_t*);
using SetWordFn = int32_t(__stdcall*)(Handle, uint32_t);
using GetDoubleFn = int32_t(__stdcall*)(Handle, double*);
using SetDoubleFn = int32_t(__stdcall*)(Handle, double);
using Rs485Fn = int32_t(__stdcall*)(Handle, int32_t, int32_t);

constexpr int32_t kSuccess = 0, kOpenFailed = 1, kNotSupported = 2, kInvalidParameter = 9, kGetTemp = 19;

using wtest::resolve;

std::wstring tempFolder(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring dir = std::wstring(base) + name + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// Ordinals of the board library calls made so far, from the stand-in's log.
std::string boardCalls(const std::wstring& board) {
    std::string path;
    for (wchar_t c : board + L"\\calls.log") path.push_back(static_cast<char>(c));
    std::ifstream in(path);
    std::string line, ordinals;
    while (std::getline(in, line)) ordinals += line.substr(0, line.find(' ')) + ",";
    return ordinals;
}

void diagnostic(HMODULE dll, const std::wstring& board) {
    wtest::group("diagnostic without the driver");
    const auto get = resolve<FactoryFn>(dll, "_GetDiagnostic@0");
    const auto release = resolve<ReleaseFn>(dll, "_Diagnostic_release@4");
    const auto ssTemp = resolve<Word16Fn>(dll, "_Diagnostic_getSSTemp@8");
    const auto minMax = resolve<MinMaxFn>(dll, "_Diagnostic_getMinMaxTemp@12");
    const auto clear = resolve<NoArgFn>(dll, "_Diagnostic_clearHwErrorStatus@4");
    const auto pmTemp = resolve<PmTempFn>(dll, "_Diagnostic_getPMTemp@16");
    if (!get || !release || !ssTemp || !minMax || !clear || !pmTemp) return;
    const Handle h = get();
    CHECK(h != nullptr);
    CHECK_EQ(get(), h); // shared
    int16_t t = 77, lo = 77, hi = 77;
    CHECK_EQ(ssTemp(h, &t), kOpenFailed);
    CHECK_EQ(ssTemp(h, &t), kOpenFailed); // retried, still missing
    CHECK_EQ(minMax(h, &lo, &hi), kOpenFailed);
    CHECK_EQ(clear(h), kOpenFailed);
    CHECK(t == 77 && lo == 77 && hi == 77);
    CHECK_EQ(ssTemp(nullptr, &t), kInvalidParameter);

    wtest::group("diagnostic: PM temperature through the board library");
    int32_t type = 0;
    CHECK_EQ(pmTemp(h, 0x101, &t, &type), kSuccess); // sensor 1
    CHECK_EQ(t, 38);
    CHECK_EQ(type, 2);
    CHECK(boardCalls(board).find("79,81,80,") != std::string::npos);
    t = 77;
    CHECK_EQ(pmTemp(h, 2, &t, &type), kGetTemp); // index == count
    SetEnvironmentVariableW(L"TAVIK_BOARD_LIBRARY", L"unusable");
    CHECK_EQ(pmTemp(h, 0, &t, &type), kGetTemp);
    SetEnvironmentVariableW(L"TAVIK_BOARD_LIBRARY", nullptr);
    CHECK_EQ(t, 77);
    // The I2C lock came back on every path.
    const HANDLE lock = CreateSemaphoreA(nullptr, 1, 1, "JIDA_I2C");
    CHECK(lock != nullptr && WaitForSingleObject(lock, 0) == WAIT_OBJECT_0);
    if (lock != nullptr) {
        ReleaseSemaphore(lock, 1, nullptr);
        CloseHandle(lock);
    }
    release(h);
    release(h);
}

void power(HMODULE dll) {
    wtest::group("power without the driver");
    const auto get = resolve<FactoryFn>(dll, "_GetPower@0");
    const auto release = resolve<ReleaseFn>(dll, "_Power_release@4");
    const auto can = resolve<GetIntFn>(dll, "_Power_getCanPowerStatus@8");
    const auto video = resolve<SetWordFn>(dll, "_Power_setVideoPowerStatus@8");
    const auto ocd = resolve<GetIntFn>(dll, "_Power_getVideoOCDStatus@8");
    const auto transition = resolve<GetIntFn>(dll, "_Power_getButtonPowerTransitionStatus@8");
    const auto ack = resolve<NoArgFn>(dll, "_Power_ackPowerRequest@4");
    if (!get || !release || !can || !video || !ocd || !transition || !ack) return;
    const Handle h = get();
    const Handle other = get();
    CHECK(h != nullptr && other != nullptr && other != h); // fresh objects
    release(other);
    int32_t status = 77;
    CHECK_EQ(can(h, &status), kOpenFailed);
    CHECK_EQ(video(h, 0x10F), kOpenFailed);
    CHECK_EQ(transition(h, &status), kOpenFailed); // the open comes before the version gate
    CHECK_EQ(ack(h), kOpenFailed);
    CHECK_EQ(ocd(h, &status), kNotSupported);
    CHECK_EQ(status, 77);
    release(h);
}

void config(HMODULE dll, const std::wstring& board) {
    wtest::group("config without the driver");
    CHECK(GetProcAddress(dll, "GetConfig") == nullptr); // decorated name only
    const auto get = resolve<FactoryFn>(dll, "_GetConfig@0");
    const auto release = resolve<ReleaseFn>(dll, "_Config_release@4");
    const auto getVolts = resolve<GetDoubleFn>(dll, "_Config_getStartupVoltageConfig@8");
    const auto setVolts = resolve<SetDoubleFn>(dll, "_Config_setStartupVoltageConfig@12");
    const auto rs485 = resolve<Rs485Fn>(dll, "_Config_setRS485Enabled@12");
    if (!get || !release || !getVolts || !setVolts || !rs485) return;
    const Handle h = get();
    CHECK(h != nullptr);
    CHECK_EQ(get(), h);
    double volts = 1.5;
    CHECK_EQ(getVolts(h, &volts), kOpenFailed);
    CHECK_EQ(setVolts(h, 12.0), kOpenFailed);
    CHECK_EQ(setVolts(h, std::nan("")), kOpenFailed);
    CHECK_EQ(rs485(h, 0, 1), kNotSupported);
    CHECK(volts == 1.5);

    wtest::group("config: the last release ends the board library session");
    const std::string before = boardCalls(board);
    release(h);
    CHECK_EQ(boardCalls(board), before);
    release(h);
    const std::string after = boardCalls(board);
    CHECK(after.size() > before.size() && after.substr(before.size()) == "4,");
}

} // namespace

int main() {
    const std::wstring board = tempFolder(L"tavik-supervisor-board-");
    SetEnvironmentVariableW(L"TAVIK_BOARD_DIR", board.c_str());
    DeleteFileW((board + L"\\calls.log").c_str());

    const HMODULE dll = LoadLibraryW(L"Tavik2.dll");
    if (CHECK(dll != nullptr)) {
        diagnostic(dll, board);
        {
            // Power's support flags come from About: a unit with CAN and video.
            std::ofstream out(std::string(board.begin(), board.end()) + "\\main.bin", std::ios::binary | std::ios::trunc);
            out << "CAN:2\r\nVIDEO:2\r\nDISPLAY:1280x800\r\n";
        }
        power(dll);
        DeleteFileW((board + L"\\main.bin").c_str());
        config(dll, board);
        FreeLibrary(dll);
    }
    DeleteFileW((board + L"\\calls.log").c_str());
    RemoveDirectoryW(board.c_str());
    return wtest::summary();
}
