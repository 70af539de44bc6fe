// Test helper: lock_holder NAME
// Takes the named cross-process lock, prints "held" and keeps it until it is killed (or for at
// most a minute). Exit status 0 after the minute; 3 when the lock could not be had.
#include <chrono>
#include <cstdio>
#include <thread>

#include "frame/cross_process_lock.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    tavik::frame::ScopedCrossProcessLock lock(argv[1]);
    if (!lock.held()) return 3;
    std::printf("held\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::minutes(1));
    return 0;
}
