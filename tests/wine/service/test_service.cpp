// A small Windows service for the wine tests, registered there as TavikService.
//
//   test_service.exe --log C:\path\codes.log [--never-ready]
//
// Ready (the default), it reports itself running, accepts every user-defined control code
// (128..255) and appends "accepted CODE" to the log for each. With --never-ready it stays in
// SERVICE_START_PENDING, so the service manager refuses every control code sent to it before the
// handler sees one: the way a service that is not ready refuses a control on Windows and on wine
// alike (wine does not pass a handler's error back to ControlService). SERVICE_CONTROL_STOP ends it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

wchar_t kServiceName[] = L"TavikService";

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
std::wstring logPath;
bool neverReady = false;

void parseArguments() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--log") == 0 && i + 1 < argc) logPath = argv[++i];
        else if (std::wcscmp(argv[i], L"--never-ready") == 0) neverReady = true;
    }
    LocalFree(argv);
}

void appendLog(const char* what, DWORD code) {
    if (logPath.empty()) return;
    FILE* f = _wfopen(logPath.c_str(), L"ab");
    if (f == nullptr) return;
    std::fprintf(f, "%s %lu\n", what, static_cast<unsigned long>(code));
    std::fclose(f);
}

void reportStatus(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_STOPPED ? 0 : SERVICE_ACCEPT_STOP;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = state == SERVICE_START_PENDING ? 1 : 0;
    status.dwWaitHint = state == SERVICE_START_PENDING ? 600000 : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI handler(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
        reportStatus(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        break;
    }
    if (control < 128 || control > 255) return ERROR_CALL_NOT_IMPLEMENTED;
    appendLog("accepted", control);
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, LPWSTR*) {
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, &handler, nullptr);
    if (statusHandle == nullptr) return;
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reportStatus(neverReady ? SERVICE_START_PENDING : SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, INFINITE);
    reportStatus(SERVICE_STOPPED);
}

} // namespace

int main() {
    parseArguments();
    SERVICE_TABLE_ENTRYW table[] = {{kServiceName, &serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
