/// \file
/// Unit identity: serial and article numbers, dates and revisions of the main and add-on boards,
/// and which interfaces and options are fitted. Answers come from the identity EEPROMs; no driver request.
///
/// Shared by every function here (see tavik2.h for the conventions of all families):
/// - A missing identity record gives ERR_EEPROM; it is checked before the out-parameter.
/// - Text operations are "text out": ERR_EEPROM, then ERR_BUFFER_SIZE (length too small, or negative),
///   then ERR_INVALID_PARAMETER (null buffer).
/// - Other out-pointers: null gives ERR_INVALID_PARAMETER.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
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

typedef Varnholtstad::About Tavik2About;
#else
/// Handle of an About object (Varnholtstad::About in C++).
typedef struct Tavik2About Tavik2About;
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2About* TAVIK_CALL GetAbout(void);

/// Closes what the object opened and destroys it; the handle is invalid afterwards.
TAVIK_API void TAVIK_CALL About_release(Tavik2About* handle);

/// Main board PCB serial number (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getMainPCBSerial(Tavik2About* handle, char* buffer,
    int32_t length);

/// Unit serial number (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getUnitSerial(Tavik2About* handle, char* buffer, int32_t length);

/// Main board PCB article number (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getMainPCBArt(Tavik2About* handle, char* buffer, int32_t length);

/// Main board manufacturing date (text out, as stored).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getMainManufacturingDate(Tavik2About* handle, char* buffer,
    int32_t length);

/// Main board hardware revision (text out); the record used depends on the record layout version.
/// \return ERR_SUCCESS, ERR_EEPROM (also for a missing or non-positive layout version), ERR_BUFFER_SIZE,
/// ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getMainHWversion(Tavik2About* handle, char* buffer,
    int32_t length);

/// Product revision (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getMainProdRev(Tavik2About* handle, char* buffer,
    int32_t length);

/// Product article number (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getMainProdArtNr(Tavik2About* handle, char* buffer,
    int32_t length);

/// Number of Ethernet connections; missing records count 0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null count).
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfETHConnections(Tavik2About* handle, uint8_t* count);

/// Number of CAN connections; missing records count 0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null count).
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfCANConnections(Tavik2About* handle, uint8_t* count);

/// Number of video inputs.
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfVideoConnections(Tavik2About* handle, uint8_t* count);

/// Number of USB host ports.
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfUSBConnections(Tavik2About* handle, uint8_t* count);

/// Number of serial ports (record chosen by the layout version).
/// \return ERR_SUCCESS, ERR_EEPROM (also for a missing layout version), ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfSerialConnections(Tavik2About* handle, uint8_t* count);

/// Add-on board PCB serial number (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getAddOnPCBSerial(Tavik2About* handle, char* buffer,
    int32_t length);

/// Add-on board PCB article number (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getAddOnPCBArt(Tavik2About* handle, char* buffer,
    int32_t length);

/// Add-on board manufacturing date (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getAddOnManufacturingDate(Tavik2About* handle, char* buffer,
    int32_t length);

/// Add-on board hardware revision (text out).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getAddOnHWversion(Tavik2About* handle, char* buffer,
    int32_t length);

/// Whether the WLAN module is fitted.
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getIsWLANMounted(Tavik2About* handle, bool* mounted);

/// Whether the GPS module is fitted.
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getIsGPSMounted(Tavik2About* handle, bool* mounted);

/// Whether the GSM/GPRS module is fitted.
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getIsGPRSMounted(Tavik2About* handle, bool* mounted);

/// Whether the Bluetooth module is fitted.
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getIsBTMounted(Tavik2About* handle, bool* mounted);

/// Not available on this unit; arguments are not examined.
/// \return ERR_NOT_SUPPORTED always; writes nothing.
TAVIK_API ErrorCode TAVIK_CALL About_getFrontPcbRev(Tavik2About* handle, char* buffer,
    int32_t length);

/// Number of digital I/O connections.
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getNrOfDigIOConnections(Tavik2About* handle, uint8_t* count);

/// Whether a display is fitted (the resolution record names one).
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getIsDisplayAvailable(Tavik2About* handle, bool* available);

/// Whether a touch screen is fitted.
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getIsTouchScreenAvailable(Tavik2About* handle, bool* available);

/// Display resolution text out, as stored (for example "800x480").
/// \return ERR_SUCCESS, ERR_EEPROM, ERR_BUFFER_SIZE, ERR_INVALID_PARAMETER.
TAVIK_API ErrorCode TAVIK_CALL About_getDisplayResolution(Tavik2About* handle, char* buffer,
    int32_t length);

/// Always delivers false.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null mounted).
TAVIK_API ErrorCode TAVIK_CALL About_getIsIOExpanderMounted(Tavik2About* handle, bool* mounted);

/// Not available on this unit; booted is not examined.
/// \return ERR_NOT_SUPPORTED always; writes nothing.
TAVIK_API ErrorCode TAVIK_CALL About_hasOsBooted(Tavik2About* handle, bool* booted);

/// Always delivers false.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null mounted).
TAVIK_API ErrorCode TAVIK_CALL About_getIsAnybusMounted(Tavik2About* handle, bool* mounted);

/// Always delivers 0.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null value).
TAVIK_API ErrorCode TAVIK_CALL About_getIOExpanderValue(Tavik2About* handle, uint16_t* value);
