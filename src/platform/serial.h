// Serial ports: CreateFileW on a port name such as "COM1", SetupComm, SetCommTimeouts,
// SetCommMask, GetCommState / SetCommState, PurgeComm, ReadFile, WriteFile, CloseHandle.
//
// Every call is synchronous. Only readSerial blocks beyond the system call, for as long as the
// time-outs set with setSerialTimeouts allow. A call on an invalid handle fails without effect.
// On the host, "COMn" opens the terminal named by the environment variable TAVIK_COMn (a
// USB-serial adapter, or the pseudo-terminal of a bootloader emulator); without it "COM1" is
// served by the simulated unit's serial line on a pseudo-terminal of its own.
#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace tavik::platform {

struct SerialTag {};
using SerialHandle = Handle<SerialTag>;

// Opens a port for reading and writing, unshared, existing device, no special flags. Returns an
// invalid handle when the port is absent, taken or refuses the open. The caller closes a valid
// handle with closeSerialPort.
SerialHandle openSerialPort(const std::string& name);

// Closes the port. An invalid handle is ignored.
void closeSerialPort(SerialHandle port);

// SetupComm: recommended driver buffer sizes in bytes. False when refused.
bool setSerialBuffers(SerialHandle port, uint32_t inBytes, uint32_t outBytes);

// COMMTIMEOUTS, in milliseconds. All bits set in readInterval and readTotalMultiplier with a
// readTotalConstant between 1 and kSerialNoLimit - 1 make a read return as soon as any byte is
// there, or after readTotalConstant with nothing. Zero write values: writes have no time limit.
constexpr uint32_t kSerialNoLimit = 0xFFFFFFFFu; // MAXDWORD
struct SerialTimeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;
};
bool setSerialTimeouts(SerialHandle port, const SerialTimeouts& timeouts);

// SetCommMask: the events the port reports (EV_ERR: line errors only).
constexpr uint32_t kSerialEventErrors = 0x0080;
bool setSerialEventMask(SerialHandle port, uint32_t mask);

// The line settings (DCB). getSerialSettings fills every field, `native` with the backend's whole
// state, so that setSerialSettings of an unchanged copy restores the port exactly; the named
// fields are applied on top of `native`.
enum class SerialParity : uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class SerialStopBits : uint8_t { One = 0, OneAndHalf = 1, Two = 2 };
struct SerialSettings {
    uint32_t baudRate = 0;
    uint8_t dataBits = 8;
    SerialParity parity = SerialParity::None;
    SerialStopBits stopBits = SerialStopBits::One;
    bool ctsOutputFlow = false;  // fOutxCtsFlow
    bool dsrOutputFlow = false;  // fOutxDsrFlow
    bool xonXoffOutput = false;  // fOutX
    bool xonXoffInput = false;   // fInX
    bool discardNulls = false;   // fNull
    bool abortOnError = false;   // fAbortOnError
    bool binary = true;          // fBinary: bytes pass unchanged (the only mode Windows has)
    alignas(8) uint8_t native[128] = {};
};
bool getSerialSettings(SerialHandle port, SerialSettings& settings);
// False when the port refuses the settings.
bool setSerialSettings(SerialHandle port, const SerialSettings& settings);

// PurgeComm flags.
constexpr uint32_t kPurgeAbortOutput = 0x0001; // PURGE_TXABORT
constexpr uint32_t kPurgeAbortInput = 0x0002;  // PURGE_RXABORT
constexpr uint32_t kPurgeClearOutput = 0x0004; // PURGE_TXCLEAR
constexpr uint32_t kPurgeClearInput = 0x0008;  // PURGE_RXCLEAR
bool purgeSerial(SerialHandle port, uint32_t flags);

// Reads up to `size` bytes, waiting as the time-outs say. False on a line or device error;
// `read` is the byte count (0 after a time-out with nothing received).
bool readSerial(SerialHandle port, void* buffer, uint32_t size, uint32_t& read);

// Writes up to `size` bytes. False on an error; `written` is the byte count.
bool writeSerial(SerialHandle port, const void* data, uint32_t size, uint32_t& written);

} // namespace tavik::platform
