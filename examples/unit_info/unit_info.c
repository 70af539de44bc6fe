/* unit_info in C: the same application as unit_info.cpp, against the same installed Tavik2 package.
   Prints the library and firmware versions and the unit's serial number; exits non-zero with the
   library's message on failure. */
#include <stdio.h>

#include <tavik2/tavik2.h>

static int fail(const char* what, ErrorCode code) {
    fprintf(stderr, "%s: %s (%d)\n", what, GetErrorStringA(code), (int)code);
    return 1;
}

int main(void) {
    uint8_t major = 0, minor = 0, release = 0, build = 0;
    char serial[64] = {0};
    ErrorCode rc;
    Tavik2About* about;
    Tavik2AuxVersion* versions = GetAuxVersion();
    if (versions == NULL) return fail("GetAuxVersion", ERR_MEMORY_ALLOCATION);
    rc = AuxVersion_getTavikVersion(versions, &major, &minor, &release, &build);
    if (rc != ERR_SUCCESS) {
        AuxVersion_release(versions);
        return fail("library version", rc);
    }
    printf("library %u.%u.%u.%u\n", major, minor, release, build);
    rc = AuxVersion_getSSVersion(versions, &major, &minor, &release, &build);
    AuxVersion_release(versions);
    if (rc != ERR_SUCCESS) return fail("supervisor firmware version", rc);
    printf("supervisor firmware %u.%u.%u.%u\n", major, minor, release, build);

    about = GetAbout();
    if (about == NULL) return fail("GetAbout", ERR_MEMORY_ALLOCATION);
    rc = About_getUnitSerial(about, serial, (int32_t)sizeof serial);
    About_release(about);
    if (rc != ERR_SUCCESS) return fail("unit serial", rc);
    printf("unit serial %s\n", serial);
    return 0;
}
