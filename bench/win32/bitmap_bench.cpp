// Video_createBitmap of a 720 x 576 interlaced frame through Tavik2.dll next to a memcpy of the same
// raw pixel data, best of each; the video family needs a fitted unit, so run-bitmap-bench.sh runs
// this against a served simulated unit.
//   bitmap_bench.exe [ROUNDS]   (default 200)
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
using Handle = void*;
using FactoryFn = Handle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(Handle);
using CreateFn = int32_t(__stdcall*)(Handle, uint8_t**, uint32_t*, const uint8_t*, uint32_t, bool, bool);
using FreeFn = int32_t(__stdcall*)(Handle, uint8_t*);

template <class F>
F find(HMODULE dll, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

double seconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}
} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    const HMODULE dll = LoadLibraryW(L"Tavik2.dll");
    if (dll == nullptr || rounds <= 0) return 2;
    const auto getVideo = find<FactoryFn>(dll, "_GetVideo@0");
    const auto release = find<ReleaseFn>(dll, "_Video_release@4");
    const auto create = find<CreateFn>(dll, "_Video_createBitmap@28");
    const auto freeBmp = find<FreeFn>(dll, "_Video_freeBmpBuffer@8");
    if (getVideo == nullptr || release == nullptr || create == nullptr || freeBmp == nullptr) return 2;

    constexpr uint32_t kWidth = 720, kFieldLines = 288;
    constexpr size_t kPixelBytes = 4ull * kWidth * kFieldLines * 2;
    std::vector<uint8_t> raw(256 + kPixelBytes), copy(kPixelBytes);
    for (size_t i = 256; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 31);
    const uint32_t header[3] = {kWidth, kFieldLines, kFieldLines};
    std::memcpy(raw.data() + 4, header, sizeof header);

    const Handle video = getVideo();
    double bestCopy = 1e9, bestBitmap = 1e9;
    for (int r = 0; r < rounds; ++r) {
        double t0 = seconds();
        std::memcpy(copy.data(), raw.data() + 256, kPixelBytes);
        bestCopy = std::min(bestCopy, seconds() - t0);
        uint8_t* bmp = nullptr;
        uint32_t size = 0;
        t0 = seconds();
        const int32_t e = create(video, &bmp, &size, raw.data(), static_cast<uint32_t>(raw.size()), false, false);
        bestBitmap = std::min(bestBitmap, seconds() - t0);
        if (e != 0) {
            std::printf("Video_createBitmap failed (%d): is TAVIK_SIM set and the server up?\n", e);
            return 1;
        }
        freeBmp(video, bmp);
    }
    release(video);
    std::printf("720 x 576 frame, best of %d: memcpy %.1f us, Video_createBitmap %.1f us (%.2f x)\n", rounds,
                1e6 * bestCopy, 1e6 * bestBitmap, bestBitmap / bestCopy);
    return copy[0] == raw[256] ? 0 : 1;
}
