// Test helper: settings_increment KEY COUNT
// Increments the integer KEY of the settings file COUNT times, one store (and one hold of the
// cross-process lock) per increment, as COUNT separate library operations would.
// Exit status 0; 2 on bad arguments; 3 when a store had to run without the lock.
#include <cstdlib>
#include <string>

#include "frame/settings_file.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string key = argv[1];
    const long count = std::strtol(argv[2], nullptr, 10);
    for (long i = 0; i < count; ++i) {
        tavik::frame::SettingsFile store;
        if (!store.locked()) return 3;
        store.load();
        int32_t value = 0;
        store.getInt(key, value); // an absent key counts from 0
        store.setInt(key, value + 1);
    }
    return 0;
}
