// Firmware images and jobs: the microcontroller reader on the HEX file of a 1 MiB image, side by
// side with `objcopy -I ihex -O binary` on the same file, and a 1 MiB FPGA upgrade with
// verification against the simulated unit (real time, no compression). Runs in a scratch home.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "firmware/image_readers.h"
#include "platform/host/time_scale.h"
#include "sim/unit.h"
#include "tavik2/firmware_upgrade.h"

namespace {

constexpr size_t kImageBytes = 1 << 20;
std::string scratch;

std::vector<uint8_t> randomImage() {
    std::vector<uint8_t> image(kImageBytes);
    std::mt19937 random(42);
    for (uint8_t& b : image) b = static_cast<uint8_t>(random());
    return image;
}

// The HEX file of a 1 MiB image at flash addresses, as the build tools write it.
const std::string& hexFile() {
    static const std::string path = [] {
        const std::string bin = scratch + "/image.bin", hex = scratch + "/image.hex";
        const std::vector<uint8_t> image = randomImage();
        std::ofstream(bin, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), kImageBytes);
        const std::string cmd = "objcopy -I binary -O ihex --change-addresses 0x08000000 " + bin + " " + hex;
        if (std::system(cmd.c_str()) != 0) return std::string();
        return hex;
    }();
    return path;
}

// The FPGA image file: 16-byte data records in address order.
const std::string& fpgaFile() {
    static const std::string path = [] {
        const std::string file = scratch + "/fpga.hex";
        const std::vector<uint8_t> image = randomImage();
        std::ofstream out(file, std::ios::binary);
        char line[64];
        for (size_t at = 0; at < image.size(); at += 16) {
            if (at % 65536 == 0) {
                const unsigned seg = static_cast<unsigned>(at >> 16);
                std::snprintf(line, sizeof line, ":02000004%04X%02X\n", seg,
                              (0x100 - ((6 + (seg >> 8) + (seg & 0xFF)) & 0xFF)) & 0xFF);
                out << line;
            }
            unsigned sum = 0x10 + ((at >> 8) & 0xFF) + (at & 0xFF);
            int n = std::snprintf(line, sizeof line, ":10%04X00", static_cast<unsigned>(at & 0xFFFF));
            for (size_t i = 0; i < 16; ++i) {
                n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X", image[at + i]);
                sum += image[at + i];
            }
            std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
            out << line;
        }
        out << ":00000001FF\n";
        return file;
    }();
    return path;
}

void BM_HexReader(benchmark::State& state) {
    const std::string& hex = hexFile();
    if (hex.empty()) return state.SkipWithError("objcopy failed");
    for (auto _ : state) {
        tavik::firmware::FirmwareImage image;
        const ErrorCode e = tavik::firmware::readHexImage(hex, image, [](ErrorCode, uint32_t) {});
        if (e != ERR_SUCCESS || image.data.size() != kImageBytes) return state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(hex)));
}
BENCHMARK(BM_HexReader)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ObjcopyHexToBinary(benchmark::State& state) {
    const std::string& hex = hexFile();
    if (hex.empty()) return state.SkipWithError("objcopy failed");
    const std::string cmd = "objcopy -I ihex -O binary " + hex + " " + scratch + "/out.bin";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) return state.SkipWithError("objcopy failed");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(hex)));
}
BENCHMARK(BM_ObjcopyHexToBinary)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FpgaUpgradeWithVerification(benchmark::State& state) {
    const std::string& file = fpgaFile();
    for (auto _ : state) {
        Varnholtstad::FirmwareUpgrade* h = GetFirmwareUpgrade();
        const ErrorCode e = FirmwareUpgrade_startFpgaUpgrade(h, file.c_str(), true);
        FirmwareUpgrade_release(h);
        if (e != ERR_SUCCESS) return state.SkipWithError(("upgrade failed: " + std::to_string(e)).c_str());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageBytes));
}
BENCHMARK(BM_FpgaUpgradeWithVerification)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    char home[] = "/tmp/tavik-bench-XXXXXX";
    if (::mkdtemp(home) == nullptr) return 1;
    scratch = home;
    ::setenv("TAVIK_HOME", home, 1);
    tavik::platform::host::setTimeScale(1);
    tavik::sim::Unit::instance().reset();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    tavik::platform::host::removeNamedSemaphores();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
