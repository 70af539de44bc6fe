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

// Whether the process that last hosted the named service ended without stopping it (killed,
// crashed), so that what it marked in the settings file (its "running" key) is stale. Called by
// the power manager each time it finds the service marked as running; does not block. Windows:
// false (the service manager runs the service, which keeps its own keys). Host: the home's
// service lock (platform/host/service_host.h) is free although its holder never stopped.
bool serviceHostDied(const std::string& serviceName);

} // namespace tavik::platform
