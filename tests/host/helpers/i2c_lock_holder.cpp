// Holds "JIDA_I2C" and, while holding it, makes three slow transfers to the main board EEPROM;
// prints "held" once it has the lock, so that the test starts its own read then.
// Exit status 0 when the lock was had and every transfer succeeded.
#include <chrono>
#include <cstdio>
#include <thread>

#include "frame/board_session.h"

int main() {
    using namespace tavik;
    frame::BoardHandle handle = 0;
    if (!frame::openJidaBoard(handle)) return 2;
    frame::I2cLock lock;
    if (!lock.held()) return 3;
    std::printf("held\n");
    std::fflush(stdout);
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        // Real time, not the compressed clock: the other process must get the chance to cut in.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        const uint8_t address[2] = {0, 0};
        uint8_t data[16];
        ok = platform::board::i2cWriteRead(handle, 0, 0xAE, address, 2, data, sizeof data) && ok;
    }
    return ok ? 0 : 4;
}
