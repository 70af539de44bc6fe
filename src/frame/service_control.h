// Control codes to the platform service "TavikService", the unit's own Windows service. The
// library reaches it only through these codes and the keys it shares in the settings file.
#pragma once

#include <cstdint>

#include "platform/service.h"
#include "tavik2/error_code.h"

namespace tavik::frame {

constexpr const char* kPlatformServiceName = "TavikService";

// User-defined control codes (128..255) the service understands.
enum ServiceControlCode : uint32_t {
    kServiceShutDown = 129,               // shut the unit down (firmware upgrade)
    kServiceApplyLedDimming = 132,        // apply "UseLEDDimming" from the settings file
    kServicePowerMgrUnregister = 133,     // the application leaves controlled suspend / shutdown
    kServicePowerMgrRegisterConfig1 = 134, // the application takes part, configuration 1
    kServicePowerMgrRegisterConfig2 = 135, // the application takes part, configuration 2
};

// Sends `code` to the platform service once: no retry, no waiting for the service to act.
platform::ServiceControlResult sendServiceControl(uint32_t code);

// The result code a sender reports for an outcome: not opened ERR_OPEN_FAILED, refused
// ERR_COMMAND_FAILED, accepted ERR_SUCCESS.
ErrorCode serviceControlError(platform::ServiceControlResult result);

} // namespace tavik::frame
