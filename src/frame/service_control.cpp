#include "frame/service_control.h"

namespace tavik::frame {

platform::ServiceControlResult sendServiceControl(uint32_t code) {
    return platform::controlService(kPlatformServiceName, code);
}

ErrorCode serviceControlError(platform::ServiceControlResult result) {
    switch (result) {
    case platform::ServiceControlResult::Accepted: return ERR_SUCCESS;
    case platform::ServiceControlResult::Refused: return ERR_COMMAND_FAILED;
    case platform::ServiceControlResult::NotOpened: break;
    }
    return ERR_OPEN_FAILED;
}

} // namespace tavik::frame
