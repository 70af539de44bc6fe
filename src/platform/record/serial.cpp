// Recording of serial-port traffic: forwards to the backend, then writes one trace line. The
// line's time is when the call returned; reads and writes carry their bytes.
#include <algorithm>

#include "platform/backend.h"
#include "platform/record/recorder.h"

namespace tavik::platform {
namespace {

using record::HandleKind;

record::Line portLine(const char* kind, SerialHandle port) {
    record::Line line(kind);
    line.text("port", record::nameOf(HandleKind::SerialPort, port.value));
    return line;
}

} // namespace

SerialHandle openSerialPort(const std::string& name) {
    const SerialHandle h = os::openSerialPort(name);
    if (h) record::noteOpen(HandleKind::SerialPort, h.value, name);
    if (record::active()) record::Line("serial_open").text("port", name).flag("ok", h.valid()).commit();
    return h;
}

void closeSerialPort(SerialHandle port) {
    if (record::active() && port) portLine("serial_close", port).commit();
    if (port) record::noteClose(HandleKind::SerialPort, port.value);
    os::closeSerialPort(port);
}

bool setSerialBuffers(SerialHandle port, uint32_t inBytes, uint32_t outBytes) {
    const bool ok = os::setSerialBuffers(port, inBytes, outBytes);
    const uint32_t args[] = {inBytes, outBytes};
    if (record::active()) portLine("serial_buffers", port).numbers("args", args, 2).flag("ok", ok).commit();
    return ok;
}

bool setSerialTimeouts(SerialHandle port, const SerialTimeouts& t) {
    const bool ok = os::setSerialTimeouts(port, t);
    const uint32_t args[] = {t.readInterval, t.readTotalMultiplier, t.readTotalConstant, t.writeTotalMultiplier,
                             t.writeTotalConstant};
    if (record::active()) portLine("serial_timeouts", port).numbers("args", args, 5).flag("ok", ok).commit();
    return ok;
}

bool setSerialEventMask(SerialHandle port, uint32_t mask) {
    const bool ok = os::setSerialEventMask(port, mask);
    if (record::active()) portLine("serial_mask", port).numbers("args", &mask, 1).flag("ok", ok).commit();
    return ok;
}

bool getSerialSettings(SerialHandle port, SerialSettings& settings) {
    const bool ok = os::getSerialSettings(port, settings);
    if (record::active()) {
        record::Line line = portLine("serial_get", port);
        if (ok) {
            uint32_t args[5];
            record::settingsArgs(settings, args);
            line.numbers("out", args, 5);
        }
        line.flag("ok", ok).commit();
    }
    return ok;
}

bool setSerialSettings(SerialHandle port, const SerialSettings& settings) {
    const bool ok = os::setSerialSettings(port, settings);
    if (record::active()) {
        uint32_t args[5];
        record::settingsArgs(settings, args);
        portLine("serial_set", port).numbers("args", args, 5).flag("ok", ok).commit();
    }
    return ok;
}

bool purgeSerial(SerialHandle port, uint32_t flags) {
    const bool ok = os::purgeSerial(port, flags);
    if (record::active()) portLine("serial_purge", port).numbers("args", &flags, 1).flag("ok", ok).commit();
    return ok;
}

bool readSerial(SerialHandle port, void* buffer, uint32_t size, uint32_t& read) {
    const bool ok = os::readSerial(port, buffer, size, read);
    if (record::active())
        portLine("serial_read", port)
            .number("size", size)
            .bytes("out", buffer, buffer != nullptr ? std::min(read, size) : 0)
            .number("ret", read)
            .flag("ok", ok)
            .commit();
    return ok;
}

bool writeSerial(SerialHandle port, const void* data, uint32_t size, uint32_t& written) {
    const bool ok = os::writeSerial(port, data, size, written);
    if (record::active())
        portLine("serial_write", port).bytes("in", data, data != nullptr ? size : 0).number("ret", written).flag("ok", ok).commit();
    return ok;
}

} // namespace tavik::platform
