// The serial bootloader flasher on the wire: a 100 KiB system supervisor upgrade with its
// verification, through TAVIK_COM1 to the simulated bootloader on a pseudo-terminal of its own.
// 1. Wire efficiency: image bytes written and read back / all bytes on the line, both ways.
//    The protocol's limit at 256-byte blocks is 256/268 = 0.955.
// 2. With the line paced as a real 115200-baud 8E1 line (11 bits a byte): the job's time against
//    the line time of every byte sent and received; also without the simulated bootloader's own
//    delay where its work (a transaction on the unit) outlasted the line time of its reply.
// Usage: serial_flasher_bench [KIB]   (default 100)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host/time_scale.h"
#include "sim/bootloader.h"
#include "sim/unit.h"
#include "tavik2/firmware_upgrade.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string hexImage(const std::vector<uint8_t>& image) {
    std::string text;
    char buf[64];
    auto record = [&](uint16_t address, uint8_t type, const uint8_t* data, size_t n) {
        uint8_t sum = static_cast<uint8_t>(n + (address >> 8) + address + type);
        std::snprintf(buf, sizeof buf, ":%02X%04X%02X", unsigned(n), unsigned(address), unsigned(type));
        text += buf;
        for (size_t i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, "%02X", data[i]);
            text += buf;
            sum = static_cast<uint8_t>(sum + data[i]);
        }
        std::snprintf(buf, sizeof buf, "%02X\r\n", unsigned(uint8_t(-sum)));
        text += buf;
    };
    for (size_t at = 0; at < image.size(); at += 16) {
        if (at % 65536 == 0) {
            const uint8_t base[2] = {0x08, static_cast<uint8_t>(at >> 16)};
            record(0, 0x04, base, 2);
        }
        record(static_cast<uint16_t>(at), 0x00, image.data() + at, std::min<size_t>(16, image.size() - at));
    }
    record(0, 0x01, nullptr, 0);
    return text;
}

struct Run {
    double seconds;
    uint64_t received, sent;
    double overrun; // the simulated bootloader's own delay beyond the line time
};

Run upgrade(const std::string& path) {
    tavik::sim::SerialLineServer line(tavik::sim::LineTarget::SystemSupervisor);
    ::setenv("TAVIK_COM1", line.path().c_str(), 1);
    Varnholtstad::FirmwareUpgrade* h = GetFirmwareUpgrade();
    const auto t0 = Clock::now();
    const ErrorCode e = FirmwareUpgrade_startSSUpgrade(h, path.c_str(), true);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    FirmwareUpgrade_release(h);
    ::unsetenv("TAVIK_COM1");
    if (e != ERR_SUCCESS) {
        std::fprintf(stderr, "upgrade failed with %d\n", e);
        std::exit(1);
    }
    return {seconds, line.bytesReceived(), line.bytesSent(), line.overrunSeconds()};
}

} // namespace

int main(int argc, char** argv) {
    const size_t kib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const std::string home = std::filesystem::temp_directory_path() / ("serial_bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    ::setenv("TAVIK_HOME", home.c_str(), 1);
    tavik::platform::host::setTimeScale(1.0);
    tavik::sim::Unit::instance().reset();

    std::vector<uint8_t> image(kib * 1024);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    const std::string path = home + "/ss.hex";
    std::ofstream(path, std::ios::binary) << hexImage(image);

    const double payload = 2.0 * image.size(); // written, then read back
    const Run fast = upgrade(path);
    const double onLine = double(fast.received + fast.sent);
    std::printf("%zu KiB upgrade with verification, unpaced line: %.2f s, %llu bytes to the bootloader, %llu back\n",
                kib, fast.seconds, static_cast<unsigned long long>(fast.received),
                static_cast<unsigned long long>(fast.sent));
    std::printf("wire efficiency (payload / all bytes on the line): %.4f   (limit at 256-byte blocks 256/268 = %.4f)\n",
                payload / onLine, 256.0 / 268.0);

    tavik::sim::Unit::instance().setValue("bootloader.paced", "true");
    const Run paced = upgrade(path);
    const double lineSeconds = double(paced.received + paced.sent) * tavik::sim::kPacedByteSeconds;
    std::printf("paced 115200-baud 8E1 line: job %.2f s, line time of its bytes %.2f s, ratio %.4f\n",
                paced.seconds, lineSeconds, paced.seconds / lineSeconds);
    std::printf("  of the job, the simulated bootloader's own work beyond the line time: %.2f s; "
                "without it, ratio %.4f\n",
                paced.overrun, (paced.seconds - paced.overrun) / lineSeconds);
    std::filesystem::remove_all(home);
    return 0;
}
