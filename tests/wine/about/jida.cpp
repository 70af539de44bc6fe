// Stand-in for the board maker's Jida.dll, for the wine tests. It exports the board-access
// calls by ordinal only (jida.def) and answers them with the simulated board of sim/board.
//
// Board folder: %TAVIK_BOARD_DIR%, else C:\tavik-board. In it:
//   main.bin, addon.bin  the identity EEPROM images (the bytes as stored: text records, then
//                        anything; the rest of the 4096 bytes reads 0xFF). A missing file is a
//                        device that does not answer. Read again at every libraryInit (ordinal 3)
//                        and written back after every write transfer to that EEPROM.
//   calls.log            one line per call, "ordinal result", appended when the folder exists.
// %TAVIK_BOARD_LIBRARY%: ready (default), needs_retry or unusable.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/board/board_core.h"

namespace bc = tavik::sim::board;

namespace {

CRITICAL_SECTION gLock;
bc::BoardState gBoard;
bc::ProcessSession gSession;

class Locked {
public:
    Locked() { EnterCriticalSection(&gLock); }
    ~Locked() { LeaveCriticalSection(&gLock); }
};

// From the process environment itself, so that a change made with SetEnvironmentVariable
// before the library is used counts.
std::string environment(const char* name) {
    char value[512];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string folder() {
    const std::string dir = environment("TAVIK_BOARD_DIR");
    return dir.empty() ? "C:\\tavik-board" : dir;
}

std::string imagePath(const char* name) { return folder() + "\\" + name + ".bin"; }

bool readImage(const char* name, bc::EepromDevice& device) {
    std::ifstream in(imagePath(name), std::ios::binary);
    if (!in) return false;
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    device.memory() = bc::imageFromBytes(bytes);
    return true;
}

void writeImage(const char* name, const bc::EepromDevice& device) {
    std::ofstream out(imagePath(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(device.memory().data()),
              static_cast<std::streamsize>(device.memory().size()));
}

void loadBoard() {
    if (!bc::libraryModeFromName(environment("TAVIK_BOARD_LIBRARY"), gBoard.mode)) gBoard.mode = bc::LibraryMode::Ready;
    gBoard.mainEepromPresent = readImage("main", gBoard.mainEeprom);
    gBoard.addOnEepromPresent = readImage("addon", gBoard.addOnEeprom);
    if (gBoard.sensors.empty()) gBoard.sensors = {{42000, 1, 1}, {38500, 1, 2}};
}

uint32_t logged(uint32_t ordinal, const bc::CallResult& r) {
    if (FILE* f = std::fopen((folder() + "\\calls.log").c_str(), "a")) {
        std::fprintf(f, "%u %u\n", ordinal, r.value);
        std::fclose(f);
    }
    return r.value;
}

std::string narrow(const wchar_t* text) {
    std::string s;
    for (; text != nullptr && *text != 0; ++text) s.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return s;
}

uint32_t handleValue(HANDLE h) { return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(h)); }

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&gLock);
    if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&gLock);
    return TRUE;
}

DWORD WINAPI standinInit() {
    Locked l;
    loadBoard();
    return logged(3, bc::libraryInit(gBoard, gSession));
}

DWORD WINAPI standinInitRetry(DWORD mode) {
    Locked l;
    return logged(40, bc::libraryInitRetry(gBoard, gSession, mode));
}

DWORD WINAPI standinClose() {
    Locked l;
    return logged(4, bc::libraryClose(gSession));
}

DWORD WINAPI standinBoardCount(LPCWSTR, DWORD) {
    Locked l;
    return logged(55, bc::boardCount(gBoard));
}

DWORD WINAPI standinBoardOpen(LPCWSTR className, DWORD index, DWORD flags, HANDLE* board) {
    Locked l;
    uint32_t h = 0;
    const bc::CallResult r = bc::boardOpen(gBoard, className != nullptr, narrow(className), index, flags, &h);
    if (r.ok && board != nullptr) *board = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(h));
    return logged(56, r);
}

DWORD WINAPI standinSelect(HANDLE board) {
    Locked l;
    return logged(9, bc::boardSelect(gBoard, handleValue(board)));
}

DWORD WINAPI standinI2cWriteRead(HANDLE board, DWORD bus, DWORD address, const BYTE* write, DWORD writeLength,
                                 BYTE* read, DWORD readLength) {
    Locked l;
    return logged(69, bc::i2cWriteRead(gBoard, handleValue(board), bus, address, write, writeLength, read,
                                       readLength));
}

DWORD WINAPI standinI2cWrite(HANDLE board, DWORD bus, DWORD address, const BYTE* data, DWORD length) {
    Locked l;
    const bc::CallResult r = bc::i2cWrite(gBoard, handleValue(board), bus, address, data, length);
    if (r.ok && bus == 0 && (address & 0xFE) == bc::kMainEepromAddress) writeImage("main", gBoard.mainEeprom);
    if (r.ok && bus == 0 && (address & 0xFE) == bc::kAddOnEepromAddress) writeImage("addon", gBoard.addOnEeprom);
    return logged(32, r);
}

DWORD WINAPI standinI2cReadRegister(HANDLE board, DWORD bus, DWORD address, DWORD reg, BYTE* value) {
    Locked l;
    return logged(33, bc::i2cReadRegister(gBoard, handleValue(board), bus, address, reg, value));
}

DWORD WINAPI standinI2cWriteRegister(HANDLE board, DWORD bus, DWORD address, DWORD reg, DWORD value) {
    Locked l;
    return logged(34, bc::i2cWriteRegister(gBoard, handleValue(board), bus, address, reg, value));
}

DWORD WINAPI standinSensorCount(HANDLE board) {
    Locked l;
    return logged(79, bc::temperatureSensorCount(gBoard, handleValue(board)));
}

DWORD WINAPI standinSensorInfo(HANDLE board, DWORD index, void* info) {
    Locked l;
    return logged(80, bc::temperatureInfo(gBoard, handleValue(board), index, static_cast<uint32_t*>(info)));
}

DWORD WINAPI standinSensorRead(HANDLE board, DWORD index, DWORD* value, DWORD* status) {
    Locked l;
    int32_t v = 0;
    uint32_t s = 0;
    const bc::CallResult r = bc::temperatureRead(gBoard, handleValue(board), index, &v, &s);
    if (r.value == 1 && value != nullptr && status != nullptr) {
        *value = static_cast<DWORD>(v);
        *status = s;
    }
    return logged(81, r);
}

} // extern "C"
