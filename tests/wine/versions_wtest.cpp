// The version family and the result-code texts through the DLL's exports, on a machine without
// the auxiliary driver: the driver-backed versions fail to open, the library version is fixed,
// and the operating system version comes from the OEM information file in System32.
#include <windows.h>

#include <cstdint>
#include <string>

#include "wtest.h"

namespace {

using AuxHandle = void*;
using GetAuxVersionFn = AuxHandle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(AuxHandle);
using VersionFn = int32_t(__stdcall*)(AuxHandle, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
using TextAFn = const char*(__stdcall*)(int32_t);
using TextWFn = const wchar_t*(__stdcall*)(int32_t);

constexpr int32_t kSuccess = 0;
constexpr int32_t kOpenFailed = 1;
constexpr int32_t kInvalidParameter = 9;
constexpr int32_t kCommandFailed = 17;

const wchar_t kOemInfo[] = L"c:\\Windows\\System32\\oeminfo.ini";

struct Dll {
    HMODULE module = nullptr;
    GetAuxVersionFn getAuxVersion = nullptr;
    ReleaseFn release = nullptr;
    VersionFn fpga = nullptr, ss = nullptr, front = nullptr, tavik = nullptr, os = nullptr, driver = nullptr;
    TextAFn errorA = nullptr;
    TextWFn errorW = nullptr;
};

using wtest::resolve;

bool load(Dll& d) {
    d.module = LoadLibraryW(L"Tavik2.dll");
    if (!CHECK(d.module != nullptr)) return false;
    d.getAuxVersion = resolve<GetAuxVersionFn>(d.module, "_GetAuxVersion@0");
    d.release = resolve<ReleaseFn>(d.module, "_AuxVersion_release@4");
    d.fpga = resolve<VersionFn>(d.module, "_AuxVersion_getFPGAVersion@20");
    d.ss = resolve<VersionFn>(d.module, "_AuxVersion_getSSVersion@20");
    d.front = resolve<VersionFn>(d.module, "_AuxVersion_getFrontVersion@20");
    d.tavik = resolve<VersionFn>(d.module, "_AuxVersion_getTavikVersion@20");
    d.os = resolve<VersionFn>(d.module, "_AuxVersion_getOSVersion@20");
    d.driver = resolve<VersionFn>(d.module, "_AuxVersion_getTavikDrvVersion@20");
    d.errorA = resolve<TextAFn>(d.module, "_GetErrorStringA@4");
    d.errorW = resolve<TextWFn>(d.module, "_GetErrorStringW@4");
    return d.getAuxVersion && d.release && d.fpga && d.ss && d.front && d.tavik && d.os && d.driver &&
           d.errorA && d.errorW;
}

struct Version {
    uint8_t p[4];
};

// Calls one version operation with outputs preset to `fill`.
int32_t call(VersionFn fn, AuxHandle h, Version& v, uint8_t fill = 0xAB) {
    for (uint8_t& x : v.p) x = fill;
    return fn(h, &v.p[0], &v.p[1], &v.p[2], &v.p[3]);
}

bool isVersion(const Version& v, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return v.p[0] == a && v.p[1] == b && v.p[2] == c && v.p[3] == d;
}

// Every version operation through a null handle: refused before any work.
void checkNullHandle(const Dll& d) {
    wtest::group("null handle");
    for (VersionFn fn : {d.fpga, d.ss, d.front, d.tavik, d.os, d.driver}) {
        Version v;
        CHECK_EQ(call(fn, nullptr, v), kInvalidParameter);
        CHECK(isVersion(v, 0xAB, 0xAB, 0xAB, 0xAB));
    }
    d.release(nullptr); // does nothing, must not crash
}

// No auxiliary driver under wine: the four driver-backed versions (and so the firmware-version
// gates built on them) fail to open and leave the outputs alone.
void checkWithoutDriver(const Dll& d, AuxHandle h) {
    wtest::group("no driver");
    const HANDLE probe = CreateFileW(L"\\\\.\\TavikDrv", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(probe == INVALID_HANDLE_VALUE);
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    for (VersionFn fn : {d.fpga, d.ss, d.front, d.driver}) {
        Version v;
        CHECK_EQ(call(fn, h, v), kOpenFailed);
        CHECK(isVersion(v, 0xAB, 0xAB, 0xAB, 0xAB));
    }
}

void checkLibraryVersion(const Dll& d, AuxHandle h) {
    wtest::group("library version");
    Version v;
    CHECK_EQ(call(d.tavik, h, v), kSuccess);
    CHECK(isVersion(v, 2, 4, 0, 0));
}

// --- The OEM information file ------------------------------------------------------------------

bool writeOemInfo(const std::string& text) {
    const HANDLE f = CreateFileW(kOemInfo, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == text.size();
}

// The file as it was before the test, to be put back at the end.
struct SavedOemInfo {
    bool existed = false;
    std::string content;
};

SavedOemInfo saveOemInfo() {
    SavedOemInfo saved;
    const HANDLE f = CreateFileW(kOemInfo, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return saved;
    saved.existed = true;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) saved.content.append(buffer, got);
    CloseHandle(f);
    return saved;
}

void restoreOemInfo(const SavedOemInfo& saved) {
    if (saved.existed)
        writeOemInfo(saved.content);
    else
        DeleteFileW(kOemInfo);
}

void checkOsVersion(const Dll& d, AuxHandle h) {
    wtest::group("os version: label after the word version");
    Version v;
    // The "v" of "version" is followed by a letter, so the scan goes on to the label.
    if (CHECK(writeOemInfo("[General]\r\nManufacturer=Varnholtstad\r\nversion of the image: v3.1.2.0\r\n"))) {
        CHECK_EQ(call(d.os, h, v), kSuccess);
        CHECK(isVersion(v, 3, 1, 2, 0));
    }

    wtest::group("os version: part above 255");
    if (CHECK(writeOemInfo("Image version v3.256.0.0\r\n"))) {
        CHECK_EQ(call(d.os, h, v), kCommandFailed);
        CHECK(isVersion(v, 0xAB, 0xAB, 0xAB, 0xAB));
    }

    wtest::group("os version: first label decides");
    if (CHECK(writeOemInfo("v1.2\r\nv4.5.6.7\r\n"))) {
        CHECK_EQ(call(d.os, h, v), kCommandFailed);
        CHECK(isVersion(v, 0xAB, 0xAB, 0xAB, 0xAB));
    }

    wtest::group("os version: label past the first 512 bytes");
    if (CHECK(writeOemInfo(std::string(512, '-') + "v5.6.7.8\r\n"))) {
        CHECK_EQ(call(d.os, h, v), kCommandFailed);
    }
    if (CHECK(writeOemInfo(std::string(502, '-') + "v5.6.7.8\r\n"))) {
        CHECK_EQ(call(d.os, h, v), kSuccess);
        CHECK(isVersion(v, 5, 6, 7, 8));
    }

    wtest::group("os version: no label");
    if (CHECK(writeOemInfo("no label here\r\n"))) CHECK_EQ(call(d.os, h, v), kCommandFailed);
    if (CHECK(writeOemInfo(""))) CHECK_EQ(call(d.os, h, v), kCommandFailed);

    wtest::group("os version: file held open by another");
    // The file is opened with no sharing; while someone else has it open the open fails.
    if (CHECK(writeOemInfo("v7.0.0.1\r\n"))) {
        const HANDLE other = CreateFileW(kOemInfo, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        CHECK(other != INVALID_HANDLE_VALUE);
        CHECK_EQ(call(d.os, h, v), kOpenFailed);
        CloseHandle(other);
        CHECK_EQ(call(d.os, h, v), kSuccess);
        CHECK(isVersion(v, 7, 0, 0, 1));
    }

    wtest::group("os version: null pointers");
    uint8_t a = 1, b = 2, c = 3, e = 4;
    CHECK_EQ(d.os(h, nullptr, &b, &c, &e), kInvalidParameter);
    CHECK_EQ(d.os(h, &a, nullptr, &c, &e), kInvalidParameter);
    CHECK_EQ(d.os(h, &a, &b, nullptr, &e), kInvalidParameter);
    CHECK_EQ(d.os(h, &a, &b, &c, nullptr), kInvalidParameter);
    CHECK(a == 1 && b == 2 && c == 3 && e == 4);

    wtest::group("os version: missing file");
    DeleteFileW(kOemInfo);
    CHECK(GetFileAttributesW(kOemInfo) == INVALID_FILE_ATTRIBUTES);
    CHECK_EQ(call(d.os, h, v), kOpenFailed);
    CHECK(isVersion(v, 0xAB, 0xAB, 0xAB, 0xAB));
}

// --- Result-code texts ---------------------------------------------------------------------------

void checkErrorTexts(const Dll& d) {
    wtest::group("error texts");
    CHECK_STREQ(d.errorA(0), "ERR_SUCCESS");
    CHECK_STREQ(d.errorA(20), "Average calulation started by other process");
    CHECK_STREQ(d.errorW(20), L"Average calulation started by other process");
    CHECK_STREQ(d.errorA(33), "Failed to join thread");
    CHECK_STREQ(d.errorW(33), L"Failed to join thread");
    // The same static text on every call.
    CHECK_EQ(static_cast<const void*>(d.errorA(9)), static_cast<const void*>(d.errorA(9)));
    for (int32_t code : {34, -1, 1000, INT32_MIN}) {
        CHECK_STREQ(d.errorA(code), "Unknown error code");
        CHECK_STREQ(d.errorW(code), L"Unknown error code");
    }
}

} // namespace

int main() {
    Dll d;
    if (!load(d)) return wtest::summary();

    checkNullHandle(d);
    checkErrorTexts(d);

    wtest::group("factory");
    const AuxHandle h = d.getAuxVersion();
    const AuxHandle other = d.getAuxVersion();
    CHECK(h != nullptr);
    CHECK(other != nullptr && other != h); // a fresh object per call
    d.release(other);
    if (h != nullptr) {
        checkWithoutDriver(d, h);
        checkLibraryVersion(d, h);
        const SavedOemInfo saved = saveOemInfo();
        checkOsVersion(d, h);
        restoreOemInfo(saved);
        d.release(h);
    }
    FreeLibrary(d.module);
    return wtest::summary();
}
