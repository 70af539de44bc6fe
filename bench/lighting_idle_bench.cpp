// Idle cost of the automatic backlight: the CPU time one process spends with the controller
// running (automatic backlight on, the level at its target, the averaging sampling), and with the
// controller waiting for a settings change, over real time at normal speed (no compression).
// Each case runs in a process of its own against a scratch unit home:
//   lighting_idle_bench [--seconds N]        (default 60; both cases, one after the other)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "frame/settings_file.h"
#include "lighting/backlight_controller.h"
#include "platform/host/time_scale.h"
#include "sim/lighting_model.h"
#include "sim/unit.h"

extern char** environ;

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

void writeSettings(bool enabled) {
    tavik::frame::forgetSettingsFilePath();
    const std::string path = tavik::sim::hostPath(tavik::frame::settingsFilePath());
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << "ABL_status=" << (enabled ? 1 : 0)
        << "\r\nABL_bSoftTransitions=1\r\nABL_k=50\r\nABL_averageWndSize=5\r\nABL_rejectWndSize=5\r\n"
           "ABL_rejectDeltaInLux=50\r\nABL_mode=2\r\n";
}

// One case, in this process: prints the CPU seconds spent over `seconds` after a settling second.
int runCase(bool enabled, double seconds) {
    tavik::sim::Unit::instance().reset();
    tavik::sim::setAmbientLight(300);
    writeSettings(enabled);
    tavik::lighting::BacklightController controller;
    if (controller.start() != ERR_SUCCESS) return 2;
    std::this_thread::sleep_for(std::chrono::seconds(enabled ? 10 : 1)); // reach the target level first
    const double before = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = cpuSeconds() - before;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %.6f %.3f\n", enabled ? "running" : "waiting", cpu, wall);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    const char* only = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atof(argv[++i]);
        if (std::strcmp(argv[i], "--case") == 0 && i + 1 < argc) only = argv[++i];
    }
    if (only != nullptr) return runCase(std::strcmp(only, "running") == 0, seconds);

    char tmpl[] = "/tmp/tavik-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 1;
    setenv("TAVIK_HOME", tmpl, 1);
    unsetenv("TAVIK_TIME_SCALE"); // normal speed
    unsetenv("TAVIK_TRACE");
    std::printf("CPU time of one process over %.0f s of real time (percent of one core)\n", seconds);
    for (const char* c : {"waiting", "running"}) {
        const std::string secondsText = std::to_string(seconds);
        char* args[] = {argv[0], const_cast<char*>("--case"), const_cast<char*>(c), const_cast<char*>("--seconds"),
                        const_cast<char*>(secondsText.c_str()), nullptr};
        pid_t pid = 0;
        int fds[2];
        if (pipe(fds) != 0) return 1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, args, environ) != 0) return 1;
        close(fds[1]);
        char line[256] = {};
        const ssize_t n = read(fds[0], line, sizeof line - 1);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        char name[32] = {};
        double cpu = 0, wall = 0;
        if (n <= 0 || std::sscanf(line, "%31s %lf %lf", name, &cpu, &wall) != 3) {
            std::printf("%-8s failed\n", c);
            continue;
        }
        std::printf("%-8s %8.3f s CPU in %6.1f s  = %.4f %% of one core\n", name, cpu, wall, 100.0 * cpu / wall);
    }
    tavik::platform::host::removeNamedSemaphores();
    std::filesystem::remove_all(tmpl);
    return 0;
}
