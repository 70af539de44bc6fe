#include "identity/aux_version.h"

#include <algorithm>
#include <cstring>

#include "frame/handle.h"
#include "platform/files.h"

namespace tavik::identity {
namespace {

// A null part would be written through: refused before any request.
bool allParts(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d) {
    return a != nullptr && b != nullptr && c != nullptr && d != nullptr;
}

} // namespace

AuxVersion_Imp::AuxVersion_Imp() { channel_.open(); }

void AuxVersion_Imp::release() { delete this; }

ErrorCode AuxVersion_Imp::readVersion(uint32_t code, uint8_t* major, uint8_t* minor,
                                      uint8_t* release, uint8_t* build) {
    if (!allParts(major, minor, release, build)) return ERR_INVALID_PARAMETER;
    uint8_t reply[4] = {};
    if (const ErrorCode e = channel_.read(code, reply, sizeof reply); e != ERR_SUCCESS) return e;
    *major = reply[0];
    *minor = reply[1];
    *release = reply[2];
    *build = reply[3];
    return ERR_SUCCESS;
}

ErrorCode AuxVersion_Imp::getFPGAVersion(uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d) {
    return readVersion(kReqFpgaVersion, a, b, c, d);
}
ErrorCode AuxVersion_Imp::getSSVersion(uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d) {
    return readVersion(kReqSsVersion, a, b, c, d);
}
ErrorCode AuxVersion_Imp::getFrontVersion(uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d) {
    return readVersion(kReqFrontVersion, a, b, c, d);
}
ErrorCode AuxVersion_Imp::getTavikDrvVersion(uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d) {
    return readVersion(kReqDriverVersion, a, b, c, d);
}

namespace {

// One "%d" conversion: blanks, an optional sign, digits. The value saturates far above 255
// instead of overflowing, so "4294967297" is a number above 255 and not 1.
bool scanPart(const char*& p, long& value) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (*p < '0' || *p > '9') return false;
    long v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) v = std::min(v * 10 + (*p - '0'), 100000L);
    value = negative ? -v : v;
    return true;
}

} // namespace

bool parseVersionText(const char* text, uint8_t parts[4]) {
    long v[4];
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.') return false;
        if (!scanPart(p, v[i]) || v[i] < 0 || v[i] > 255) return false;
    }
    for (int i = 0; i < 4; ++i) parts[i] = static_cast<uint8_t>(v[i]);
    return true;
}

ErrorCode AuxVersion_Imp::getTavikVersion(uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d) {
    if (!allParts(a, b, c, d)) return ERR_INVALID_PARAMETER;
    uint8_t parts[4];
    if (!parseVersionText(kTavikVersionText, parts)) return ERR_COMMAND_FAILED;
    *a = parts[0];
    *b = parts[1];
    *c = parts[2];
    *d = parts[3];
    return ERR_SUCCESS;
}

ErrorCode findOsVersion(const char* data, uint32_t size, uint8_t parts[4]) {
    for (uint32_t i = 0; i + 1 < size; ++i) {
        if (data[i] != 'v') continue;
        const char next = data[i + 1];
        if (next < '0' || next > '9') continue;
        // The first "v" and digit decides, well formed or not. Parse from a terminated copy so
        // the scan never runs past the bytes read.
        char tail[513] = {};
        std::memcpy(tail, data + i + 1, size - i - 1);
        return parseVersionText(tail, parts) ? ERR_SUCCESS : ERR_COMMAND_FAILED;
    }
    return ERR_COMMAND_FAILED;
}

ErrorCode AuxVersion_Imp::getOSVersion(uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d) {
    if (!allParts(a, b, c, d)) return ERR_INVALID_PARAMETER;
    constexpr size_t kMaxPath = 259;
    if (std::strlen(kOemInfoPath) > kMaxPath) return ERR_OPEN_FAILED;
    const platform::FileHandle file = platform::openFileForRead(kOemInfoPath, true);
    if (!file) return ERR_OPEN_FAILED;

    char data[512];
    uint32_t got = 0;
    const bool ok = platform::readFile(file, data, sizeof data, got);
    ErrorCode result = ERR_COMMAND_FAILED;
    uint8_t parts[4] = {};
    if (ok) result = findOsVersion(data, got, parts);
    platform::closeFile(file);
    if (result != ERR_SUCCESS) return result;
    *a = parts[0];
    *b = parts[1];
    *c = parts[2];
    *d = parts[3];
    return ERR_SUCCESS;
}

namespace {

using VersionExport = ErrorCode(TAVIK_CALL*)(Varnholtstad::AuxVersion*, uint8_t*, uint8_t*,
                                             uint8_t*, uint8_t*);

// Goes through the exported path, as an application would: a failed allocation gives a null
// handle and so ERR_INVALID_PARAMETER.
bool versionNumber(VersionExport op, FirmwareVersionNumber* number) {
    uint8_t p[4] = {99, 99, 99, 99};
    Varnholtstad::AuxVersion* handle = GetAuxVersion();
    const ErrorCode e = op(handle, &p[0], &p[1], &p[2], &p[3]);
    AuxVersion_release(handle);
    if (e != ERR_SUCCESS) {
        *number = 0;
        return false;
    }
    *number = packFirmwareVersion(p[0], p[1], p[2], p[3]);
    return true;
}

} // namespace

bool getFpgaVersionNumber(FirmwareVersionNumber* n) { return versionNumber(&AuxVersion_getFPGAVersion, n); }
bool getSsVersionNumber(FirmwareVersionNumber* n) { return versionNumber(&AuxVersion_getSSVersion, n); }
bool getFrontVersionNumber(FirmwareVersionNumber* n) { return versionNumber(&AuxVersion_getFrontVersion, n); }

} // namespace tavik::identity

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::AuxVersion;

TAVIK_API AuxVersion* TAVIK_CALL GetAuxVersion(void) {
    return tavik::frame::createFresh<tavik::identity::AuxVersion_Imp>();
}

TAVIK_API void TAVIK_CALL AuxVersion_release(AuxVersion* h) {
    tavik::frame::forwardRelease<Family::AuxVersion>(h);
}

#define TAVIK_AUX_VERSION_EXPORT(op)                                                               \
    TAVIK_API ErrorCode TAVIK_CALL AuxVersion_##op(AuxVersion* h, uint8_t* major, uint8_t* minor,  \
                                                   uint8_t* release, uint8_t* build) {              \
        return forward<Family::AuxVersion>(h, &AuxVersion::op, major, minor, release, build);      \
    }

TAVIK_AUX_VERSION_EXPORT(getFPGAVersion)
TAVIK_AUX_VERSION_EXPORT(getSSVersion)
TAVIK_AUX_VERSION_EXPORT(getFrontVersion)
TAVIK_AUX_VERSION_EXPORT(getTavikVersion)
TAVIK_AUX_VERSION_EXPORT(getOSVersion)
TAVIK_AUX_VERSION_EXPORT(getTavikDrvVersion)
