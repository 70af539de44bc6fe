// sim_remote_wtest: Tavik2.dll under wine with TAVIK_SIM set, against `tavikctl sim serve` of
// the host build (started by run-sim-remote-wtest.sh on a fresh unit with the default profile).
//
//   sim_remote_wtest.exe WORKDIR DEAD_PORT  the checks below; writes WORKDIR\expected.txt for the
//                                    script, which compares it with the unit's request log
//   sim_remote_wtest.exe --absent    (child, TAVIK_SIM naming a port nobody serves) every family
//                                    answers as on a machine without the hardware
//   sim_remote_wtest.exe --local     (child, TAVIK_SIM unset) the same, and the DLL never
//                                    started Winsock
//
// The script set two faults before the start: the first SS version read replies 9.8.7.6, and the
// first supervisor temperature read replies as tests/shared/family_cases.h says. The DLL
// reaches the server through a proxy of the script that breaks the connections when asked.
// The expected answers are the host suite's (tests/shared/default_unit_cases.h and, for the other
// families, tests/shared/family_cases.h).
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shared/default_unit_cases.h"
#include "shared/family_cases.h"
#include "signals/can_setting.h"
#include "wtest.h"

namespace {

namespace cases = tavik::test::default_unit;

constexpr int32_t kSuccess = 0;
constexpr int32_t kOpenFailed = 1;
constexpr int32_t kIoctrlFailed = 7;
constexpr int32_t kEeprom = 18;

// The SS version the fault set by the script makes the first read give, and its log entry.
constexpr uint8_t kFaultVersion[4] = {9, 8, 7, 6};
const cases::LoggedRequest kFaultRequest = {0x2224F4, "", "09080706"};

struct Export {
    int ordinal;
    const char* name;
    int bytes;
    bool twin;
};
#define TWIN true
#define NO_TWIN false
#define BUILT_EXPORT(ordinal, name, bytes, twin) {ordinal, #name, bytes, twin},
const Export kExports[] = {
#include "built_exports.inc"
};

HMODULE gDll = nullptr;

// An export by its stdcall name _Name@N, checked to be the entry at its ordinal and (when it
// has one) the plain twin name too.
template <class F>
F exported(const char* name) {
    for (const Export& e : kExports) {
        if (std::string(e.name) != name) continue;
        const std::string decorated = "_" + std::string(name) + "@" + std::to_string(e.bytes);
        const FARPROC byName = GetProcAddress(gDll, decorated.c_str());
        const FARPROC byOrdinal = GetProcAddress(gDll, MAKEINTRESOURCEA(e.ordinal));
        CHECK(byName != nullptr && byName == byOrdinal);
        if (e.twin) CHECK(GetProcAddress(gDll, name) == byName);
        return reinterpret_cast<F>(reinterpret_cast<void*>(byName));
    }
    CHECK(!"export not built");
    std::printf("  missing: %s\n", name);
    return nullptr;
}

using Handle = void*;
using FactoryFn = Handle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(Handle);
using VersionFn = int32_t(__stdcall*)(Handle, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
using TextFn = int32_t(__stdcall*)(Handle, char*, int32_t);
using CountFn = int32_t(__stdcall*)(Handle, uint8_t*);
using FlagFn = int32_t(__stdcall*)(Handle, bool*);
using SetLevelFn = int32_t(__stdcall*)(Handle, uint8_t);
using GetLevelFn = int32_t(__stdcall*)(Handle, uint8_t*);
using StartFn = int32_t(__stdcall*)(Handle, const char*, bool);
using ShutDownFn = int32_t(__stdcall*)(Handle);

bool sameVersion(const uint8_t (&a)[4], const uint8_t (&b)[4]) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

int32_t readVersion(const char* function, Handle aux, uint8_t (&v)[4]) {
    return exported<VersionFn>(function)(aux, &v[0], &v[1], &v[2], &v[3]);
}

// The fault, then every version and the backlight level: the requests of the log comparison.
void checkVersionsAndBacklight() {
    wtest::group("versions");
    const Handle aux = exported<FactoryFn>("GetAuxVersion")();
    if (!CHECK(aux != nullptr)) return;
    uint8_t v[4] = {};
    CHECK_EQ(readVersion("AuxVersion_getSSVersion", aux, v), kSuccess);
    CHECK(sameVersion(v, kFaultVersion)); // the host's fault, seen through the DLL
    for (const cases::VersionCase& c : cases::kVersions) {
        uint8_t got[4] = {};
        CHECK_EQ(readVersion(c.function, aux, got), kSuccess);
        if (!CHECK(sameVersion(got, c.version))) std::printf("  %s\n", c.function);
    }
    exported<ReleaseFn>("AuxVersion_release")(aux);

    wtest::group("backlight");
    const Handle backlight = exported<FactoryFn>("GetBacklight")();
    if (!CHECK(backlight != nullptr)) return;
    CHECK_EQ(exported<SetLevelFn>("Backlight_setIntensity")(backlight, cases::kBacklightLevel), kSuccess);
    uint8_t level = 0;
    CHECK_EQ(exported<GetLevelFn>("Backlight_getIntensity")(backlight, &level), kSuccess);
    CHECK_EQ(level, cases::kBacklightLevel);
    exported<ReleaseFn>("Backlight_release")(backlight);
}

// The identity records through the board library calls the server plays.
void checkAbout() {
    wtest::group("about");
    const Handle about = exported<FactoryFn>("GetAbout")();
    if (!CHECK(about != nullptr)) return;
    for (const cases::AboutText& c : cases::kAboutTexts) {
        char text[cases::kAboutBuffer] = {};
        CHECK_EQ(exported<TextFn>(c.function)(about, text, cases::kAboutBuffer), kSuccess);
        if (!CHECK_STREQ(text, c.text)) std::printf("  %s\n", c.function);
    }
    for (const cases::AboutNumber& c : cases::kAboutNumbers) {
        int value = -1;
        if (c.flag) {
            bool flag = false;
            CHECK_EQ(exported<FlagFn>(c.function)(about, &flag), kSuccess);
            value = flag;
        } else {
            uint8_t count = 0;
            CHECK_EQ(exported<CountFn>(c.function)(about, &count), kSuccess);
            value = count;
        }
        if (!CHECK_EQ(value, c.value)) std::printf("  %s\n", c.function);
    }
    exported<ReleaseFn>("About_release")(about);
}

// An FPGA upgrade and then a verification of the same image file.
void checkFpgaJob(const std::string& workDir) {
    wtest::group("fpga");
    const std::string file = workDir + "\\fpga.hex";
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!CHECK(f != nullptr)) return;
    const std::string text = cases::fpgaHexFile(cases::fpgaImage());
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    const Handle job = exported<FactoryFn>("GetFirmwareUpgrade")();
    if (!CHECK(job != nullptr)) return;
    CHECK_EQ(exported<StartFn>("FirmwareUpgrade_startFpgaUpgrade")(job, file.c_str(), true), kSuccess);
    CHECK_EQ(exported<StartFn>("FirmwareUpgrade_startFpgaVerification")(job, file.c_str(), true), kSuccess);
    exported<ReleaseFn>("FirmwareUpgrade_release")(job);
}

// Calls an export with one 32-bit stack word per argument, as its stdcall decoration says.
int32_t invokeWords(const char* function, const uintptr_t* w, size_t count) {
    using W = uintptr_t;
    for (const Export& e : kExports)
        if (std::string(e.name) == function && !CHECK_EQ(static_cast<size_t>(e.bytes), 4 * count)) return -1;
    void* const p = exported<void*>(function);
    if (p == nullptr) return -1;
    switch (count) {
    case 1: return reinterpret_cast<int32_t(__stdcall*)(W)>(p)(w[0]);
    case 2: return reinterpret_cast<int32_t(__stdcall*)(W, W)>(p)(w[0], w[1]);
    case 3: return reinterpret_cast<int32_t(__stdcall*)(W, W, W)>(p)(w[0], w[1], w[2]);
    case 4: return reinterpret_cast<int32_t(__stdcall*)(W, W, W, W)>(p)(w[0], w[1], w[2], w[3]);
    case 5: return reinterpret_cast<int32_t(__stdcall*)(W, W, W, W, W)>(p)(w[0], w[1], w[2], w[3], w[4]);
    }
    return -1;
}

// The CAN channels' keys as an installed CAN driver leaves them (install), or gone again. The DLL
// keeps the CAN settings in the real registry, wine's here, where no driver made them.
void canDriverKeys(bool install) {
    for (int device = 0; device < 2; ++device) {
        char path[256];
        std::snprintf(path, sizeof path, tavik::signals::kCanKeyFormat, device);
        if (!install) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
            continue;
        }
        HKEY key = nullptr;
        if (CHECK_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                     ERROR_SUCCESS))
            RegCloseKey(key);
    }
}

// Every other family's cases, the first seeing the script's temperature fault.
void checkFamilies() {
    canDriverKeys(true);
    for (const cases::Family& f : cases::kFamilies) {
        wtest::group(f.factory);
        const Handle h = exported<FactoryFn>(f.factory)();
        if (!CHECK(h != nullptr)) continue;
        const std::vector<std::string> failures = cases::runFamily(f, h, invokeWords);
        for (const std::string& failure : failures) wtest::record(false, __FILE__, __LINE__, failure);
        CHECK_EQ(failures.size(), 0u);
        exported<ReleaseFn>(f.release)(h);
    }
    canDriverKeys(false);
}

// A connection that breaks: the script's proxy cuts it when asked (WORKDIR\cut). A device opened
// on it fails from then on; the next open connects again.
void checkReconnect(const std::string& workDir) {
    wtest::group("reconnect");
    const Handle aux = exported<FactoryFn>("GetAuxVersion")();
    if (!CHECK(aux != nullptr)) return;
    uint8_t v[4] = {};
    CHECK_EQ(readVersion("AuxVersion_getFPGAVersion", aux, v), kSuccess);
    const std::string cut = workDir + "\\cut";
    if (FILE* f = std::fopen(cut.c_str(), "wb")) std::fclose(f);
    bool done = false;
    for (int i = 0; i < 3000 && !done; ++i) {
        done = GetFileAttributesA((cut + ".done").c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!done) Sleep(10);
    }
    if (!CHECK(done)) return;
    CHECK_EQ(readVersion("AuxVersion_getFPGAVersion", aux, v), kIoctrlFailed);
    exported<ReleaseFn>("AuxVersion_release")(aux);
    const Handle again = exported<FactoryFn>("GetAuxVersion")();
    if (!CHECK(again != nullptr)) return;
    uint8_t got[4] = {};
    CHECK_EQ(readVersion("AuxVersion_getFPGAVersion", again, got), kSuccess);
    CHECK(sameVersion(got, cases::kVersions[0].version));
    exported<ReleaseFn>("AuxVersion_release")(again);
}

// What the script looks for in the unit's log: this process's id, its driver requests in order
// (opens excluded) from the first on, and request counts over all of them.
bool writeExpectations(const std::string& workDir) {
    FILE* f = std::fopen((workDir + "\\expected.txt").c_str(), "wb");
    if (f == nullptr) return false;
    std::fprintf(f, "pid %lu\n", GetCurrentProcessId());
    auto request = [f](const cases::LoggedRequest& r) { std::fprintf(f, "request %u %s %s\n", r.code, r.in, r.out); };
    request(kFaultRequest);
    for (const cases::LoggedRequest& r : cases::kVersionAndBacklightRequests) request(r);
    for (const cases::RequestCount& c : cases::kFpgaJobRequests) std::fprintf(f, "count %u %d\n", c.code, c.count);
    return std::fclose(f) == 0;
}

// Whether some code of this process started Winsock (sockets can be made without WSAStartup).
bool winsockStarted() {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return WSAGetLastError() != WSANOTINITIALISED;
    closesocket(s);
    return true;
}

// Without a server, or without TAVIK_SIM on a machine without the unit: no driver, no board
// library, no service. Only with TAVIK_SIM set did the DLL use Winsock.
int checkAbsent(bool remote) {
    wtest::group(remote ? "no server" : "no TAVIK_SIM");
    const Handle aux = exported<FactoryFn>("GetAuxVersion")();
    if (CHECK(aux != nullptr)) {
        uint8_t v[4] = {0xAB, 0xAB, 0xAB, 0xAB};
        CHECK_EQ(readVersion("AuxVersion_getFPGAVersion", aux, v), kOpenFailed);
        CHECK_EQ(v[0], 0xAB);
        exported<ReleaseFn>("AuxVersion_release")(aux);
    }
    const Handle about = exported<FactoryFn>("GetAbout")();
    if (CHECK(about != nullptr)) {
        char text[cases::kAboutBuffer] = {};
        CHECK_EQ(exported<TextFn>("About_getMainPCBSerial")(about, text, cases::kAboutBuffer), kEeprom);
        exported<ReleaseFn>("About_release")(about);
    }
    const Handle job = exported<FactoryFn>("GetFirmwareUpgrade")();
    if (CHECK(job != nullptr)) {
        CHECK_EQ(exported<ShutDownFn>("FirmwareUpgrade_shutDown")(job), kOpenFailed);
        exported<ReleaseFn>("FirmwareUpgrade_release")(job);
    }
    CHECK_EQ(winsockStarted(), remote);
    return wtest::summary();
}

// This program again with `mode` and TAVIK_SIM set to `sim` (null: unset).
void checkInChild(const char* mode, const char* sim) {
    wtest::group(mode);
    char self[MAX_PATH];
    if (!CHECK(GetModuleFileNameA(nullptr, self, MAX_PATH) > 0)) return;
    std::string command = "\"" + std::string(self) + "\" " + mode;
    SetEnvironmentVariableA("TAVIK_SIM", sim);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (!CHECK(started)) return;
    CHECK_EQ(WaitForSingleObject(pi.hProcess, 300000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CHECK_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

} // namespace

int main(int argc, char** argv) {
    gDll = LoadLibraryW(L"Tavik2.dll");
    if (!CHECK(gDll != nullptr)) return wtest::summary();
    if (argc >= 2 && std::string(argv[1]) == "--absent") return checkAbsent(true);
    if (argc >= 2 && std::string(argv[1]) == "--local") return checkAbsent(false);
    if (!CHECK(argc >= 3)) {
        std::printf("usage: sim_remote_wtest WORKDIR DEAD_PORT | --absent | --local\n");
        return wtest::summary();
    }
    char sim[128] = {};
    CHECK(GetEnvironmentVariableA("TAVIK_SIM", sim, sizeof sim) > 0);
    const std::string workDir = argv[1];
    checkVersionsAndBacklight();
    checkAbout();
    checkFpgaJob(workDir);
    CHECK(writeExpectations(workDir));
    checkFamilies();
    checkReconnect(workDir);
    checkInChild("--absent", ("127.0.0.1:" + std::string(argv[2])).c_str());
    checkInChild("--local", nullptr);
    return wtest::summary();
}
