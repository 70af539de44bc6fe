// The touch controller's register protocol: one 16-bit register value read or written per driver
// request, shared by the TouchScreen and TouchScreenCalib families.
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"

namespace tavik::signals {

// in: register number, 0, value (16-bit LE).
constexpr uint32_t kReqWriteTouchRegister = frame::requestCode(0x96F);
// in: register number; out: 2 bytes not used, value (16-bit LE). Exactly 4 bytes come back.
constexpr uint32_t kReqReadTouchRegister = frame::requestCode(0x96E);

// Writes one register; the driver's byte count is not checked.
ErrorCode writeTouchRegister(frame::DriverChannel& channel, uint8_t reg, uint16_t value);
// Reads one register: ERR_IOCTRL_FAILED, ERR_BUFFER_SIZE unless exactly 4 bytes came back.
ErrorCode readTouchRegister(frame::DriverChannel& channel, uint8_t reg, uint16_t* value);

} // namespace tavik::signals
