// The CAN settings through the DLL's exports against the real registry: the values are written
// under the CAN driver's keys with their exact types and sizes, read back directly and with
// "reg query", and a key that is missing is never created. The unit has two CAN connections (an
// EEPROM image for the stand-in Jida.dll) and no auxiliary driver, so the driver-backed families
// show their refusals in the order they check.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "wtest.h"

namespace {

using Handle = void*;
using FactoryFn = Handle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(Handle);
using GetBaudrateFn = int32_t(__stdcall*)(Handle, uint8_t, uint16_t*);
using SetBaudrateFn = int32_t(__stdcall*)(Handle, uint8_t, uint16_t);
using GetFrameTypeFn = int32_t(__stdcall*)(Handle, uint8_t, int32_t*);
using SetFrameTypeFn = int32_t(__stdcall*)(Handle, uint8_t, int32_t);
using IntOutFn = int32_t(__stdcall*)(Handle, int32_t*);
using IntInFn = int32_t(__stdcall*)(Handle, int32_t);
using SettingFn = int32_t(__stdcall*)(Handle, int32_t, uint16_t);
using VoltageFn = int32_t(__stdcall*)(Handle, int32_t, double*);
using ByteOutFn = int32_t(__stdcall*)(Handle, uint8_t*);

constexpr int32_t kSuccess = 0, kOpenFailed = 1, kNotSupported = 2, kInvalidData = 8,
                  kInvalidParameter = 9, kNewerFront = 27;

const wchar_t kCanKey[] = L"SYSTEM\\CurrentControlSet\\Services\\CanXilinxQX\\Parameters";
const char kMainRecords[] = "DATA:2\r\nCAN:2\r\nCAN_FPGA:0\r\nDIGIO:4\r\nDISPLAY:800x480\r\nTOUCH:1\r\n";

using wtest::resolve;

std::wstring deviceKey(int n) { return std::wstring(kCanKey) + L"\\Device" + std::to_wstring(n); }

std::wstring tempFolder(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring dir = std::wstring(base) + name + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// The keys an installed CAN driver leaves: Device0 only here, so channel 2's key is missing.
void installDriverKeys() {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, deviceKey(1).c_str());
    HKEY key = nullptr;
    if (!CHECK_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, deviceKey(0).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS))
        return;
    const wchar_t rate[] = L"125000";
    const wchar_t mode[] = L"Standard";
    RegSetValueExW(key, L"BaudRate", 0, REG_SZ, reinterpret_cast<const BYTE*>(rate), sizeof rate);
    RegSetValueExW(key, L"Mode", 0, REG_SZ, reinterpret_cast<const BYTE*>(mode), sizeof mode);
    RegCloseKey(key);
}

struct Stored {
    DWORD type = 0;
    DWORD size = 0;
    std::wstring text;
};

Stored readValue(int device, const wchar_t* name) {
    Stored s;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, deviceKey(device).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return s;
    BYTE data[600] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, name, nullptr, &s.type, data, &size) == ERROR_SUCCESS) {
        s.size = size;
        s.text = reinterpret_cast<const wchar_t*>(data);
    }
    RegCloseKey(key);
    return s;
}

bool keyExists(int device) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, deviceKey(device).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// What "reg query" prints for the first device's key: reg.exe run directly, without a shell (under
// emulation every process takes a minute to start).
std::string regQueryDevice0() {
    std::wstring line = L"reg.exe query \"HKLM\\" + deviceKey(0) + L"\"";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char buf[512];
        DWORD n = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return out;
}

// The line of `text` that names `value`.
std::string lineOf(const std::string& text, const char* value) {
    const size_t at = text.find(value);
    if (at == std::string::npos) return {};
    const size_t end = text.find('\n', at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

void canSettings(HMODULE dll) {
    const auto get = resolve<FactoryFn>(dll, "_GetCanSetting@0");
    const auto release = resolve<ReleaseFn>(dll, "_CanSetting_release@4");
    const auto getBaudrate = resolve<GetBaudrateFn>(dll, "_CanSetting_getBaudrate@12");
    const auto setBaudrate = resolve<SetBaudrateFn>(dll, "_CanSetting_setBaudrate@12");
    const auto getFrameType = resolve<GetFrameTypeFn>(dll, "_CanSetting_getFrameType@12");
    const auto setFrameType = resolve<SetFrameTypeFn>(dll, "_CanSetting_setFrameType@12");
    if (!get || !release || !getBaudrate || !setBaudrate || !getFrameType || !setFrameType) return;
    Handle h = get();
    if (!CHECK(h != nullptr)) return;

    wtest::group("CAN values as the driver installed them");
    uint16_t kbit = 0;
    int32_t frame = -1;
    CHECK_EQ(getBaudrate(h, 1, &kbit), kSuccess);
    CHECK_EQ(kbit, 125);
    CHECK_EQ(getFrameType(h, 1, &frame), kSuccess);
    CHECK_EQ(frame, 0);

    wtest::group("CAN values written with their types and sizes");
    CHECK_EQ(setBaudrate(h, 1, 250), kSuccess);
    CHECK_EQ(setFrameType(h, 1, 2), kSuccess);
    const Stored rate = readValue(0, L"BaudRate");
    CHECK_EQ(rate.type, static_cast<DWORD>(REG_SZ));
    CHECK_EQ(rate.size, 40u);
    CHECK(rate.text == L"250000");
    const Stored mode = readValue(0, L"Mode");
    CHECK_EQ(mode.type, static_cast<DWORD>(REG_SZ));
    CHECK_EQ(mode.size, 255u);
    CHECK(mode.text == L"Standard, Extended");
    CHECK_EQ(getBaudrate(h, 1, &kbit), kSuccess);
    CHECK_EQ(kbit, 250);
    CHECK_EQ(getFrameType(h, 1, &frame), kSuccess);
    CHECK_EQ(frame, 2);

    wtest::group("reg query reads the values back");
    const std::string query = regQueryDevice0();
    const std::string rateLine = lineOf(query, "BaudRate"), modeLine = lineOf(query, "Mode");
    CHECK(contains(rateLine, "REG_SZ") && contains(rateLine, "250000"));
    CHECK(contains(modeLine, "REG_SZ") && contains(modeLine, "Standard, Extended"));
    if (!contains(rateLine, "250000")) std::printf("reg query printed: %s\n", query.c_str());

    wtest::group("channel bounds and a missing key");
    CHECK_EQ(setBaudrate(h, 1, 1001), kInvalidParameter);
    CHECK_EQ(setBaudrate(h, 0, 125), kInvalidParameter);
    CHECK_EQ(getBaudrate(h, 3, &kbit), kInvalidParameter); // two CAN connections
    CHECK_EQ(getBaudrate(h, 2, &kbit), kNotSupported);     // Device1 is not there
    CHECK_EQ(setBaudrate(h, 2, 125), kOpenFailed);
    CHECK_EQ(setFrameType(h, 2, 1), kOpenFailed);
    CHECK(!keyExists(1)); // the setters never create a key
    release(h);
}

// No auxiliary driver and so no readable firmware versions.
void withoutTheDriver(HMODULE dll) {
    wtest::group("touch screen without the driver");
    const auto getTouch = resolve<FactoryFn>(dll, "_GetTouchScreen@0");
    const auto releaseTouch = resolve<ReleaseFn>(dll, "_TouchScreen_release@4");
    const auto getMode = resolve<IntOutFn>(dll, "_TouchScreen_getMode@8");
    const auto setAdvanced = resolve<SettingFn>(dll, "_TouchScreen_setAdvancedSetting@12");
    if (getTouch && releaseTouch && getMode && setAdvanced) {
        Handle t = getTouch();
        int32_t mode = 0;
        CHECK_EQ(getMode(t, &mode), kOpenFailed);       // the driver is checked first
        CHECK_EQ(setAdvanced(t, 1, 0), kNewerFront);    // support and version before the driver
        releaseTouch(t);
    }

    wtest::group("calibration without the driver");
    const auto getCalib = resolve<FactoryFn>(dll, "_GetTouchScreenCalib@0");
    const auto releaseCalib = resolve<ReleaseFn>(dll, "_TouchScreenCalib_release@4");
    const auto setCalibMode = resolve<IntInFn>(dll, "_TouchScreenCalib_setMode@8");
    if (getCalib && releaseCalib && setCalibMode) {
        Handle c = getCalib();
        CHECK_EQ(setCalibMode(c, 5), kInvalidData);
        CHECK_EQ(setCalibMode(c, 1), kOpenFailed);
        releaseCalib(c);
    }

    wtest::group("inputs and voltages without the driver");
    const auto getAdc = resolve<FactoryFn>(dll, "_GetAdc@0");
    const auto releaseAdc = resolve<ReleaseFn>(dll, "_Adc_release@4");
    const auto getVoltage = resolve<VoltageFn>(dll, "_Adc_getVoltage@12");
    const auto getDigIO = resolve<FactoryFn>(dll, "_GetDigIO@0");
    const auto releaseDigIO = resolve<ReleaseFn>(dll, "_DigIO_release@4");
    const auto readInputs = resolve<ByteOutFn>(dll, "_DigIO_getDigIO@8");
    const auto writeOutputs = resolve<IntInFn>(dll, "_DigIO_setDigIO@8");
    if (getAdc && releaseAdc && getVoltage) {
        Handle a = getAdc();
        double v = -1.0;
        CHECK_EQ(getVoltage(a, 0, &v), kOpenFailed);
        CHECK_EQ(getVoltage(a, 11, &v), kNotSupported); // supervisor version unknown
        CHECK_EQ(getVoltage(a, 16, &v), kNotSupported);
        CHECK(v == -1.0);
        releaseAdc(a);
    }
    if (getDigIO && releaseDigIO && readInputs && writeOutputs) {
        Handle d = getDigIO();
        uint8_t inputs = 0xEE;
        CHECK_EQ(readInputs(d, &inputs), kOpenFailed);
        CHECK_EQ(inputs, 0xEE);
        CHECK_EQ(writeOutputs(d, 1), kNotSupported);
        releaseDigIO(d);
    }
}

} // namespace

int main() {
    const std::wstring board = tempFolder(L"tavik-signals-board-");
    SetEnvironmentVariableW(L"TAVIK_BOARD_DIR", board.c_str());
    {
        std::ofstream out(std::string(board.begin(), board.end()) + "\\main.bin", std::ios::binary | std::ios::trunc);
        out << kMainRecords;
    }
    installDriverKeys();

    const HMODULE dll = LoadLibraryW(L"Tavik2.dll");
    if (CHECK(dll != nullptr)) {
        canSettings(dll);
        withoutTheDriver(dll);
    }

    RegDeleteKeyW(HKEY_LOCAL_MACHINE, deviceKey(0).c_str());
    DeleteFileW((board + L"\\main.bin").c_str());
    DeleteFileW((board + L"\\calls.log").c_str());
    RemoveDirectoryW(board.c_str());
    return wtest::summary();
}
