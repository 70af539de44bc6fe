// Test helper: settings_churn KEY
// Increments the integer KEY of the settings file in a loop until killed (or after a safety
// limit of iterations), so that a test can kill it in the middle of a write.
#include <string>

#include "frame/settings_file.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string key = argv[1];
    for (long i = 0; i < 200000; ++i) {
        tavik::frame::SettingsFile store;
        store.load();
        int32_t value = 0;
        store.getInt(key, value);
        store.setInt(key, value + 1);
    }
    return 0;
}
