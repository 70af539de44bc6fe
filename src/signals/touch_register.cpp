#include "signals/touch_register.h"

namespace tavik::signals {

ErrorCode writeTouchRegister(frame::DriverChannel& channel, uint8_t reg, uint16_t value) {
    const uint8_t request[4] = {reg, 0, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return channel.requestUnchecked(kReqWriteTouchRegister, request, sizeof request, nullptr, 0);
}

ErrorCode readTouchRegister(frame::DriverChannel& channel, uint8_t reg, uint16_t* value) {
    uint8_t reply[4] = {};
    if (const ErrorCode e = channel.transfer(kReqReadTouchRegister, &reg, 1, reply, sizeof reply, sizeof reply);
        e != ERR_SUCCESS)
        return e;
    *value = static_cast<uint16_t>(reply[2] | reply[3] << 8);
    return ERR_SUCCESS;
}

} // namespace tavik::signals
