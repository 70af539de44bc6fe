// The auxiliary driver as the simulated unit plays it: its devices, every request of the index
// with its buffer sizes, and the handlers that give each request the hardware's behaviour.
#pragma once

#include <cstdint>
#include <string>

#include "sim/unit.h"

namespace tavik::sim {

// A request that reached its handler with the sizes of the index. The handler writes `out`
// (outSize bytes) and sets `returned`; false means the request fails (DeviceIoControl = 0).
struct Request {
    const std::string& device;
    uint32_t code;
    const uint8_t* in;
    uint32_t inSize;
    uint8_t* out;
    uint32_t outSize;
    uint32_t& returned;
    std::string& note; // why it failed, or what it did, for the log
};

using RequestHandler = bool (*)(Txn& txn, Request& request);

// Installs the handler of one request code; a later registration replaces an earlier one.
void registerRequestHandler(uint32_t code, RequestHandler handler);

// Adds a handler for a request that several parts of the unit act on (0x942 switches the FPGA
// configuration path and the microcontrollers alike). Added handlers run after the registered
// one (or alone when there is none), in the same transaction and in the order they were added;
// the request fails when any of them fails.
void addRequestHandler(uint32_t code, RequestHandler handler);

// Whether the device can be opened now (driver fitted, not made absent by a fault).
bool driverDeviceOpen(const std::string& device);

// Serves one request: faults, index check, handler, log.
bool driverDeviceControl(const std::string& device, uint32_t code, const uint8_t* in,
                         uint32_t inSize, uint8_t* out, uint32_t outSize, uint32_t& returned);

// Serves one read on a device (video frames); fails unless a model serves reads.
bool driverDeviceRead(const std::string& device, uint8_t* buffer, uint32_t size, uint32_t& read);

// One plain read of a device served by a model. The handler fills `buffer` with at most `size`
// bytes and sets `read`; false means the read fails (ReadFile = 0).
struct ReadRequest {
    const std::string& device;
    uint8_t* buffer;
    uint32_t size;
    uint32_t& read;
    std::string& note;
};

// A device of another driver that a model serves with plain reads (the video capture devices):
// `present` says whether it can be opened now, `read` serves a read. Reads are logged with code 0
// (as opens are) and take the faults "fail" (the read fails) and "count" (only "count" bytes).
using ReadPresence = bool (*)(Txn& txn, const std::string& device);
using ReadHandler = bool (*)(Txn& txn, ReadRequest& request);
void registerReadDevice(const std::string& device, ReadPresence present, ReadHandler read);

// Names of the driver's devices.
constexpr const char* kMainDevice = "\\\\.\\TavikDrv";

} // namespace tavik::sim
