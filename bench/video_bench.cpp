// Snapshots: createBitmap of a 720 x 576 interlaced frame next to a memcpy of the same raw pixel
// data (the bitmap should cost at most two copies), and a whole takeSnapshot of the simulated
// test picture to a file. Runs against a scratch unit home of its own.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/unit.h"
#include "tavik2/video.h"

namespace {

constexpr uint32_t kWidth = 720, kFieldLines = 288;
constexpr size_t kPixelBytes = 4ull * kWidth * kFieldLines * 2;

std::vector<uint8_t> interlacedFrame() {
    std::vector<uint8_t> raw(256 + kPixelBytes);
    for (size_t i = 256; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 31);
    const uint32_t header[3] = {kWidth, kFieldLines, kFieldLines};
    std::memcpy(raw.data() + 4, header, sizeof header);
    return raw;
}

void BM_MemcpyRawPixels(benchmark::State& state) {
    const std::vector<uint8_t> raw = interlacedFrame();
    std::vector<uint8_t> copy(kPixelBytes);
    for (auto _ : state) {
        std::memcpy(copy.data(), raw.data() + 256, kPixelBytes);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixelBytes));
}
BENCHMARK(BM_MemcpyRawPixels)->Unit(benchmark::kMicrosecond);

void BM_CreateBitmap720x576(benchmark::State& state) {
    const std::vector<uint8_t> raw = interlacedFrame();
    Varnholtstad::Video* video = GetVideo();
    for (auto _ : state) {
        uint8_t* bmp = nullptr;
        uint32_t size = 0;
        if (Video_createBitmap(video, &bmp, &size, raw.data(), static_cast<uint32_t>(raw.size()), false, false) !=
            ERR_SUCCESS) {
            state.SkipWithError("createBitmap failed");
            break;
        }
        benchmark::DoNotOptimize(bmp);
        Video_freeBmpBuffer(video, bmp);
    }
    Video_release(video);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixelBytes));
}
BENCHMARK(BM_CreateBitmap720x576)->Unit(benchmark::kMicrosecond);

void BM_TakeSnapshotToFile(benchmark::State& state) {
    Varnholtstad::Video* video = GetVideo();
    if (Video_init(video, 1) != ERR_SUCCESS) state.SkipWithError("no video input");
    const std::string path = tavik::sim::homeDirectory() + "/bench.bmp";
    for (auto _ : state)
        if (Video_takeSnapshot(video, path.c_str(), false) != ERR_SUCCESS) {
            state.SkipWithError("takeSnapshot failed");
            break;
        }
    Video_release(video);
}
BENCHMARK(BM_TakeSnapshotToFile)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    char home[] = "/tmp/tavik-video-bench-XXXXXX";
    if (::mkdtemp(home) == nullptr) return 1;
    ::setenv("TAVIK_HOME", home, 1);
    tavik::sim::Unit::instance().reset();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
