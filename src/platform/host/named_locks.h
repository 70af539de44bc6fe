// Named semaphores of the host build, robust against processes that die holding a count.
//
// Each name of a home is one file <home>/sim/locks/<name>, mapped into every process that uses
// it: the count, the maximum and one slot per using process with the counts it has taken. A
// process marks its slot alive with an open-file-description lock on a byte of its own, which the
// kernel drops when the process ends however it ends; a slot found without that lock belongs to
// a dead process, and the counts it had taken are given back. A correct program sees a Windows
// semaphore: wait takes one count, release gives counts back (by any process), never past the
// maximum. Changes of the state happen under an open-file-description lock on byte 0 (and a
// mutex among the threads of one process); waiters sleep on a futex in the mapping and look for
// dead holders while they wait.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace tavik::platform::host {

class NamedLock;

// Opens (creating with `initialCount` when new) the named semaphore of the current home.
// Null when its file cannot be created or mapped.
NamedLock* openNamedLock(const std::string& name, int32_t initialCount, int32_t maximumCount);
// Takes one count, waiting at most `timeoutMs` (already compressed; kWaitForever: no limit).
WaitResult waitNamedLock(NamedLock* lock, uint64_t timeoutUs, bool forever);
// Gives back `count`; false past the maximum.
bool releaseNamedLock(NamedLock* lock, int32_t count);
// Drops this handle. Counts the process still holds stay taken (and keep the process's slot)
// until released or until the process ends.
void closeNamedLock(NamedLock* lock);

// One process's share of a named lock.
struct LockHolder {
    uint32_t pid = 0;
    int32_t taken = 0;    // counts it holds
    int64_t sinceUs = 0;  // when it last took one (microseconds since the epoch)
};

struct NamedLockInfo {
    std::string name;
    int32_t count = 0;   // counts free now
    int32_t maximum = 0;
    std::vector<LockHolder> holders; // processes holding counts, alive
};

// The named locks of the current home, after giving back the counts of dead holders.
std::vector<NamedLockInfo> listNamedLocks();

} // namespace tavik::platform::host
