// The settings store: one store life (create, load, one get, one set, destroy) on files of 20 and
// 200 keys, and the throughput of 4 processes incrementing one key, each increment a store life.
// Runs against a scratch unit home of its own. The program starts copies of itself as the
// incrementing processes ("settings_bench --increment KEY COUNT").
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame/settings_file.h"
#include "platform/host/time_scale.h"
#include "sim/unit.h"

extern char** environ;

namespace {

using tavik::frame::SettingsFile;

std::string selfPath;

void writeKeys(int count) {
    tavik::frame::forgetSettingsFilePath();
    const std::string path = tavik::sim::hostPath(tavik::frame::settingsFilePath());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < count; ++i) out << "Key" << 1000 + i << "=value of key " << i << "\r\n";
}

void incrementOnce(const std::string& key) {
    SettingsFile store;
    store.load();
    int32_t v = 0;
    store.getInt(key, v);
    store.setInt(key, v + 1);
}

void BM_StoreLife(benchmark::State& state) {
    writeKeys(static_cast<int>(state.range(0)));
    int64_t n = 0;
    for (auto _ : state) {
        SettingsFile store;
        store.load();
        benchmark::DoNotOptimize(store.get("Key1010"));
        store.set("Key1010", std::to_string(++n));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StoreLife)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

void BM_CrossProcessIncrement(benchmark::State& state) {
    constexpr int kProcesses = 4;
    const int perProcess = static_cast<int>(state.range(0));
    writeKeys(20);
    for (auto _ : state) {
        std::vector<pid_t> pids;
        const std::string count = std::to_string(perProcess);
        for (int i = 0; i < kProcesses; ++i) {
            const char* argv[] = {selfPath.c_str(), "--increment", "Counter", count.c_str(), nullptr};
            pid_t pid = -1;
            if (posix_spawn(&pid, selfPath.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
                pids.push_back(pid);
        }
        for (pid_t pid : pids) waitpid(pid, nullptr, 0);
        if (pids.size() != kProcesses) state.SkipWithError("could not start the processes");
    }
    state.SetItemsProcessed(state.iterations() * kProcesses * perProcess);
    state.counters["processes"] = kProcesses;
}
BENCHMARK(BM_CrossProcessIncrement)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    selfPath = std::filesystem::canonical("/proc/self/exe").string();
    if (argc == 4 && std::strcmp(argv[1], "--increment") == 0) {
        const long count = std::strtol(argv[3], nullptr, 10);
        for (long i = 0; i < count; ++i) incrementOnce(argv[2]);
        return 0;
    }
    char home[] = "/tmp/tavik-bench-XXXXXX";
    if (::mkdtemp(home) == nullptr) return 1;
    ::setenv("TAVIK_HOME", home, 1);
    tavik::sim::Unit::instance().reset();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    tavik::platform::host::removeNamedSemaphores();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
