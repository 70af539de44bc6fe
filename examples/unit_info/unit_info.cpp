// unit_info: a small application against the installed Tavik2 package. Prints the library and
// firmware versions and the unit's serial number; exits non-zero with the library's message on failure.
#include <cstdio>

#include <tavik2/tavik2.h>

namespace {

int fail(const char* what, ErrorCode code) {
    std::fprintf(stderr, "%s: %s (%d)\n", what, GetErrorStringA(code), static_cast<int>(code));
    return 1;
}

} // namespace

int main() {
    Varnholtstad::AuxVersion* versions = GetAuxVersion();
    if (versions == nullptr) return fail("GetAuxVersion", ERR_MEMORY_ALLOCATION);
    uint8_t major = 0, minor = 0, release = 0, build = 0;
    ErrorCode rc = AuxVersion_getTavikVersion(versions, &major, &minor, &release, &build);
    if (rc != ERR_SUCCESS) {
        AuxVersion_release(versions);
        return fail("library version", rc);
    }
    std::printf("library %u.%u.%u.%u\n", major, minor, release, build);
    rc = AuxVersion_getSSVersion(versions, &major, &minor, &release, &build);
    AuxVersion_release(versions);
    if (rc != ERR_SUCCESS) return fail("supervisor firmware version", rc);
    std::printf("supervisor firmware %u.%u.%u.%u\n", major, minor, release, build);

    Varnholtstad::About* about = GetAbout();
    if (about == nullptr) return fail("GetAbout", ERR_MEMORY_ALLOCATION);
    char serial[64] = {};
    rc = About_getUnitSerial(about, serial, static_cast<int32_t>(sizeof serial));
    About_release(about);
    if (rc != ERR_SUCCESS) return fail("unit serial", rc);
    std::printf("unit serial %s\n", serial);
    return 0;
}
