// The simulated unit's cost per request, on a scratch home of its own:
// 1. median of a small request with logging on (supervisor version through the exported function);
// 2. the same with 2 MB of blobs in the unit;
// 3. 4,000 requests of 536 bytes in and out against a blob-backed memory (528-byte blocks), in all;
// 4. 4 processes issuing requests at once for N seconds (default 10): failures, log sequence
//    numbers lost or duplicated, total throughput.
// Usage: sim_bench [SECONDS]   (the program starts copies of itself: sim_bench --worker SECONDS)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "sim/unit.h"
#include "tavik2/aux_version.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavik::sim::Txn;
using tavik::sim::Unit;

double medianSmallRequestUs(int count) {
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    std::vector<double> us;
    us.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        uint8_t v[4];
        const auto t0 = Clock::now();
        if (AuxVersion_getSSVersion(h, &v[0], &v[1], &v[2], &v[3]) != ERR_SUCCESS) {
            std::fprintf(stderr, "version read failed\n");
            std::exit(1);
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    AuxVersion_release(h);
    std::nth_element(us.begin(), us.begin() + count / 2, us.end());
    return us[size_t(count / 2)];
}

// One 536-byte request of a blob-backed memory as a model serves it: 8 header bytes and a
// 528-byte block written, the block read back, both payloads logged.
void blockRequest(uint32_t block, bool write) {
    Unit::instance().transact([&](Txn& txn) {
        tavik::sim::LogEntry e;
        e.target = "bench";
        e.code = write ? 1 : 2;
        e.in.assign(536, uint8_t(block));
        e.out.resize(536);
        if (write) txn.blobWrite("bench.memory", uint64_t(block) * 528, e.in.data() + 8, 528);
        txn.blobRead("bench.memory", uint64_t(block) * 528, e.out.data() + 8, 528);
        e.returned = 536;
        e.ok = true;
        Unit::instance().appendLog(txn, std::move(e));
    });
}

int worker(double seconds) {
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    long done = 0, failed = 0;
    while (Clock::now() < end) {
        uint8_t v[4];
        if (AuxVersion_getFPGAVersion(h, &v[0], &v[1], &v[2], &v[3]) != ERR_SUCCESS) ++failed;
        ++done;
    }
    AuxVersion_release(h);
    std::printf("%ld %ld\n", done, failed);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--worker") == 0) return worker(std::atof(argv[2]));
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;

    char tmpl[] = "/tmp/tavik-sim-bench-XXXXXX";
    const std::string home = ::mkdtemp(tmpl);
    ::setenv("TAVIK_HOME", home.c_str(), 1);
    Unit::instance().reset();

    medianSmallRequestUs(200); // warm-up
    const double small = medianSmallRequestUs(2000);
    std::printf("small request, logging on:          median %.1f us\n", small);

    Unit::instance().transact([](Txn& txn) {
        txn.blobResize("bench.frame", 2u << 20, 0x5A); // 2 MB written, not just sized
    });
    const double withBlobs = medianSmallRequestUs(2000);
    std::printf("same with 2 MB of blobs in the unit: median %.1f us (%+.1f %%)\n", withBlobs,
                100.0 * (withBlobs - small) / small);

    Unit::instance().transact([](Txn& txn) { txn.blobResize("bench.memory", 2000u * 528); });
    auto t0 = Clock::now();
    for (uint32_t i = 0; i < 2000; ++i) blockRequest(i, true);
    for (uint32_t i = 0; i < 2000; ++i) blockRequest(i, false);
    const double blocks = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("4,000 requests of 536 bytes in/out:  %.3f s in all (%.1f us each)\n", blocks, blocks * 1e6 / 4000);

    Unit::instance().clearLog();
    std::vector<FILE*> workers;
    const std::string cmd = "'" + std::string(argv[0]) + "' --worker " + std::to_string(seconds);
    for (int i = 0; i < 4; ++i) workers.push_back(::popen(cmd.c_str(), "r"));
    long done = 0, failed = 0;
    for (FILE* p : workers) {
        long d = 0, f = 0;
        if (std::fscanf(p, "%ld %ld", &d, &f) != 2) f = 1;
        ::pclose(p);
        done += d;
        failed += f;
    }
    const auto log = Unit::instance().readLog();
    std::set<uint64_t> seqs;
    size_t duplicated = 0;
    for (const auto& e : log)
        if (!seqs.insert(e.seq).second) ++duplicated;
    const uint64_t span = seqs.empty() ? 0 : *seqs.rbegin() - *seqs.begin() + 1;
    std::printf("4 processes for %.0f s:               %ld requests, %ld failed, %.0f requests/s in all;"
                " log %zu entries, %zu duplicated, %llu missing\n",
                seconds, done, failed, double(done) / seconds, log.size(), duplicated,
                static_cast<unsigned long long>(span - seqs.size()));
    std::filesystem::remove_all(home);
    return failed == 0 && duplicated == 0 && span == seqs.size() ? 0 : 1;
}
