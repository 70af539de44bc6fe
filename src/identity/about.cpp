#include "identity/about.h"

#include <cstring>

#include "frame/handle.h"

namespace tavik::identity {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

} // namespace

RecordNumber parseRecordNumber(const char* text) {
    RecordNumber n;
    while (isBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    int64_t magnitude = 0;
    uint8_t low8 = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const int digit = *text - '0';
        low8 = static_cast<uint8_t>(low8 * 10 + digit);
        if (magnitude <= INT32_MAX) magnitude = magnitude * 10 + digit;
    }
    if (negative) magnitude = -magnitude;
    n.value = magnitude > INT32_MAX ? INT32_MAX : magnitude < INT32_MIN ? INT32_MIN : static_cast<int32_t>(magnitude);
    n.low8 = negative ? static_cast<uint8_t>(0u - low8) : low8;
    return n;
}

// Images of id 1 and then 2, then the driver channel.
About_Imp::About_Imp() : main_(acquireEepromImage(kMainEeprom)), addOn_(acquireEepromImage(kAddOnEeprom)) {
    channel_.open();
}

About_Imp::~About_Imp() {
    channel_.close();
    releaseEepromImage(kMainEeprom);
    releaseEepromImage(kAddOnEeprom);
}

void About_Imp::release() { delete this; }

bool About_Imp::lookup(const EepromImage* image, const char* key, char (&value)[256]) {
    std::memset(value, 0, sizeof value);
    return image != nullptr && image->getProperty(key, value);
}

ErrorCode About_Imp::text(const EepromImage* image, const char* key, char* buffer, int32_t length) {
    char value[256];
    if (!lookup(image, key, value)) return ERR_EEPROM;
    const auto needed = static_cast<int32_t>(std::strlen(value)) + 1;
    if (needed > length) return ERR_BUFFER_SIZE;
    if (buffer == nullptr) return ERR_INVALID_PARAMETER;
    std::memcpy(buffer, value, static_cast<size_t>(needed));
    return ERR_SUCCESS;
}

ErrorCode About_Imp::count(const EepromImage* image, const char* key, uint8_t* out) {
    char value[256];
    if (!lookup(image, key, value)) return ERR_EEPROM;
    if (out == nullptr) return ERR_INVALID_PARAMETER;
    *out = parseRecordNumber(value).low8;
    return ERR_SUCCESS;
}

ErrorCode About_Imp::flag(const EepromImage* image, const char* key, bool* out, bool orTwo) {
    char value[256];
    if (!lookup(image, key, value)) return ERR_EEPROM;
    if (out == nullptr) return ERR_INVALID_PARAMETER;
    const uint8_t n = parseRecordNumber(value).low8;
    *out = n == 1 || (orTwo && n == 2);
    return ERR_SUCCESS;
}

ErrorCode About_Imp::sum(const EepromImage* image, const char* first, const char* second, uint8_t* out) {
    if (out == nullptr) return ERR_INVALID_PARAMETER;
    char value[256];
    uint8_t total = 0;
    if (lookup(image, first, value)) total = static_cast<uint8_t>(total + parseRecordNumber(value).low8);
    if (lookup(image, second, value)) total = static_cast<uint8_t>(total + parseRecordNumber(value).low8);
    *out = total;
    return ERR_SUCCESS;
}

bool About_Imp::layoutVersion(int32_t* version) const {
    char value[256];
    if (!lookup(main_, "DATA", value)) return false;
    *version = parseRecordNumber(value).value;
    return true;
}

ErrorCode About_Imp::getMainPCBSerial(char* b, int32_t n) { return text(main_, "PCB_SERIAL", b, n); }
ErrorCode About_Imp::getUnitSerial(char* b, int32_t n) { return text(main_, "UNIT_SERIAL", b, n); }
ErrorCode About_Imp::getMainPCBArt(char* b, int32_t n) { return text(main_, "PCB_ART", b, n); }
ErrorCode About_Imp::getMainManufacturingDate(char* b, int32_t n) { return text(main_, "DATE", b, n); }
ErrorCode About_Imp::getMainProdRev(char* b, int32_t n) { return text(main_, "PROD_REV", b, n); }
ErrorCode About_Imp::getMainProdArtNr(char* b, int32_t n) { return text(main_, "PROD_ART", b, n); }
ErrorCode About_Imp::getDisplayResolution(char* b, int32_t n) { return text(main_, "DISPLAY", b, n); }
ErrorCode About_Imp::getAddOnPCBSerial(char* b, int32_t n) { return text(addOn_, "PCB_SERIAL", b, n); }
ErrorCode About_Imp::getAddOnPCBArt(char* b, int32_t n) { return text(addOn_, "PCB_ART", b, n); }
ErrorCode About_Imp::getAddOnManufacturingDate(char* b, int32_t n) { return text(addOn_, "DATE", b, n); }
ErrorCode About_Imp::getAddOnHWversion(char* b, int32_t n) { return text(addOn_, "PCB_REV", b, n); }

// Layout version 2 and later keep the revision in "PCB_REV", version 1 in "HWVERSION".
ErrorCode About_Imp::getMainHWversion(char* b, int32_t n) {
    int32_t version = 0;
    if (!layoutVersion(&version) || version <= 0) return ERR_EEPROM;
    return text(main_, version >= 2 ? "PCB_REV" : "HWVERSION", b, n);
}

ErrorCode About_Imp::getNrOfETHConnections(uint8_t* c) { return sum(main_, "ETH_USB", "ETH", c); }
ErrorCode About_Imp::getNrOfCANConnections(uint8_t* c) { return sum(main_, "CAN", "CAN_FPGA", c); }
ErrorCode About_Imp::getNrOfVideoConnections(uint8_t* c) { return count(main_, "VIDEO", c); }
ErrorCode About_Imp::getNrOfUSBConnections(uint8_t* c) { return count(main_, "USBHOST", c); }
ErrorCode About_Imp::getNrOfDigIOConnections(uint8_t* c) { return count(main_, "DIGIO", c); }

// Layout version 2 and later count the serial ports in "RS232", version 1 in "SERIAL"; records
// of a version 0 or below have neither, and the version itself stands as the count.
ErrorCode About_Imp::getNrOfSerialConnections(uint8_t* c) {
    int32_t version = 0;
    if (!layoutVersion(&version)) return ERR_EEPROM;
    if (version >= 2) return count(main_, "RS232", c);
    if (version == 1) return count(main_, "SERIAL", c);
    if (c == nullptr) return ERR_INVALID_PARAMETER;
    *c = static_cast<uint8_t>(version);
    return ERR_SUCCESS;
}

// A resolution such as "800x480" means a display is fitted.
ErrorCode About_Imp::getIsDisplayAvailable(bool* available) {
    char value[256];
    if (!lookup(main_, "DISPLAY", value)) return ERR_EEPROM;
    if (available == nullptr) return ERR_INVALID_PARAMETER;
    *available = std::strchr(value, 'x') != nullptr;
    return ERR_SUCCESS;
}

// 1 and 2 are the two kinds of touch screen.
ErrorCode About_Imp::getIsTouchScreenAvailable(bool* a) { return flag(main_, "TOUCH", a, true); }
ErrorCode About_Imp::getIsWLANMounted(bool* m) { return flag(addOn_, "WLAN", m); }
ErrorCode About_Imp::getIsGPSMounted(bool* m) { return flag(addOn_, "GPS", m); }
ErrorCode About_Imp::getIsGPRSMounted(bool* m) { return flag(addOn_, "GSM", m); }
ErrorCode About_Imp::getIsBTMounted(bool* m) { return flag(addOn_, "BLUETOOTH", m); }

// Not backed by hardware on this unit.
ErrorCode About_Imp::getFrontPcbRev(char*, int32_t) { return ERR_NOT_SUPPORTED; }
ErrorCode About_Imp::hasOsBooted(bool*) { return ERR_NOT_SUPPORTED; }

ErrorCode About_Imp::getIsIOExpanderMounted(bool* mounted) {
    if (mounted == nullptr) return ERR_INVALID_PARAMETER;
    *mounted = false;
    return ERR_SUCCESS;
}

ErrorCode About_Imp::getIsAnybusMounted(bool* mounted) {
    if (mounted == nullptr) return ERR_INVALID_PARAMETER;
    *mounted = false;
    return ERR_SUCCESS;
}

ErrorCode About_Imp::getIOExpanderValue(uint16_t* value) {
    if (value == nullptr) return ERR_INVALID_PARAMETER;
    *value = 0;
    return ERR_SUCCESS;
}

} // namespace tavik::identity

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::About;

TAVIK_API About* TAVIK_CALL GetAbout(void) { return tavik::frame::createFresh<tavik::identity::About_Imp>(); }

TAVIK_API void TAVIK_CALL About_release(About* h) { tavik::frame::forwardRelease<Family::About>(h); }

#define TAVIK_ABOUT_TEXT(op)                                                                       \
    TAVIK_API ErrorCode TAVIK_CALL About_##op(About* h, char* buffer, int32_t length) {            \
        return forward<Family::About>(h, &About::op, buffer, length);                              \
    }
#define TAVIK_ABOUT_OUT(op, T)                                                                     \
    TAVIK_API ErrorCode TAVIK_CALL About_##op(About* h, T* out) {                                  \
        return forward<Family::About>(h, &About::op, out);                                         \
    }

TAVIK_ABOUT_TEXT(getMainPCBSerial)
TAVIK_ABOUT_TEXT(getUnitSerial)
TAVIK_ABOUT_TEXT(getMainPCBArt)
TAVIK_ABOUT_TEXT(getMainManufacturingDate)
TAVIK_ABOUT_TEXT(getMainHWversion)
TAVIK_ABOUT_TEXT(getMainProdRev)
TAVIK_ABOUT_TEXT(getMainProdArtNr)
TAVIK_ABOUT_OUT(getNrOfETHConnections, uint8_t)
TAVIK_ABOUT_OUT(getNrOfCANConnections, uint8_t)
TAVIK_ABOUT_OUT(getNrOfVideoConnections, uint8_t)
TAVIK_ABOUT_OUT(getNrOfUSBConnections, uint8_t)
TAVIK_ABOUT_OUT(getNrOfSerialConnections, uint8_t)
TAVIK_ABOUT_TEXT(getAddOnPCBSerial)
TAVIK_ABOUT_TEXT(getAddOnPCBArt)
TAVIK_ABOUT_TEXT(getAddOnManufacturingDate)
TAVIK_ABOUT_TEXT(getAddOnHWversion)
TAVIK_ABOUT_OUT(getIsWLANMounted, bool)
TAVIK_ABOUT_OUT(getIsGPSMounted, bool)
TAVIK_ABOUT_OUT(getIsGPRSMounted, bool)
TAVIK_ABOUT_OUT(getIsBTMounted, bool)
TAVIK_ABOUT_TEXT(getFrontPcbRev)
TAVIK_ABOUT_OUT(getNrOfDigIOConnections, uint8_t)
TAVIK_ABOUT_OUT(getIsDisplayAvailable, bool)
TAVIK_ABOUT_OUT(getIsTouchScreenAvailable, bool)
TAVIK_ABOUT_TEXT(getDisplayResolution)
TAVIK_ABOUT_OUT(getIsIOExpanderMounted, bool)
TAVIK_ABOUT_OUT(hasOsBooted, bool)
TAVIK_ABOUT_OUT(getIsAnybusMounted, bool)
TAVIK_ABOUT_OUT(getIOExpanderValue, uint16_t)
