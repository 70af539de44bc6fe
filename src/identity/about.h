// The About family: the unit's identity records and fitted options, read from the two identity
// EEPROM images. No driver request is ever sent.
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "identity/eeprom_image.h"
#include "tavik2/about.h"

namespace tavik::identity {

// The decimal integer at the start of a record value: leading blanks skipped, an optional sign,
// then digits; no digits gives 0. `value` saturates at the int32 range, `low8` is the exact
// value modulo 256 (what an 8-bit count stores).
struct RecordNumber {
    int32_t value = 0;
    uint8_t low8 = 0;
};
RecordNumber parseRecordNumber(const char* text);

class About_Imp final : public Varnholtstad::About {
public:
    About_Imp();
    ~About_Imp();
    About_Imp(const About_Imp&) = delete;
    About_Imp& operator=(const About_Imp&) = delete;

    ErrorCode getMainPCBSerial(char* buffer, int32_t length) override;
    ErrorCode getUnitSerial(char* buffer, int32_t length) override;
    ErrorCode getMainPCBArt(char* buffer, int32_t length) override;
    ErrorCode getMainManufacturingDate(char* buffer, int32_t length) override;
    ErrorCode getMainHWversion(char* buffer, int32_t length) override;
    ErrorCode getMainProdRev(char* buffer, int32_t length) override;
    ErrorCode getMainProdArtNr(char* buffer, int32_t length) override;
    ErrorCode getNrOfETHConnections(uint8_t* count) override;
    ErrorCode getNrOfCANConnections(uint8_t* count) override;
    ErrorCode getNrOfVideoConnections(uint8_t* count) override;
    ErrorCode getNrOfUSBConnections(uint8_t* count) override;
    ErrorCode getNrOfSerialConnections(uint8_t* count) override;
    ErrorCode getAddOnPCBSerial(char* buffer, int32_t length) override;
    ErrorCode getAddOnPCBArt(char* buffer, int32_t length) override;
    ErrorCode getAddOnManufacturingDate(char* buffer, int32_t length) override;
    ErrorCode getAddOnHWversion(char* buffer, int32_t length) override;
    ErrorCode getIsWLANMounted(bool* mounted) override;
    ErrorCode getIsGPSMounted(bool* mounted) override;
    ErrorCode getIsGPRSMounted(bool* mounted) override;
    ErrorCode getIsBTMounted(bool* mounted) override;
    ErrorCode getFrontPcbRev(char* buffer, int32_t length) override;
    void release() override;
    ErrorCode getNrOfDigIOConnections(uint8_t* count) override;
    ErrorCode getIsDisplayAvailable(bool* available) override;
    ErrorCode getIsTouchScreenAvailable(bool* available) override;
    ErrorCode getDisplayResolution(char* buffer, int32_t length) override;
    ErrorCode getIsIOExpanderMounted(bool* mounted) override;
    ErrorCode hasOsBooted(bool* booted) override;
    ErrorCode getIsAnybusMounted(bool* mounted) override;
    ErrorCode getIOExpanderValue(uint16_t* value) override;

private:
    // A record value into a cleared work buffer; false when the image is missing or the lookup
    // fails.
    static bool lookup(const EepromImage* image, const char* key, char (&value)[256]);
    static ErrorCode text(const EepromImage* image, const char* key, char* buffer, int32_t length);
    static ErrorCode count(const EepromImage* image, const char* key, uint8_t* out);
    // A count that is 1 (or, with `orTwo`, also 2) means fitted.
    static ErrorCode flag(const EepromImage* image, const char* key, bool* out, bool orTwo = false);
    // The two summed counts: a missing record counts 0, never fails.
    static ErrorCode sum(const EepromImage* image, const char* first, const char* second, uint8_t* out);
    // The layout version of the main board's records ("DATA"); false when missing.
    bool layoutVersion(int32_t* version) const;

    frame::DriverChannel channel_; // opened as the family always has; no operation uses it
    EepromImage* main_;
    EepromImage* addOn_;
};

} // namespace tavik::identity
