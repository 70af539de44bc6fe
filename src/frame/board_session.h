// The board-access library session and the cross-process I2C lock.
#pragma once

#include "frame/cross_process_lock.h"
#include "platform/board_library.h"

namespace tavik::frame {

using platform::board::BoardHandle;

// Machine-wide lock around every identity EEPROM transfer and every temperature read.
constexpr const char* kI2cLockName = "JIDA_I2C";

// Opens the library session and the boards into `handle`: makes the library usable (trying its
// second way once), opens the "CPU" board and then every board the library counts. Keeps no
// state, so every user calls it before each use. Returns true when every board opened; the
// handle left is that of the last board (of the "CPU" board when there are none). `handle` may
// be written also when it fails. Nothing is closed.
bool openJidaBoard(BoardHandle& handle);

// Holds "JIDA_I2C" for its scope, waiting without time limit. Every guarded sequence creates
// or opens the semaphore anew and closes it afterwards; when it cannot be had, the sequence
// runs unlocked.
class I2cLock {
public:
    I2cLock() : lock_(kI2cLockName) {}
    bool held() const { return lock_.held(); }

private:
    ScopedCrossProcessLock lock_;
};

} // namespace tavik::frame
