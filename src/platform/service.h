// The service manager: OpenSCManagerW / OpenServiceW / ControlService / CloseServiceHandle.
#pragma once

#include <cstdint>
#include <string>

namespace tavik::platform {

enum class ServiceControlResult {
    NotOpened, // the manager or the service could not be opened
    Refused,   // ControlService returned zero
    Accepted,
};

// Sends a user-defined control code to the named service on the local machine, opening the
// manager with SC_MANAGER_ENUMERATE_SERVICE and the service with SERVICE_USER_DEFINED_CONTROL.
// No retry and no waiting beyond the call itself; every handle opened is closed again.
ServiceControlResult controlService(const std::string& serviceName, uint32_t code);

} // namespace tavik::platform
