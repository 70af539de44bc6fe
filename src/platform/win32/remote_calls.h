// The seam's device, board-library and service-control calls served by a remote simulated unit
// (see remote_client.h). device.cpp, board_library.cpp and service.cpp switch to these when
// remote::enabled(); each behaves as its Windows counterpart does when the hardware is absent
// while the server cannot be reached.
#pragma once

#include <cstdint>
#include <string>

#include "platform/board_library.h"
#include "platform/device.h"
#include "platform/remote_protocol.h"
#include "platform/service.h"

namespace tavik::platform::remote {

// Device handles of remote devices are numbers of this process that no Windows handle takes
// (low bits 11); a device stays usable only while the connection that opened it lasts.
DeviceHandle openDevice(const std::string& name);
bool deviceControl(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize, uint32_t& returned);
bool deviceRead(DeviceHandle device, void* buffer, uint32_t size, uint32_t& read);
void closeDevice(DeviceHandle device);

ServiceControlResult controlService(const std::string& serviceName, uint32_t code);

// One board-library call by ordinal (the fields per ordinal are those of remote_protocol.h).
// False when the server could not be asked; then `result`, `outs` and `data` are untouched.
struct BoardReply {
    uint32_t result = 0;
    uint32_t outs[kBoardOuts] = {};
    std::string data;
};
bool boardCall(BoardOrdinal ordinal, const uint32_t (&args)[kBoardArgs], const TavikWChar* className,
               const void* data, uint32_t dataLength, uint32_t readLength, BoardReply& reply);

} // namespace tavik::platform::remote
