// Cost of one remote request through Tavik2.dll: AuxVersion_getFPGAVersion, one driver request,
// with TAVIK_SIM naming a `tavikctl sim serve` (run-remote-bench.sh starts one on loopback and
// runs this under wine). Prints the median, mean and 99th percentile per call.
//   remote_call_bench.exe [CALLS]   (default 2000)
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
using Handle = void*;
using FactoryFn = Handle(__stdcall*)();
using ReleaseFn = void(__stdcall*)(Handle);
using VersionFn = int32_t(__stdcall*)(Handle, uint8_t*, uint8_t*, uint8_t*, uint8_t*);

template <class F>
F find(HMODULE dll, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}
} // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 2000;
    const HMODULE dll = LoadLibraryW(L"Tavik2.dll");
    if (dll == nullptr || calls <= 0) return 2;
    const auto getAux = find<FactoryFn>(dll, "_GetAuxVersion@0");
    const auto release = find<ReleaseFn>(dll, "_AuxVersion_release@4");
    const auto fpga = find<VersionFn>(dll, "_AuxVersion_getFPGAVersion@20");
    if (getAux == nullptr || release == nullptr || fpga == nullptr) return 2;
    const Handle aux = getAux();
    uint8_t v[4];
    for (int i = 0; i < 50; ++i) // connection, first requests
        if (fpga(aux, &v[0], &v[1], &v[2], &v[3]) != 0) {
            std::printf("AuxVersion_getFPGAVersion failed: is TAVIK_SIM set and the server up?\n");
            return 1;
        }

    LARGE_INTEGER frequency, start, end, t0, t1;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> us(static_cast<size_t>(calls));
    QueryPerformanceCounter(&start);
    for (double& u : us) {
        QueryPerformanceCounter(&t0);
        const int32_t r = fpga(aux, &v[0], &v[1], &v[2], &v[3]);
        QueryPerformanceCounter(&t1);
        if (r != 0) return 1;
        u = 1e6 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
    QueryPerformanceCounter(&end);
    release(aux);

    const double total = 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::sort(us.begin(), us.end());
    std::printf("%d x AuxVersion_getFPGAVersion through the remote unit: median %.1f us, mean %.1f us, "
                "p99 %.1f us per call (version %u.%u.%u.%u)\n",
                calls, us[us.size() / 2], total / calls, us[us.size() * 99 / 100], v[0], v[1], v[2], v[3]);
    return 0;
}
