// A small Windows service for the wine tests, registered there as TavikService.
//
//   test_service.exe --log C:\path\codes.log [--refuse CODE]...
//
// Its handler accepts the user-defined control codes (128..255) except those named with --refuse,
// which it rejects (ControlService then fails at the sender); it appends "accepted CODE" or
// "refused CODE" to the log for each. SERVICE_CONTROL_STOP ends it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <set>
#include <string>

namespace {

wchar_t kServiceName[] = L"TavikService";

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
std::wstring logPath;
std::set<DWORD> refused;

void parseArguments() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::wcscmp(argv[i], L"--log") == 0) logPath = argv[++i];
        else if (std::wcscmp(argv[i], L"--refuse") == 0) refused.insert(std::wcstoul(argv[++i], nullptr, 10));
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
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
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
    if (refused.count(control) != 0) {
        appendLog("refused", control);
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    appendLog("accepted", control);
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, LPWSTR*) {
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, &handler, nullptr);
    if (statusHandle == nullptr) return;
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reportStatus(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, INFINITE);
    reportStatus(SERVICE_STOPPED);
}

} // namespace

int main() {
    parseArguments();
    SERVICE_TABLE_ENTRYW table[] = {{kServiceName, &serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
