// Platform service control through the real service manager: no TavikService installed, one
// installed but stopped, and the test service (test_service.exe) running as TavikService,
// which accepts some codes and refuses the one it is told to.
#include <windows.h>

#include <cstdio>
#include <string>

#include "frame/service_control.h"
#include "wtest.h"

namespace {

using tavik::frame::sendServiceControl;
using tavik::frame::serviceControlError;
using tavik::platform::ServiceControlResult;

const wchar_t kName[] = L"TavikService";

std::wstring programFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

bool waitForState(SC_HANDLE service, DWORD state) {
    for (int i = 0; i < 200; ++i) { // at most 10 s
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == state) return true;
        Sleep(50);
    }
    return false;
}

// Stops and deletes any TavikService left by an earlier run.
void removeService(SC_HANDLE manager) {
    SC_HANDLE service = OpenServiceW(manager, kName, SERVICE_ALL_ACCESS);
    if (service == nullptr) return;
    SERVICE_STATUS status = {};
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) waitForState(service, SERVICE_STOPPED);
    DeleteService(service);
    CloseServiceHandle(service);
}

std::string readFile(const std::wstring& path) {
    std::string text;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (f == nullptr) return text;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    return text;
}

} // namespace

int main() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!CHECK(manager != nullptr)) return wtest::summary();
    removeService(manager);

    wtest::group("no service installed");
    {
        const ServiceControlResult r = sendServiceControl(tavik::frame::kServiceApplyLedDimming);
        CHECK(r == ServiceControlResult::NotOpened);
        CHECK_EQ(serviceControlError(r), ERR_OPEN_FAILED);
    }

    const std::wstring folder = programFolder();
    const std::wstring log = folder + L"service_wtest_codes.log";
    DeleteFileW(log.c_str());
    const std::wstring command = L"\"" + folder + L"test_service.exe\" --log \"" + log + L"\" --refuse 129";
    SC_HANDLE service = CreateServiceW(manager, kName, kName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(), nullptr,
                                       nullptr, nullptr, nullptr, nullptr);
    wtest::group("service installed");
    if (!CHECK(service != nullptr)) return wtest::summary();

    wtest::group("installed but stopped");
    {
        // Opened, but a stopped service cannot take a control.
        const ServiceControlResult r = sendServiceControl(tavik::frame::kServiceApplyLedDimming);
        CHECK(r == ServiceControlResult::Refused);
        CHECK_EQ(serviceControlError(r), ERR_COMMAND_FAILED);
    }

    wtest::group("running test service");
    if (CHECK(StartServiceW(service, 0, nullptr)) && CHECK(waitForState(service, SERVICE_RUNNING))) {
        ServiceControlResult r = sendServiceControl(tavik::frame::kServiceApplyLedDimming);
        CHECK(r == ServiceControlResult::Accepted);
        CHECK_EQ(serviceControlError(r), ERR_SUCCESS);
        r = sendServiceControl(tavik::frame::kServicePowerMgrRegisterConfig2);
        CHECK(r == ServiceControlResult::Accepted);
        r = sendServiceControl(tavik::frame::kServiceShutDown); // the service refuses this one
        CHECK(r == ServiceControlResult::Refused);
        CHECK_EQ(serviceControlError(r), ERR_COMMAND_FAILED);
        CHECK_EQ(readFile(log), std::string("accepted 132\naccepted 135\nrefused 129\n"));

        SERVICE_STATUS status = {};
        CHECK(ControlService(service, SERVICE_CONTROL_STOP, &status));
        CHECK(waitForState(service, SERVICE_STOPPED));
    }

    wtest::group("service removed again");
    CHECK(DeleteService(service));
    CloseServiceHandle(service);
    CHECK(sendServiceControl(tavik::frame::kServicePowerMgrUnregister) == ServiceControlResult::NotOpened);
    CloseServiceHandle(manager);
    DeleteFileW(log.c_str());
    return wtest::summary();
}
