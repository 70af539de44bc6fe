// The About family through the DLL's exports with the stand-in board library Jida.dll beside
// the program: the identity records come from EEPROM images in a board folder, read through the
// library's calls by ordinal. Then, in child processes, without the library (a copy of the
// program and Tavik2.dll in a folder without Jida.dll) and with a library that is not usable:
// every text operation gives ERR_EEPROM (18) and the two sums 0.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "wtest.h"

namespace {

using AboutHandle = void*;
using GetAboutFn = AboutHandle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(AboutHandle);
using TextFn = int32_t(__stdcall*)(AboutHandle, char*, int32_t);
using CountFn = int32_t(__stdcall*)(AboutHandle, uint8_t*);
using FlagFn = int32_t(__stdcall*)(AboutHandle, bool*);

constexpr int32_t kSuccess = 0;
constexpr int32_t kBufferSize = 6;
constexpr int32_t kEeprom = 18;

const char kMainRecords[] =
    "PCB_SERIAL:W1000001\r\nUNIT_SERIAL:WU200002\r\nPCB_ART:PCB-2040-01\r\nDATE:2026-05-01\r\n"
    "DATA:2\r\nPCB_REV:D\r\nPROD_REV:B3\r\nPROD_ART:TVK2-121-TS\r\nETH_USB:1\r\nETH:2\r\nCAN:2\r\n"
    "CAN_FPGA:1\r\nVIDEO:2\r\nUSBHOST:3\r\nRS232:2\r\nDIGIO:4\r\nDISPLAY:800x480\r\nTOUCH:2\r\n";
const char kAddOnRecords[] =
    "PCB_SERIAL:WB300003\r\nPCB_ART:PCB-2041-02\r\nDATE:2026-05-02\r\nPCB_REV:B\r\nWLAN:1\r\nGPS:0\r\n"
    "GSM:1\r\nBLUETOOTH:0\r\n";

struct TextOp {
    const char* name;
    const char* expected;
};
const TextOp kTexts[] = {
    {"_About_getMainPCBSerial@12", "W1000001"},       {"_About_getUnitSerial@12", "WU200002"},
    {"_About_getMainPCBArt@12", "PCB-2040-01"},       {"_About_getMainManufacturingDate@12", "2026-05-01"},
    {"_About_getMainHWversion@12", "D"},              {"_About_getMainProdRev@12", "B3"},
    {"_About_getMainProdArtNr@12", "TVK2-121-TS"},    {"_About_getDisplayResolution@12", "800x480"},
    {"_About_getAddOnPCBSerial@12", "WB300003"},      {"_About_getAddOnPCBArt@12", "PCB-2041-02"},
    {"_About_getAddOnManufacturingDate@12", "2026-05-02"}, {"_About_getAddOnHWversion@12", "B"},
};

struct CountOp {
    const char* name;
    int expected;
};
const CountOp kCounts[] = {
    {"_About_getNrOfETHConnections@8", 3}, {"_About_getNrOfCANConnections@8", 3},
    {"_About_getNrOfVideoConnections@8", 2}, {"_About_getNrOfUSBConnections@8", 3},
    {"_About_getNrOfSerialConnections@8", 2}, {"_About_getNrOfDigIOConnections@8", 4},
};

struct FlagOp {
    const char* name;
    bool expected;
};
const FlagOp kFlags[] = {
    {"_About_getIsDisplayAvailable@8", true}, {"_About_getIsTouchScreenAvailable@8", true},
    {"_About_getIsWLANMounted@8", true},      {"_About_getIsGPSMounted@8", false},
    {"_About_getIsGPRSMounted@8", true},      {"_About_getIsBTMounted@8", false},
};

struct Dll {
    HMODULE module = nullptr;
    GetAboutFn getAbout = nullptr;
    ReleaseFn release = nullptr;
};

using wtest::resolve;

bool load(Dll& d) {
    d.module = LoadLibraryW(L"Tavik2.dll");
    if (!CHECK(d.module != nullptr)) return false;
    d.getAbout = resolve<GetAboutFn>(d.module, "_GetAbout@0");
    d.release = resolve<ReleaseFn>(d.module, "_About_release@4");
    return d.getAbout != nullptr && d.release != nullptr;
}

std::wstring programPath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring tempFolder(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring dir = std::wstring(base) + name + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

std::string narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(static_cast<char>(c));
    return s;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(narrow(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(narrow(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `program` with `argument` in the program's folder; its exit code (or -1).
int runChild(const std::wstring& program, const std::wstring& argument) {
    std::wstring commandLine = L"\"" + program + L"\" " + argument;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        folderOf(program).c_str(), &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

void identityThroughTheBoardLibrary(Dll& d, const std::wstring& board) {
    wtest::group("identity through the board library");
    AboutHandle h = d.getAbout();
    if (!CHECK(h != nullptr)) return;
    for (const TextOp& t : kTexts) {
        char buffer[64] = {};
        const auto op = resolve<TextFn>(d.module, t.name);
        if (op == nullptr) continue;
        CHECK_EQ(op(h, buffer, sizeof buffer), kSuccess);
        CHECK_STREQ(buffer, t.expected);
    }
    for (const CountOp& c : kCounts) {
        uint8_t n = 0xEE;
        const auto op = resolve<CountFn>(d.module, c.name);
        if (op == nullptr) continue;
        CHECK_EQ(op(h, &n), kSuccess);
        CHECK_EQ(static_cast<int>(n), c.expected);
    }
    for (const FlagOp& f : kFlags) {
        bool b = !f.expected;
        const auto op = resolve<FlagFn>(d.module, f.name);
        if (op == nullptr) continue;
        CHECK_EQ(op(h, &b), kSuccess);
        CHECK_EQ(b, f.expected);
    }
    // The text rule across the interface: 8 characters need 9 bytes.
    char small[9] = {};
    const auto serial = resolve<TextFn>(d.module, "About_getMainPCBSerial"); // the plain twin
    if (serial != nullptr) {
        CHECK_EQ(serial(h, small, 8), kBufferSize);
        CHECK_EQ(serial(h, small, 9), kSuccess);
    }
    d.release(h);

    // The session as the calls reached the library: ordinals 3, 55, 56 ("CPU"), 9, 56 (board 0),
    // then reads (69) for each EEPROM, and one close (4) per image at the release.
    wtest::group("board library calls");
    std::istringstream log(readFile(board + L"\\calls.log"));
    std::vector<unsigned> ordinals;
    unsigned ordinal = 0, result = 0;
    while (log >> ordinal >> result) ordinals.push_back(ordinal);
    const std::vector<unsigned> session = {3, 55, 56, 9, 56, 69};
    CHECK(ordinals.size() > session.size());
    CHECK(std::vector<unsigned>(ordinals.begin(), ordinals.begin() + std::min(ordinals.size(), session.size())) ==
          session);
    unsigned closes = 0, sessions = 0;
    for (unsigned o : ordinals) {
        closes += o == 4;
        sessions += o == 3;
    }
    CHECK_EQ(sessions, 2u);
    CHECK_EQ(closes, 2u);

    // A later object reads the devices again.
    wtest::group("a later object sees a changed EEPROM");
    writeFile(board + L"\\addon.bin", std::string(kAddOnRecords).replace(0, 19, "PCB_SERIAL:WB399999"));
    h = d.getAbout();
    if (!CHECK(h != nullptr)) return;
    char buffer[64] = {};
    const auto addOnSerial = resolve<TextFn>(d.module, "_About_getAddOnPCBSerial@12");
    if (addOnSerial != nullptr) {
        CHECK_EQ(addOnSerial(h, buffer, sizeof buffer), kSuccess);
        CHECK_STREQ(buffer, "WB399999");
    }
    d.release(h);
}

// Child side: no usable board library, so no record can be read.
int expectNoRecords() {
    Dll d;
    if (!load(d)) return wtest::summary();
    wtest::group("no usable board library");
    AboutHandle h = d.getAbout();
    if (CHECK(h != nullptr)) {
        for (const TextOp& t : kTexts) {
            char buffer[64] = "untouched";
            const auto op = resolve<TextFn>(d.module, t.name);
            if (op == nullptr) continue;
            CHECK_EQ(op(h, buffer, sizeof buffer), kEeprom);
            CHECK_STREQ(buffer, "untouched");
        }
        for (const CountOp& c : kCounts) {
            uint8_t n = 0xEE;
            const auto op = resolve<CountFn>(d.module, c.name);
            if (op == nullptr) continue;
            const bool sum = std::string(c.name).find("ETH") != std::string::npos ||
                             std::string(c.name).find("CAN") != std::string::npos;
            CHECK_EQ(op(h, &n), sum ? kSuccess : kEeprom);
            CHECK_EQ(static_cast<int>(n), sum ? 0 : 0xEE);
        }
        d.release(h);
    }
    return wtest::summary();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--expect-no-records") return expectNoRecords();

    const std::wstring board = tempFolder(L"tavik-board-");
    SetEnvironmentVariableW(L"TAVIK_BOARD_DIR", board.c_str());
    writeFile(board + L"\\main.bin", kMainRecords);
    writeFile(board + L"\\addon.bin", kAddOnRecords);
    DeleteFileW((board + L"\\calls.log").c_str());

    Dll d;
    if (load(d)) identityThroughTheBoardLibrary(d, board);

    // The library is there but not usable.
    wtest::group("board library not usable (child process)");
    SetEnvironmentVariableW(L"TAVIK_BOARD_LIBRARY", L"unusable");
    CHECK_EQ(runChild(programPath(), L"--expect-no-records"), 0);
    SetEnvironmentVariableW(L"TAVIK_BOARD_LIBRARY", nullptr);

    // No library at all: this program and Tavik2.dll alone in a folder.
    wtest::group("no board library (child process)");
    const std::wstring bare = tempFolder(L"tavik-no-board-");
    const std::wstring program = programPath();
    const std::wstring copy = bare + L"\\about_wtest_bare.exe";
    const std::wstring dll = bare + L"\\Tavik2.dll";
    // Only the system folders on the search path, so that nothing finds this build's Jida.dll.
    static wchar_t path[32768];
    const DWORD pathLength = GetEnvironmentVariableW(L"PATH", path, 32768);
    SetEnvironmentVariableW(L"PATH", L"C:\\windows\\system32;C:\\windows");
    if (CHECK(CopyFileW(program.c_str(), copy.c_str(), FALSE) != 0) &&
        CHECK(CopyFileW((folderOf(program) + L"\\Tavik2.dll").c_str(), dll.c_str(), FALSE) != 0))
        CHECK_EQ(runChild(copy, L"--expect-no-records"), 0);
    if (pathLength > 0 && pathLength < 32768) SetEnvironmentVariableW(L"PATH", path);

    DeleteFileW(copy.c_str());
    DeleteFileW(dll.c_str());
    RemoveDirectoryW(bare.c_str());
    for (const wchar_t* f : {L"\\main.bin", L"\\addon.bin", L"\\calls.log"}) DeleteFileW((board + f).c_str());
    RemoveDirectoryW(board.c_str());
    return wtest::summary();
}
