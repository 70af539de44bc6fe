// Semaphores, threads, sleeping and the clock over the Win32 kernel objects.
#include "platform/sync.h"

#include <windows.h>

#include <new>

namespace tavik::platform {
namespace {

HANDLE native(NativeHandle value) { return reinterpret_cast<HANDLE>(value); }

WaitResult waitFor(HANDLE h, uint32_t timeoutMs) {
    switch (WaitForSingleObject(h, timeoutMs == kWaitForever ? INFINITE : timeoutMs)) {
    case WAIT_OBJECT_0: return WaitResult::Signaled;
    case WAIT_TIMEOUT: return WaitResult::Timeout;
    default: return WaitResult::Failed;
    }
}

// The thread's entry and argument, owned by the new thread once it runs.
struct ThreadStart {
    ThreadEntry entry;
    void* argument;
};

DWORD WINAPI threadMain(LPVOID parameter) {
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    return start.entry(start.argument);
}

} // namespace

SemaphoreHandle createSemaphore(const std::string& name, int32_t initialCount, int32_t maximumCount) {
    // A null access list lets every account, services included, open and use the semaphore.
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return {};
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) return {};
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = TRUE;
    // Opens the existing semaphore when the name is taken (its counts stay as they are).
    const HANDLE h = CreateSemaphoreA(&attributes, initialCount, maximumCount,
                                      name.empty() ? nullptr : name.c_str());
    if (h == nullptr) return {};
    SemaphoreHandle semaphore;
    semaphore.value = reinterpret_cast<NativeHandle>(h);
    return semaphore;
}

WaitResult waitSemaphore(SemaphoreHandle semaphore, uint32_t timeoutMs) {
    if (!semaphore) return WaitResult::Failed;
    return waitFor(native(semaphore.value), timeoutMs);
}

bool releaseSemaphore(SemaphoreHandle semaphore, int32_t count) {
    if (!semaphore) return false;
    return ReleaseSemaphore(native(semaphore.value), count, nullptr) != 0;
}

void closeSemaphore(SemaphoreHandle semaphore) {
    if (semaphore) CloseHandle(native(semaphore.value));
}

ThreadHandle startThread(ThreadEntry entry, void* argument) {
    auto* start = new (std::nothrow) ThreadStart{entry, argument};
    if (start == nullptr) return {};
    const HANDLE h = CreateThread(nullptr, 0, &threadMain, start, 0, nullptr);
    if (h == nullptr) {
        delete start;
        return {};
    }
    ThreadHandle thread;
    thread.value = reinterpret_cast<NativeHandle>(h);
    return thread;
}

WaitResult joinThread(ThreadHandle thread, uint32_t timeoutMs) {
    if (!thread) return WaitResult::Failed;
    return waitFor(native(thread.value), timeoutMs);
}

void closeThread(ThreadHandle thread) {
    if (thread) CloseHandle(native(thread.value));
}

void sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t tickCountMs() { return GetTickCount(); }

uint32_t currentProcessId() { return GetCurrentProcessId(); }

} // namespace tavik::platform
