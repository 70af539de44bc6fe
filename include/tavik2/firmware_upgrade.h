/// \file
/// Upgrade and verification jobs for the FPGA, the system supervisor and the front microcontroller.
/// A job runs in the caller's thread (blocking) or in a job thread; follow it with getUpgradeStatus.
/// One job at a time across all processes.
///
/// Shared by the six start functions:
/// - ERR_INVALID_PARAMETER: null path, or a path longer than 255 characters.
/// - ERR_IN_PROGRESS: a job runs (in any process).
/// - Supervisor and front images are checked before the job starts: ERR_OPEN_FAILED (cannot be opened
///   or read), ERR_DATATYPE_MISMATCH (size out of range, or an image for the other target).
/// - Not blocking: ERR_SUCCESS once the job thread runs (ERR_CREATE_THREAD when it cannot start); the
///   job's own outcome is the result in its status (UPGRADE_FAILED).
/// - Blocking: the job's outcome, one of ERR_SUCCESS, ERR_OPEN_FAILED (image, port or driver),
///   ERR_INVALID_DATA (image does not fit or is malformed; a microcontroller whose product id is not
///   known has no flash to fit: its upgrade and its verification both fail so, before any flash
///   access), ERR_CHECKSUM, ERR_INIT_FAILED (no contact with
///   the bootloader), ERR_DEVICE_READ_DATA_FAILED, ERR_DEVICE_WRITE_DATA_FAILED, ERR_IOCTRL_FAILED,
///   ERR_VERIFY_FAILED.
#pragma once

#include "defs.h"
#include "error_code.h"

#ifdef __cplusplus
#include <cstddef>

namespace Varnholtstad {

// Step a firmware upgrade job is in or ended with (UpgradeStatus::action).
typedef int32_t UpgradeAction;
constexpr UpgradeAction UPGRADE_INIT = 0;      // preparing the target
constexpr UpgradeAction UPGRADE_CONNECT = 1;   // opening the serial port, synchronising with the bootloader
constexpr UpgradeAction UPGRADE_READ_FILE = 3; // reading and converting the image file (2 is never reported)
constexpr UpgradeAction UPGRADE_PROGRAM = 4;   // erasing and writing
constexpr UpgradeAction UPGRADE_VERIFY = 5;    // reading back and comparing
constexpr UpgradeAction UPGRADE_DONE = 6;      // ended successfully (percent 0, result 0)
constexpr UpgradeAction UPGRADE_FAILED = 7;    // ended with the error in result (percent 0)

// Job status as delivered by FirmwareUpgrade_getUpgradeStatus; the three bytes after percent are not written.
struct UpgradeStatus {
    UpgradeAction action;
    uint8_t percent;  // progress of the step, 0..100
    ErrorCode result; // 0 while all is well, else the failing step's result
};
static_assert(sizeof(UpgradeStatus) == 12, "UpgradeStatus is a 12-byte record");
static_assert(offsetof(UpgradeStatus, action) == 0, "UpgradeStatus::action at offset 0");
static_assert(offsetof(UpgradeStatus, percent) == 4, "UpgradeStatus::percent at offset 4");
static_assert(offsetof(UpgradeStatus, result) == 8, "UpgradeStatus::result at offset 8");

// Slot order is part of the binary interface: never reorder; new operations go after the last one.
struct FirmwareUpgrade {
    virtual ErrorCode startFpgaUpgrade(const char* path, bool blocking) = 0;
    virtual ErrorCode startFpgaVerification(const char* path, bool blocking) = 0;
    virtual ErrorCode startSSUpgrade(const char* path, bool blocking) = 0;
    virtual ErrorCode startSSVerification(const char* path, bool blocking) = 0;
    virtual ErrorCode startFrontUpgrade(const char* path, bool blocking) = 0;
    virtual ErrorCode startFrontVerification(const char* path, bool blocking) = 0;
    virtual ErrorCode getUpgradeStatus(UpgradeStatus* status, bool blocking) = 0;
    virtual ErrorCode shutDown() = 0;
    virtual void release() = 0;
};

} // namespace Varnholtstad

typedef Varnholtstad::FirmwareUpgrade Tavik2FirmwareUpgrade;
typedef Varnholtstad::UpgradeAction Tavik2UpgradeAction;
typedef Varnholtstad::UpgradeStatus Tavik2UpgradeStatus;
// The constants also without the namespace, spelled as in C.
using Varnholtstad::UPGRADE_INIT;
using Varnholtstad::UPGRADE_CONNECT;
using Varnholtstad::UPGRADE_READ_FILE;
using Varnholtstad::UPGRADE_PROGRAM;
using Varnholtstad::UPGRADE_VERIFY;
using Varnholtstad::UPGRADE_DONE;
using Varnholtstad::UPGRADE_FAILED;
#else
/// Handle of a FirmwareUpgrade object (Varnholtstad::FirmwareUpgrade in C++).
typedef struct Tavik2FirmwareUpgrade Tavik2FirmwareUpgrade;
/// Step a firmware upgrade job is in or ended with (Varnholtstad::UpgradeAction in C++).
typedef int32_t Tavik2UpgradeAction;
/// Values of Tavik2UpgradeAction (constants of namespace Varnholtstad in C++).
enum {
    UPGRADE_INIT = 0,      ///< Preparing the target.
    UPGRADE_CONNECT = 1,   ///< Opening the serial port, synchronising with the bootloader.
    UPGRADE_READ_FILE = 3, ///< Reading and converting the image file (2 is never reported).
    UPGRADE_PROGRAM = 4,   ///< Erasing and writing.
    UPGRADE_VERIFY = 5,    ///< Reading back and comparing.
    UPGRADE_DONE = 6,      ///< Ended successfully (percent 0, result 0).
    UPGRADE_FAILED = 7     ///< Ended with the error in result (percent 0).
};
/// Job status as delivered by FirmwareUpgrade_getUpgradeStatus (Varnholtstad::UpgradeStatus in C++);
/// the three bytes after percent are not written.
typedef struct Tavik2UpgradeStatus {
    Tavik2UpgradeAction action; ///< The step, one of the UPGRADE_ values.
    uint8_t percent;            ///< Progress of the step, 0..100.
    ErrorCode result;           ///< ERR_SUCCESS while all is well, else the failing step's result.
} Tavik2UpgradeStatus;
TAVIK_LAYOUT_CHECK(sizeof(Tavik2UpgradeStatus) == 12, upgrade_status_size);
TAVIK_LAYOUT_CHECK(offsetof(Tavik2UpgradeStatus, percent) == 4, upgrade_status_percent);
TAVIK_LAYOUT_CHECK(offsetof(Tavik2UpgradeStatus, result) == 8, upgrade_status_result);
#endif

/// New object on every call; null when it could not be allocated.
TAVIK_API Tavik2FirmwareUpgrade* TAVIK_CALL GetFirmwareUpgrade(void);

/// Waits briefly for an ended job's thread, then destroys the object; a running job goes on.
TAVIK_API void TAVIK_CALL FirmwareUpgrade_release(Tavik2FirmwareUpgrade* handle);

/// Programs the FPGA from the image file at path.
/// \return The codes of the start functions (above).
TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_startFpgaUpgrade(Tavik2FirmwareUpgrade* handle,
    const char* path, bool blocking);

/// Compares the FPGA with the image file at path.
/// \return The codes of the start functions (above).
TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_startFpgaVerification(Tavik2FirmwareUpgrade* handle,
    const char* path, bool blocking);

/// Programs the system supervisor from the image file at path (95000..1000000 bytes).
/// \return The codes of the start functions (above).
TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_startSSUpgrade(Tavik2FirmwareUpgrade* handle,
    const char* path, bool blocking);

/// Compares the system supervisor with the image file at path.
/// \return The codes of the start functions (above).
TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_startSSVerification(Tavik2FirmwareUpgrade* handle,
    const char* path, bool blocking);

/// Programs the front microcontroller from the image file at path (50000..110000 bytes).
/// \return The codes of the start functions (above).
TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_startFrontUpgrade(Tavik2FirmwareUpgrade* handle,
    const char* path, bool blocking);

/// Compares the front microcontroller with the image file at path.
/// \return The codes of the start functions (above).
TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_startFrontVerification(Tavik2FirmwareUpgrade* handle,
    const char* path, bool blocking);

/// Latest job status of this object (all zero before any job); blocking waits until the
/// job publishes a change.
/// \return ERR_SUCCESS, ERR_INVALID_PARAMETER (null status).
TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_getUpgradeStatus(Tavik2FirmwareUpgrade* handle,
    Tavik2UpgradeStatus* status, bool blocking);

/// Asks the platform service to shut the unit down.
/// \return ERR_SUCCESS, ERR_OPEN_FAILED (service missing), ERR_COMMAND_FAILED (service refused).
TAVIK_API ErrorCode TAVIK_CALL FirmwareUpgrade_shutDown(Tavik2FirmwareUpgrade* handle);
