// A scenario's own overhead per step, beyond the unit time it waits: scenarios of many steps run by
// `tavikctl sim scenario run` (the tavikctl beside this program), their wall time against that of a
// one-step scenario, per step:
// - value steps (set and expect alternately, no unit time);
// - delay steps of 1 s at time scale 1000 (1 ms of wall time each, which is subtracted).
//   scenario_bench [--steps N]     (default 1000)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;

std::string tool() { return (fs::read_symlink("/proc/self/exe").parent_path() / "tavikctl").string(); }

// Wall seconds of the scenario's steps, as the runner reports them (unit set-up included).
double runScenario(const fs::path& dir, const std::string& name, const std::string& steps) {
    const fs::path file = dir / (name + ".yaml");
    std::ofstream(file) << "name: " << name << "\ntime-scale: 1000\nsteps:\n" << steps;
    const std::string cmd = "TAVIK_HOME='" + (dir / "unused").string() + "' '" + tool() + "' --json sim scenario run '" +
                            file.string() + "' --home '" + (dir / "runs").string() + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while (p != nullptr && (n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    if (p == nullptr || ::pclose(p) != 0) {
        std::fprintf(stderr, "scenario %s failed:\n%s\n", name.c_str(), out.c_str());
        std::exit(1);
    }
    return nlohmann::json::parse(out).at(0).at("wall_s").get<double>();
}

} // namespace

int main(int argc, char** argv) {
    int steps = 1000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--steps") == 0) steps = std::max(2, std::atoi(argv[i + 1]));
    char tmpl[] = "/tmp/tavik-scenario-bench-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) return 1;
    const fs::path dir = tmpl;

    const double base = runScenario(dir, "base", "  - set: {field: supervisor.ssTemp, value: 40}\n");
    std::string values, delays;
    for (int i = 0; i < steps; ++i) {
        values += i % 2 ? "  - expect: {field: supervisor.ssTemp, value: " + std::to_string(40 + i / 2 % 20) + "}\n"
                        : "  - set: {field: supervisor.ssTemp, value: " + std::to_string(40 + i / 2 % 20) + "}\n";
        delays += "  - delay: 1s\n";
    }
    const double valueWall = runScenario(dir, "values", values);
    const double delayWall = runScenario(dir, "delays", delays);
    std::printf("one-step scenario: %.3f s wall (a fresh unit and the report)\n", base);
    std::printf("%d set/expect steps: %.3f s wall, %.1f us a step\n", steps, valueWall,
                (valueWall - base) / steps * 1e6);
    std::printf("%d delay steps of 1 s at scale 1000: %.3f s wall, %.1f us a step beyond the 1 ms waited\n", steps,
                delayWall, (delayWall - base - steps * 0.001) / steps * 1e6);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
