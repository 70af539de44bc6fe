// Unit identity: serial and article numbers, dates and revisions of the main and add-on boards,
// and which interfaces and options are fitted. Answers come from the identity EEPROMs; no driver request.
// Text operations copy a zero-terminated text into buffer; length is its size in bytes, terminating zero
// included. Too small: ERR_BUFFER_SIZE (6); null buffer: ERR_INVALID_PARAMETER (9).
// A missing identity record gives ERR_EEPROM (18).
#pragma once

#include "defs.h"
#include "error_code.h"

namespace Varnholtstad {

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct About {
    virtual ErrorCode getMainPCBSerial(char* buffer, int32_t length) = 0;
    virtual ErrorCode getUnitSerial(char* buffer, int32_t length) = 0;
    virtual ErrorCode getMainPCBArt(char* buffer, int32_t length) = 0;
    virtual ErrorCode getMainManufacturingDate(char* buffer, int32_t length) = 0;
    virtual ErrorCode getMainHWversion(char* buffer, int32_t length) = 0;
    virtual ErrorCode getMainProdRev(char* buffer, int32_t length) = 0;
    virtual ErrorCode getMainProdArtNr(char* buffer, int32_t length) = 0;
    virtual ErrorCode getNrOfETHConnections(uint8_t* count) = 0;
    virtual ErrorCode getNrOfCANConnections(uint8_t* count) = 0;
    virtual ErrorCode getNrOfVideoConnections(uint8_t* count) = 0;
    virtual ErrorCode getNrOfUSBConnections(uint8_t* count) = 0;
    virtual ErrorCode getNrOfSerialConnections(uint8_t* count) = 0;
    virtual ErrorCode getAddOnPCBSerial(char* buffer, int32_t length) = 0;
    virtual ErrorCode getAddOnPCBArt(char* buffer, int32_t length) = 0;
    virtual ErrorCode getAddOnManufacturingDate(char* buffer, int32_t length) = 0;
    virtual ErrorCode getAddOnHWversion(char* buffer, int32_t length) = 0;
    virtual ErrorCode getIsWLANMounted(bool* mounted) = 0;
    virtual ErrorCode getIsGPSMounted(bool* mounted) = 0;
    virtual ErrorCode getIsGPRSMounted(bool* mounted) = 0;
    virtual ErrorCode getIsBTMounted(bool* mounted) = 0;
    virtual ErrorCode getFrontPcbRev(char* buffer, int32_t length) = 0;
    virtual void release() = 0;
    virtual ErrorCode getNrOfDigIOConnections(uint8_t* count) = 0;
    virtual ErrorCode getIsDisplayAvailable(bool* available) = 0;
    virtual ErrorCode getIsTouchScreenAvailable(bool* available) = 0;
    virtual ErrorCode getDisplayResolution(char* buffer, int32_t length) = 0;
    virtual ErrorCode getIsIOExpanderMounted(bool* mounted) = 0;
    virtual ErrorCode hasOsBooted(bool* booted) = 0;
    virtual ErrorCode getIsAnybusMounted(bool* mounted) = 0;
    virtual ErrorCode getIOExpanderValue(uint16_t* value) = 0;
};

} // namespace Varnholtstad

// Every exported operation forwards to the slot of the same name and returns its result unchanged;
// a null handle gives ERR_INVALID_PARAMETER (9) and a null handle to release does nothing.
// Out-parameters are written only on success unless the comment says otherwise.

// New object on every call; null when it could not be allocated.
TAVIK_API Varnholtstad::About* TAVIK_CALL GetAbout(void);

// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL About_release(Varnholtstad::About* handle);

// Main board PCB serial number (text).
TAVIK_API ErrorCode TAVIK_CALL About_getMainPCBSerial(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Unit serial number (text).
TAVIK_API ErrorCode TAVIK_CALL About_getUnitSerial(Varnholtstad::About* handle, char* buffer, int32_t length);

// Main board PCB article number (text).
TAVIK_API ErrorCode TAVIK_CALL About_getMainPCBArt(Varnholtstad::About* handle, char* buffer, int32_t length);

// Main board manufacturing date (text, as stored).
TAVIK_API ErrorCode TAVIK_CALL About_getMainManufacturingDate(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Main board hardware revision (text); the record used depends on the record layout version.
TAVIK_API ErrorCode TAVIK_CALL About_getMainHWversion(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Product revision (text).
TAVIK_API ErrorCode TAVIK_CALL About_getMainProdRev(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Product article number (text).
TAVIK_API ErrorCode TAVIK_CALL About_getMainProdArtNr(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Number of Ethernet connections; missing records count 0, always succeeds.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfETHConnections(Varnholtstad::About* handle, uint8_t* count);

// Number of CAN connections; missing records count 0, always succeeds.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfCANConnections(Varnholtstad::About* handle, uint8_t* count);

// Number of video inputs.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfVideoConnections(Varnholtstad::About* handle, uint8_t* count);

// Number of USB host ports.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfUSBConnections(Varnholtstad::About* handle, uint8_t* count);

// Number of serial ports.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfSerialConnections(Varnholtstad::About* handle, uint8_t* count);

// Add-on board PCB serial number (text).
TAVIK_API ErrorCode TAVIK_CALL About_getAddOnPCBSerial(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Add-on board PCB article number (text).
TAVIK_API ErrorCode TAVIK_CALL About_getAddOnPCBArt(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Add-on board manufacturing date (text).
TAVIK_API ErrorCode TAVIK_CALL About_getAddOnManufacturingDate(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Add-on board hardware revision (text).
TAVIK_API ErrorCode TAVIK_CALL About_getAddOnHWversion(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Whether the WLAN module is fitted.
TAVIK_API ErrorCode TAVIK_CALL About_getIsWLANMounted(Varnholtstad::About* handle, bool* mounted);

// Whether the GPS module is fitted.
TAVIK_API ErrorCode TAVIK_CALL About_getIsGPSMounted(Varnholtstad::About* handle, bool* mounted);

// Whether the GSM/GPRS module is fitted.
TAVIK_API ErrorCode TAVIK_CALL About_getIsGPRSMounted(Varnholtstad::About* handle, bool* mounted);

// Whether the Bluetooth module is fitted.
TAVIK_API ErrorCode TAVIK_CALL About_getIsBTMounted(Varnholtstad::About* handle, bool* mounted);

// Not available on this unit: always ERR_NOT_SUPPORTED (2), writes nothing.
TAVIK_API ErrorCode TAVIK_CALL About_getFrontPcbRev(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Number of digital I/O connections.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfDigIOConnections(Varnholtstad::About* handle, uint8_t* count);

// Whether a display is fitted.
TAVIK_API ErrorCode TAVIK_CALL About_getIsDisplayAvailable(Varnholtstad::About* handle, bool* available);

// Whether a touch screen is fitted.
TAVIK_API ErrorCode TAVIK_CALL About_getIsTouchScreenAvailable(Varnholtstad::About* handle, bool* available);

// Display resolution text as stored (for example "800x480").
TAVIK_API ErrorCode TAVIK_CALL About_getDisplayResolution(Varnholtstad::About* handle, char* buffer,
    int32_t length);

// Always delivers false.
TAVIK_API ErrorCode TAVIK_CALL About_getIsIOExpanderMounted(Varnholtstad::About* handle, bool* mounted);

// Not available on this unit: always ERR_NOT_SUPPORTED (2), writes nothing.
TAVIK_API ErrorCode TAVIK_CALL About_hasOsBooted(Varnholtstad::About* handle, bool* booted);

// Always delivers false.
TAVIK_API ErrorCode TAVIK_CALL About_getIsAnybusMounted(Varnholtstad::About* handle, bool* mounted);

// Always delivers 0.
TAVIK_API ErrorCode TAVIK_CALL About_getIOExpanderValue(Varnholtstad::About* handle, uint16_t* value);
