// User-defined control codes to a service through the local service manager, or with TAVIK_SIM
// set to the remote simulated unit's service.
#include "platform/service.h"
#include "platform/backend.h"

#include <windows.h>

#include "platform/win32/remote_calls.h"
#include "platform/win32/remote_client.h"
#include "platform/win32/text.h"

namespace tavik::platform {

namespace os {

ServiceControlResult controlService(const std::string& serviceName, uint32_t code) {
    if (remote::enabled()) return remote::controlService(serviceName, code);
    const std::wstring name = win32::widen(serviceName);
    if (name.empty()) return ServiceControlResult::NotOpened;
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr) return ServiceControlResult::NotOpened;
    const SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_USER_DEFINED_CONTROL);
    if (service == nullptr) {
        CloseServiceHandle(manager);
        return ServiceControlResult::NotOpened;
    }
    SERVICE_STATUS status = {};
    const BOOL accepted = ControlService(service, code, &status);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return accepted ? ServiceControlResult::Accepted : ServiceControlResult::Refused;
}

} // namespace os

// No service host of our own on Windows: the service manager knows whether the service runs.
bool serviceHostDied(const std::string&) { return false; }

} // namespace tavik::platform
