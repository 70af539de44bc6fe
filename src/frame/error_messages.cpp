// Result-code messages and their exported lookups.
#include "frame/wide_text.h"
#include "tavik2/error_code.h"
#include "tavik2/messages.h"

namespace tavik::frame {
namespace {

// Indexed by ErrorCode; the texts are part of the interface ("calulation" included).
constexpr TextPair kErrorMessages[] = {
    TAVIK_TEXT_PAIR("ERR_SUCCESS"),
    TAVIK_TEXT_PAIR("Open failed"),
    TAVIK_TEXT_PAIR("Not supported"),
    TAVIK_TEXT_PAIR("Unknown feature"),
    TAVIK_TEXT_PAIR("Datatype mismatch"),
    TAVIK_TEXT_PAIR("Code not exist"),
    TAVIK_TEXT_PAIR("Buffer size error"),
    TAVIK_TEXT_PAIR("IoCtrl operation failed"),
    TAVIK_TEXT_PAIR("Invalid data (range)"),
    TAVIK_TEXT_PAIR("Invalid parameter"),
    TAVIK_TEXT_PAIR("Error creating thread"),
    TAVIK_TEXT_PAIR("Function in progress"),
    TAVIK_TEXT_PAIR("Checksum incorrect when converting file"),
    TAVIK_TEXT_PAIR("Initialisation failed"),
    TAVIK_TEXT_PAIR("Verify failed"),
    TAVIK_TEXT_PAIR("Failed to read data from device"),
    TAVIK_TEXT_PAIR("Failed to write data to device"),
    TAVIK_TEXT_PAIR("Failed to execute command"),
    TAVIK_TEXT_PAIR("Failed to access eeprom"),
    TAVIK_TEXT_PAIR("Failed to read temperature"),
    TAVIK_TEXT_PAIR("Average calulation started by other process"),
    TAVIK_TEXT_PAIR("Function not running"),
    TAVIK_TEXT_PAIR("Failed to read from I2C expander"),
    TAVIK_TEXT_PAIR("Failed to write to I2C expander"),
    TAVIK_TEXT_PAIR("I2C expander initialisation failed"),
    TAVIK_TEXT_PAIR("A newer version of SS is required"),
    TAVIK_TEXT_PAIR("A newer version of FPGA is required"),
    TAVIK_TEXT_PAIR("A newer version of Front uc is required"),
    TAVIK_TEXT_PAIR("The GSM/GPRS module is not available"),
    TAVIK_TEXT_PAIR("The WLAN module is not available"),
    TAVIK_TEXT_PAIR("The Bluetooth module is not available"),
    TAVIK_TEXT_PAIR("The GPS module is not available"),
    TAVIK_TEXT_PAIR("Failed to allocate memory"),
    TAVIK_TEXT_PAIR("Failed to join thread"),
};
static_assert(sizeof(kErrorMessages) / sizeof(kErrorMessages[0]) == ERR_CODE_COUNT,
              "one message per ErrorCode");

// Codes outside the table get this instead of a read past its end.
constexpr TextPair kUnknownCode = TAVIK_TEXT_PAIR("Unknown error code");

const TextPair& errorMessage(int32_t code) {
    return code >= 0 && code < ERR_CODE_COUNT ? kErrorMessages[code] : kUnknownCode;
}

} // namespace
} // namespace tavik::frame

TAVIK_API const char* TAVIK_CALL GetErrorStringA(int32_t code) {
    return tavik::frame::errorMessage(code).narrow;
}

TAVIK_API const TavikWChar* TAVIK_CALL GetErrorStringW(int32_t code) {
    return tavik::frame::errorMessage(code).wide;
}
