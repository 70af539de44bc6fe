// The handle check of the DLL: a released handle, a second release and a handle of another
// family are refused with ERR_INVALID_PARAMETER (9) and touch nothing; valid handles work as
// before. Under wine there is no driver, which does not matter here: every refused call is
// refused before any device access, and the library's own version needs none.
#include <windows.h>

#include <cstdint>

#include "wtest.h"

namespace {

using Handle = void*;
using FactoryFn = Handle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(Handle);
using VersionFn = int32_t(__stdcall*)(Handle, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
using TextFn = int32_t(__stdcall*)(Handle, char*, int32_t);

constexpr int32_t kSuccess = 0;
constexpr int32_t kInvalidParameter = 9;

using wtest::resolve;

} // namespace

int main() {
    const HMODULE dll = LoadLibraryW(L"Tavik2.dll");
    if (!CHECK(dll != nullptr)) return wtest::summary();
    const auto getAuxVersion = resolve<FactoryFn>(dll, "_GetAuxVersion@0");
    const auto auxRelease = resolve<ReleaseFn>(dll, "_AuxVersion_release@4");
    const auto fpga = resolve<VersionFn>(dll, "_AuxVersion_getFPGAVersion@20");
    const auto tavik = resolve<VersionFn>(dll, "_AuxVersion_getTavikVersion@20");
    const auto getAbout = resolve<FactoryFn>(dll, "_GetAbout@0");
    const auto aboutRelease = resolve<ReleaseFn>(dll, "_About_release@4");
    const auto unitSerial = resolve<TextFn>(dll, "_About_getUnitSerial@12");
    if (!getAuxVersion || !auxRelease || !fpga || !tavik || !getAbout || !aboutRelease || !unitSerial)
        return wtest::summary();

    wtest::group("valid handle");
    const Handle version = getAuxVersion();
    CHECK(version != nullptr);
    uint8_t p[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    CHECK_EQ(tavik(version, &p[0], &p[1], &p[2], &p[3]), kSuccess);
    CHECK(p[0] == 2 && p[1] == 4 && p[2] == 0 && p[3] == 0);

    wtest::group("foreign handle");
    const Handle about = getAbout();
    CHECK(about != nullptr);
    uint8_t one = 0xEE; // an About object taken for a version object would get 4 bytes through this
    CHECK_EQ(fpga(about, &one, &one, &one, &one), kInvalidParameter);
    CHECK_EQ(tavik(about, &one, &one, &one, &one), kInvalidParameter);
    CHECK_EQ(one, 0xEE);
    char serial[32] = "untouched";
    CHECK_EQ(unitSerial(version, serial, sizeof serial), kInvalidParameter);
    CHECK_STREQ(serial, "untouched");
    auxRelease(about); // not a version handle: nothing happens to it
    aboutRelease(version);

    wtest::group("released handle");
    auxRelease(version);
    p[0] = 0xEE;
    CHECK_EQ(tavik(version, &p[0], &p[1], &p[2], &p[3]), kInvalidParameter);
    CHECK_EQ(p[0], 0xEE);
    auxRelease(version); // a second release does nothing
    aboutRelease(about);
    CHECK_EQ(unitSerial(about, serial, sizeof serial), kInvalidParameter);
    aboutRelease(about);

    wtest::group("null handle");
    CHECK_EQ(tavik(nullptr, &p[0], &p[1], &p[2], &p[3]), kInvalidParameter);
    auxRelease(nullptr);
    return wtest::summary();
}
