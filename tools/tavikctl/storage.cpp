// tavikctl storage: health of the storage device through the storage-health family (Smart).
#include <ctime>

#include "readings.h"
#include "tavik2/smart.h"

namespace tavikctl {
namespace storage_cmd {

using Varnholtstad::Smart;

// Seconds since 1970 as a UTC date and time.
std::string utcDate(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) return std::to_string(seconds);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

void showStorage(Context& ctx) {
    Smart* h = GetSmart();
    if (h == nullptr) return failWith(ctx, "storage", ERR_MEMORY_ALLOCATION);
    std::vector<Reading> out;
    uint8_t life = 0;
    ErrorCode e = Smart_getRemainingLifeTime(h, &life);
    out.push_back(reading("remaining_life", "Remaining life time", "%", e, life));
    char serial[64] = {};
    e = Smart_getDeviceSerial(h, serial, sizeof serial);
    out.push_back(reading("serial", "Serial number", "", e, serial, serial));
    int64_t first = 0;
    e = Smart_getInitialTime(h, &first);
    Reading r = reading("first_use", "First use", "", e, first, utcDate(first));
    if (e == ERR_SUCCESS) r.extra = {{"date", utcDate(first)}};
    out.push_back(r);
    Smart_release(h);
    showReadings(ctx, out);
}

} // namespace storage_cmd

void addStorageCommands(CLI::App& app, Context& ctx) {
    using namespace storage_cmd;
    app.add_subcommand("storage", "Storage device health: remaining life time, serial number, first use")
        ->callback([&ctx] { showStorage(ctx); });
}

} // namespace tavikctl
