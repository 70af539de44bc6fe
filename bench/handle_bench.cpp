// The handle check's cost per exported call: the same operation through its export (handle
// check against the registry of live handles, forwarding, exception guard) and through the
// object's slot directly; the difference is what the frame adds. With several threads the
// calls go to objects of their own, as in an application with one object per thread.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <vector>

#include "tavik2/aux_version.h"

namespace {

// Objects alive beside the measured one, so that the registry is not trivially small.
struct Population {
    std::vector<Varnholtstad::AuxVersion*> handles;
    explicit Population(int n) {
        for (int i = 0; i < n; ++i) handles.push_back(GetAuxVersion());
    }
    ~Population() {
        for (auto* h : handles) AuxVersion_release(h);
    }
};

void BM_ThroughExport(benchmark::State& state) {
    Population others(static_cast<int>(state.range(0)));
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    uint8_t p[4];
    for (auto _ : state) benchmark::DoNotOptimize(AuxVersion_getTavikVersion(h, &p[0], &p[1], &p[2], &p[3]));
    AuxVersion_release(h);
}
BENCHMARK(BM_ThroughExport)->Arg(0)->Arg(200)->Threads(1)->Threads(2);

void BM_SlotDirectly(benchmark::State& state) {
    Population others(static_cast<int>(state.range(0)));
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    uint8_t p[4];
    for (auto _ : state) benchmark::DoNotOptimize(h->getTavikVersion(&p[0], &p[1], &p[2], &p[3]));
    AuxVersion_release(h);
}
BENCHMARK(BM_SlotDirectly)->Arg(0)->Arg(200)->Threads(1)->Threads(2);

} // namespace

// Runs against a scratch unit home of its own.
int main(int argc, char** argv) {
    char home[] = "/tmp/tavik-bench-XXXXXX";
    if (::mkdtemp(home) == nullptr) return 1;
    ::setenv("TAVIK_HOME", home, 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
