// The recorder's file and clock in the DLL: FILE_APPEND_DATA, so that one WriteFile is one line
// at the end of the file whatever other processes append.
#include "platform/record/sink.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/text.h"

namespace tavik::platform::record {

bool environmentValue(const char* name, std::string& value) {
    char small[260];
    DWORD n = GetEnvironmentVariableA(name, small, sizeof small);
    if (n == 0) return false;
    if (n < sizeof small) {
        value.assign(small, n);
        return true;
    }
    std::string big(n, '\0');
    n = GetEnvironmentVariableA(name, &big[0], static_cast<DWORD>(big.size()));
    if (n == 0 || n >= big.size()) return false;
    big.resize(n);
    value = big;
    return true;
}

intptr_t openAppend(const std::string& path) {
    const std::wstring wide = win32::widen(path);
    if (wide.empty()) return -1;
    const HANDLE h = CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}

bool append(intptr_t file, const char* data, size_t size) {
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr) &&
           written == size;
}

void closeAppend(intptr_t file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

uint32_t processId() { return GetCurrentProcessId(); }

namespace {
SRWLOCK gRecorderLock = SRWLOCK_INIT;
} // namespace

void lockRecorder() { AcquireSRWLockExclusive(&gRecorderLock); }
void unlockRecorder() { ReleaseSRWLockExclusive(&gRecorderLock); }

uint64_t monotonicMicros() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency);
}

std::string utcNow() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

std::vector<std::pair<std::string, std::string>> unitIdentity() {
    std::vector<std::pair<std::string, std::string>> id;
    std::string value;
    if (environmentValue("COMPUTERNAME", value)) id.emplace_back("machine", value);
    if (environmentValue("TAVIK_SIM", value)) id.emplace_back("sim", value);
    return id;
}

} // namespace tavik::platform::record
