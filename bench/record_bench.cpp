// Recording and replay, on a scratch home of its own:
// 1. what recording adds to a request: the recorder's own work for one control-request line
//    (median of 20,000), and the median of a whole Backlight_getIntensity with and without it;
// 2. 100,000 Backlight_getIntensity against the models, then the same 100,000 replayed from their
//    trace (strict), the trace's loading included, then against the models again (the unit's
//    database grows as it runs: the two model runs bracket the replay);
// 3. the trace's size per 10,000 requests of the test mix (tests/shared/record_cases.h).
// Usage: record_bench [REQUESTS]   (default 100000)
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/record/recorder.h"
#include "shared/record_cases.h"
#include "sim/replay.h"
#include "sim/replay_trace.h"
#include "sim/unit.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double median(std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double medianRequestUs(Tavik2Backlight* b, int count) {
    std::vector<double> us;
    for (int i = 0; i < count; ++i) {
        uint8_t level = 0;
        const auto t0 = Clock::now();
        if (Backlight_getIntensity(b, &level) != ERR_SUCCESS) {
            std::fprintf(stderr, "request failed\n");
            std::exit(1);
        }
        us.push_back(since(t0) * 1e6);
    }
    return median(us);
}

double recorderLineUs(int count) {
    std::vector<double> us;
    const uint8_t in[1] = {120}, out[4] = {1, 2, 3, 4};
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        if (tavik::platform::record::active())
            tavik::platform::record::Line("ioctl")
                .text("dev", "\\\\.\\TavikDrv")
                .number("code", 0x222418)
                .bytes("in", in, sizeof in)
                .number("out_size", 4)
                .bytes("out", out, sizeof out)
                .number("ret", 4)
                .flag("ok", true)
                .commit();
        us.push_back(since(t0) * 1e6);
    }
    return median(us);
}

long fileSize(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

} // namespace

int main(int argc, char** argv) {
    const int requests = argc > 1 ? std::atoi(argv[1]) : 100000;
    char templ[] = "/tmp/record_bench.XXXXXX";
    const char* dir = ::mkdtemp(templ);
    if (dir == nullptr) return 1;
    const std::string home = std::string(dir) + "/home";
    ::setenv("TAVIK_HOME", home.c_str(), 1);
    ::setenv("TAVIK_TIME_SCALE", "1000", 1);
    tavik::sim::Unit::instance().reset();

    // 1. Overhead per request.
    const std::string lines = std::string(dir) + "/lines.jsonl";
    ::setenv("TAVIK_RECORD", lines.c_str(), 1);
    const double lineUs = recorderLineUs(20000);
    ::unsetenv("TAVIK_RECORD");
    const double offUs = recorderLineUs(20000);
    Tavik2Backlight* b = GetBacklight();
    const double plainUs = medianRequestUs(b, 5000);
    ::setenv("TAVIK_RECORD", lines.c_str(), 1);
    const double recordedUs = medianRequestUs(b, 5000);
    ::unsetenv("TAVIK_RECORD");
    std::printf("recorder, one control-request line: %.2f us (recording off: %.3f us)\n", lineUs, offUs);
    std::printf("Backlight_getIntensity median: %.1f us plain, %.1f us recorded (+%.1f us)\n", plainUs, recordedUs,
                recordedUs - plainUs);

    // 2. Models against replay.
    const std::string trace = std::string(dir) + "/many.jsonl";
    auto batch = [&] {
        const auto t0 = Clock::now();
        for (int i = 0; i < requests; ++i) {
            uint8_t level = 0;
            if (Backlight_getIntensity(b, &level) != ERR_SUCCESS) {
                std::fprintf(stderr, "request %d failed\n", i);
                std::exit(1);
            }
        }
        return since(t0);
    };
    ::setenv("TAVIK_RECORD", trace.c_str(), 1);
    batch();
    ::unsetenv("TAVIK_RECORD");
    const double models = batch();
    const auto t0 = Clock::now();
    tavik::sim::startReplay(trace, tavik::sim::ReplayMode::Strict);
    const double start = since(t0);
    const double replay = batch() + start;
    const auto status = tavik::sim::replayStatus();
    std::printf("%d requests: models %.2f s (%.1f us each), replay %.2f s (%.1f us each, %.2f s of it starting); "
                "matched %s, failed %s\n",
                requests, models, models / requests * 1e6, replay, replay / requests * 1e6, start,
                status["matched"].dump().c_str(), status["failed"].dump().c_str());
    tavik::sim::stopReplay();
    // The unit's database has grown meanwhile: the models once more, after the replay.
    const double modelsAfter = batch();
    std::printf("the same %d requests against the models again: %.2f s (%.1f us each)\n", requests, modelsAfter,
                modelsAfter / requests * 1e6);
    Backlight_release(b);

    // 3. Size of the test mix.
    const std::string mix = std::string(dir) + "/mix.jsonl";
    ::setenv("TAVIK_RECORD", mix.c_str(), 1);
    for (int i = 0; i < 200; ++i) tavik::test::record_cases::run();
    ::unsetenv("TAVIK_RECORD");
    size_t count = 0;
    for (const auto& r : tavik::sim::readTraceFile(mix).requests) count += r.data.is_object();
    const long bytes = fileSize(mix);
    std::printf("trace of the test mix: %zu requests, %ld bytes: %.0f KiB per 10,000 requests\n", count, bytes,
                double(bytes) / double(count) * 10000 / 1024);
    std::printf("trace of getIntensity alone: %.0f KiB per 10,000 requests\n",
                double(fileSize(trace)) / double(requests) * 10000 / 1024);
    std::filesystem::remove_all(dir);
    return 0;
}
