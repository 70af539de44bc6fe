// Serial ports: the Windows communications functions on the port's file handle.
#include "platform/serial.h"
#include "platform/backend.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/text.h"

namespace tavik::platform {
namespace {

HANDLE native(SerialHandle port) { return reinterpret_cast<HANDLE>(port.value); }

static_assert(sizeof(DCB) <= sizeof(SerialSettings::native), "a DCB fits the native state");

BYTE parityByte(SerialParity p) {
    switch (p) {
    case SerialParity::Odd: return ODDPARITY;
    case SerialParity::Even: return EVENPARITY;
    case SerialParity::Mark: return MARKPARITY;
    case SerialParity::Space: return SPACEPARITY;
    case SerialParity::None: break;
    }
    return NOPARITY;
}

SerialParity parityOf(BYTE b) {
    switch (b) {
    case ODDPARITY: return SerialParity::Odd;
    case EVENPARITY: return SerialParity::Even;
    case MARKPARITY: return SerialParity::Mark;
    case SPACEPARITY: return SerialParity::Space;
    }
    return SerialParity::None;
}

BYTE stopByte(SerialStopBits s) {
    switch (s) {
    case SerialStopBits::OneAndHalf: return ONE5STOPBITS;
    case SerialStopBits::Two: return TWOSTOPBITS;
    case SerialStopBits::One: break;
    }
    return ONESTOPBIT;
}

SerialStopBits stopOf(BYTE b) {
    if (b == ONE5STOPBITS) return SerialStopBits::OneAndHalf;
    if (b == TWOSTOPBITS) return SerialStopBits::Two;
    return SerialStopBits::One;
}

} // namespace

namespace os {

SerialHandle openSerialPort(const std::string& name) {
    const std::wstring wide = win32::widen(name);
    if (wide.empty()) return {};
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    SerialHandle port;
    port.value = reinterpret_cast<NativeHandle>(h);
    return port;
}

void closeSerialPort(SerialHandle port) {
    if (port) CloseHandle(native(port));
}

bool setSerialBuffers(SerialHandle port, uint32_t inBytes, uint32_t outBytes) {
    return port && SetupComm(native(port), inBytes, outBytes) != 0;
}

bool setSerialTimeouts(SerialHandle port, const SerialTimeouts& t) {
    if (!port) return false;
    COMMTIMEOUTS c{};
    c.ReadIntervalTimeout = t.readInterval;
    c.ReadTotalTimeoutMultiplier = t.readTotalMultiplier;
    c.ReadTotalTimeoutConstant = t.readTotalConstant;
    c.WriteTotalTimeoutMultiplier = t.writeTotalMultiplier;
    c.WriteTotalTimeoutConstant = t.writeTotalConstant;
    return SetCommTimeouts(native(port), &c) != 0;
}

bool setSerialEventMask(SerialHandle port, uint32_t mask) {
    return port && SetCommMask(native(port), mask) != 0;
}

bool getSerialSettings(SerialHandle port, SerialSettings& s) {
    if (!port) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(native(port), &dcb)) return false;
    s.baudRate = dcb.BaudRate;
    s.dataBits = dcb.ByteSize;
    s.parity = parityOf(dcb.Parity);
    s.stopBits = stopOf(dcb.StopBits);
    s.ctsOutputFlow = dcb.fOutxCtsFlow != 0;
    s.dsrOutputFlow = dcb.fOutxDsrFlow != 0;
    s.xonXoffOutput = dcb.fOutX != 0;
    s.xonXoffInput = dcb.fInX != 0;
    s.discardNulls = dcb.fNull != 0;
    s.abortOnError = dcb.fAbortOnError != 0;
    s.binary = dcb.fBinary != 0;
    std::memcpy(s.native, &dcb, sizeof dcb);
    return true;
}

bool setSerialSettings(SerialHandle port, const SerialSettings& s) {
    if (!port) return false;
    DCB dcb;
    std::memcpy(&dcb, s.native, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = s.dataBits;
    dcb.Parity = parityByte(s.parity);
    dcb.StopBits = stopByte(s.stopBits);
    dcb.fOutxCtsFlow = s.ctsOutputFlow;
    dcb.fOutxDsrFlow = s.dsrOutputFlow;
    dcb.fOutX = s.xonXoffOutput;
    dcb.fInX = s.xonXoffInput;
    dcb.fNull = s.discardNulls;
    dcb.fAbortOnError = s.abortOnError;
    dcb.fBinary = s.binary;
    return SetCommState(native(port), &dcb) != 0;
}

bool purgeSerial(SerialHandle port, uint32_t flags) {
    return port && PurgeComm(native(port), flags) != 0;
}

bool readSerial(SerialHandle port, void* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    if (!port) return false;
    DWORD count = 0;
    if (!ReadFile(native(port), buffer, size, &count, nullptr)) return false;
    read = count;
    return true;
}

bool writeSerial(SerialHandle port, const void* data, uint32_t size, uint32_t& written) {
    written = 0;
    if (!port) return false;
    DWORD count = 0;
    if (!WriteFile(native(port), data, size, &count, nullptr)) return false;
    written = count;
    return true;
}


} // namespace os
} // namespace tavik::platform
