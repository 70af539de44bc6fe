// Semaphores, threads, sleeping and the clock: CreateSemaphoreA, WaitForSingleObject,
// ReleaseSemaphore, CreateThread, Sleep, GetTickCount.
#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace tavik::platform {

// Creates the semaphore `name` (empty: an unnamed one) with the given counts, an inheritable
// handle and a security descriptor with a null access list, so that every process and service
// may open it; opens the existing one when the name is taken. Returns invalid on failure.
// On the host, named semaphores are machine-wide within one TAVIK_HOME.
SemaphoreHandle createSemaphore(const std::string& name, int32_t initialCount, int32_t maximumCount);

// Takes one count, waiting at most `timeoutMs` (kWaitForever: no limit). Blocks the caller.
WaitResult waitSemaphore(SemaphoreHandle semaphore, uint32_t timeoutMs);

// Gives back `count`; false when that would exceed the maximum count or the handle is bad.
bool releaseSemaphore(SemaphoreHandle semaphore, int32_t count = 1);

// Closes the handle. The semaphore itself lives on while other handles are open.
void closeSemaphore(SemaphoreHandle semaphore);

using ThreadEntry = uint32_t (*)(void* argument);

// Starts a thread running entry(argument). Returns invalid when the thread cannot be created.
ThreadHandle startThread(ThreadEntry entry, void* argument);

// Waits for the thread to end, at most `timeoutMs`. The handle stays open.
WaitResult joinThread(ThreadHandle thread, uint32_t timeoutMs);

// Closes a thread handle (the thread itself is not stopped).
void closeThread(ThreadHandle thread);

// Suspends the calling thread. On the host the time can be compressed for tests
// (TAVIK_TIME_SCALE, see docs/simulator.md); the system code never notices.
void sleepMs(uint32_t milliseconds);

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount); compressed with sleepMs.
uint32_t tickCountMs();

// Id of the calling process (used only for diagnostics and the simulator's log).
uint32_t currentProcessId();

} // namespace tavik::platform
