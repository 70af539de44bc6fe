// Cost of one device-control request served to a remote client on loopback (`tavikctl sim serve`)
// against the same request made locally, on a scratch home of its own: the FPGA version request
// of AuxVersion, median and 99th percentile over N requests each (default 3000).
// Usage: remote_bench [N] [ADDRESS:PORT]   (with an address: against that server, e.g. a
//        `tavikctl sim serve` of another process, instead of one in this process)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "identity/aux_version.h"
#include "sim/driver.h"
#include "sim/remote_client.h"
#include "sim/remote_server.h"
#include "sim/unit.h"
#include "tavik2/aux_version.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median, p99;
};

Figures measure(int count, const std::function<bool()>& request) {
    for (int i = 0; i < 100; ++i) request(); // warm caches and connections
    std::vector<double> us;
    us.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        if (!request()) {
            std::fprintf(stderr, "request failed\n");
            std::exit(1);
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

void print(const char* what, const Figures& f) {
    std::printf("%-48s median %8.1f us   p99 %8.1f us\n", what, f.median, f.p99);
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 3000;
    char tmpl[] = "/tmp/tavik-remote-bench-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) return 1;
    ::setenv("TAVIK_HOME", tmpl, 1);
    tavik::sim::Unit::instance().reset();
    const uint32_t code = tavik::identity::kReqFpgaVersion;

    std::printf("%d FPGA version requests (0x%X) each\n", count, code);
    print("local: simulated driver call", measure(count, [&] {
              uint8_t out[4];
              uint32_t returned = 0;
              return tavik::sim::driverDeviceControl(tavik::sim::kMainDevice, code, nullptr, 0, out, 4, returned);
          }));
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    print("local: AuxVersion_getFPGAVersion", measure(count, [&] {
              uint8_t v[4];
              return AuxVersion_getFPGAVersion(h, &v[0], &v[1], &v[2], &v[3]) == ERR_SUCCESS;
          }));
    AuxVersion_release(h);

    auto remote = [&](const std::string& address, uint16_t port, const char* what) {
        tavik::sim::RemoteClient client(address, port, true, "remote_bench");
        const uint32_t device = client.deviceOpen(tavik::sim::kMainDevice);
        print(what, measure(count, [&] { return client.deviceControl(device, code, {}, 4).ok; }));
    };
    std::string address;
    uint16_t port = 0;
    if (argc > 2 && tavik::sim::parseListenAddress(argv[2], address, port)) {
        remote(address, port, "remote: DeviceControl round trip to that server");
    } else {
        tavik::sim::RemoteServer server("127.0.0.1", 0);
        std::thread serving([&] { server.run(); });
        remote("127.0.0.1", server.port(), "remote on loopback: DeviceControl round trip");
        server.stop();
        serving.join();
    }
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    return 0;
}
