/// \file
/// Result codes of every operation; GetErrorStringA/W give their messages. Keep in step with the
/// message table in src/frame/error_messages.cpp, which checks its size against ERR_CODE_COUNT at
/// compile time.
#pragma once

#include "defs.h"

#ifdef __cplusplus
enum ErrorCode : int32_t {
#else
/// Result of an operation: one of the ERR_ codes. A 32-bit integer in both languages.
typedef int32_t ErrorCode;
enum {
#endif
    ERR_SUCCESS = 0, ///< The operation succeeded.
    ERR_OPEN_FAILED = 1, ///< A driver, device, port or service could not be opened.
    ERR_NOT_SUPPORTED = 2, ///< The unit lacks the feature, or the operation does not exist on it.
    ERR_UNKNOWN_FEATURE = 3, ///< Unknown feature.
    ERR_DATATYPE_MISMATCH = 4, ///< A stored setting has the wrong type.
    ERR_CODE_NOT_EXIST = 5, ///< A stored value names no known code.
    ERR_BUFFER_SIZE = 6, ///< A caller buffer is too small, or a reply has the wrong size.
    ERR_IOCTRL_FAILED = 7, ///< A driver request failed.
    ERR_INVALID_DATA = 8, ///< A value is out of range, or data read is not valid.
    ERR_INVALID_PARAMETER = 9, ///< A null, released or foreign handle, a null pointer or an invalid argument.
    ERR_CREATE_THREAD = 10, ///< A thread could not be started.
    ERR_IN_PROGRESS = 11, ///< Another job of the kind is running.
    ERR_CHECKSUM = 12, ///< An image file has a wrong checksum.
    ERR_INIT_FAILED = 13, ///< Initialisation failed.
    ERR_VERIFY_FAILED = 14, ///< Verification found a difference.
    ERR_DEVICE_READ_DATA_FAILED = 15, ///< Reading from a device failed.
    ERR_DEVICE_WRITE_DATA_FAILED = 16, ///< Writing to a device failed.
    ERR_COMMAND_FAILED = 17, ///< A command or an internal step failed.
    ERR_EEPROM = 18, ///< An identity EEPROM record is missing or could not be accessed.
    ERR_GET_TEMP = 19, ///< A temperature could not be read.
    ERR_AVERAGE_CALC_STARTED = 20, ///< An averaging is already running (possibly in another process).
    ERR_NOT_RUNNING = 21, ///< The background function is not running.
    ERR_I2C_EXPANDER_READ_FAILED = 22, ///< Reading the I2C expander failed.
    ERR_I2C_EXPANDER_WRITE_FAILED = 23, ///< Writing the I2C expander failed.
    ERR_I2C_EXPANDER_INIT_FAILED = 24, ///< Initialising the I2C expander failed.
    ERR_NEWER_SS_VERSION_REQUIRED = 25, ///< The system supervisor firmware is too old.
    ERR_NEWER_FPGA_VERSION_REQUIRED = 26, ///< The FPGA version is too old.
    ERR_NEWER_FRONT_VERSION_REQUIRED = 27, ///< The front microcontroller firmware is too old.
    ERR_TELEMATICS_GPRS_NOT_AVAILABLE = 28, ///< No GSM/GPRS module fitted.
    ERR_TELEMATICS_WLAN_NOT_AVAILABLE = 29, ///< No WLAN module fitted.
    ERR_TELEMATICS_BT_NOT_AVAILABLE = 30, ///< No Bluetooth module fitted.
    ERR_TELEMATICS_GPS_NOT_AVAILABLE = 31, ///< No GPS module fitted.
    ERR_MEMORY_ALLOCATION = 32, ///< Out of memory.
    ERR_JOIN_THREAD = 33, ///< A thread could not be joined.
};

#ifdef __cplusplus
// Number of defined codes (0 .. ERR_CODE_COUNT-1).
constexpr int32_t ERR_CODE_COUNT = 34;
#else
/// Number of defined codes (0 .. ERR_CODE_COUNT-1).
enum { ERR_CODE_COUNT = 34 };
#endif
