// The scenario runner: each typed step through the operations of `tavikctl sim` (sim_ops.h), the
// settings store, the library (video snapshots) and child processes.
#include "sim_scenario_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "frame/settings_file.h"
#include "platform/host/time_scale.h"
#include "powermgr_service.h"
#include "sim_ops.h"
#include "tavik2/video.h"

extern char** environ;

namespace tavikctl::scenario {
namespace sim_scenario_run_cmd {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A step that did not hold: what was expected and what was there.
struct StepFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string show(const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

// Whether `actual` meets the condition: equal values (numbers by value), or a number in range.
bool holds(const Condition& c, const json& actual) {
    if (c.value) {
        if (c.value->is_number() && actual.is_number()) return c.value->get<double>() == actual.get<double>();
        return *c.value == actual;
    }
    if (!actual.is_number()) return false;
    const double v = actual.get<double>();
    return (!c.min || v >= *c.min) && (!c.max || v <= *c.max);
}

// A setting's text against a condition: the text itself, or its number for a range.
bool settingHolds(const Condition& c, const std::optional<std::string>& text) {
    if (!text) return false;
    if (c.value) return c.value->get<std::string>() == *text;
    double v = 0;
    if (tavik::frame::parseDouble(*text, v) != ERR_SUCCESS) return false;
    return holds(c, v);
}

struct Program {
    std::string name, command, outputPath;
    pid_t pid = -1; // also its process group
    bool running = false;
    bool stopped = false; // ended by the scenario
    int status = 0;       // exit code, or 128 + signal
};

class Runner {
public:
    Runner(const Scenario& s, const RunSettings& settings) : s_(s), settings_(settings) {}

    ScenarioResult run() {
        const auto wallStart = Clock::now();
        try {
            prepare();
            for (const Step& step : s_.steps) {
                current_ = &step;
                execute(step);
                ++result_.stepsRun;
            }
            result_.passed = true;
        } catch (const StepFailed& e) {
            fail(e.what());
        } catch (const std::exception& e) {
            fail(e.what());
        }
        result_.unitSeconds = unitMs() / 1000.0;
        stopAll();
        for (Program& p : programs_) result_.programs.push_back(report(p));
        result_.wallSeconds = std::chrono::duration<double>(Clock::now() - wallStart).count();
        return std::move(result_);
    }

private:
    void fail(const std::string& what) {
        const int line = current_ ? current_->line : 0;
        result_.failure = s_.file + (line ? ":" + std::to_string(line) : "") + ": " +
                          (current_ ? std::string(stepName(current_->kind)) + ": " : "") + what;
        print("FAILED " + result_.failure);
    }

    void print(const std::string& line) {
        char stamp[48];
        std::snprintf(stamp, sizeof stamp, "[%10.3f s] ", unitMs() / 1000.0);
        const std::string text = stamp + line + "\n";
        result_.transcript += text;
        if (settings_.out) *settings_.out << text << std::flush;
    }

    // The scenario's own unit: a fresh home, its time scale, its profile.
    void prepare() {
        ::setenv("TAVIK_HOME", settings_.home.c_str(), 1);
        tavik::platform::host::setTimeScale(settings_.timeScale);
        tavik::frame::forgetSettingsFilePath();
        simops::reset();
        if (!s_.profile.empty()) simops::loadProfile(profileArgument(s_));
        const auto last = simops::readLog({"", "", "", 1});
        logStart_ = last.empty() ? 0 : last.back().seq;
        fs::create_directories(fs::path(settings_.home) / "programs");
        start_ = Clock::now();
        print("scenario \"" + s_.name + "\" (" + s_.file + ") on a unit of its own in " + settings_.home +
              ", time scale " + number(settings_.timeScale));
    }

    double unitMs() const {
        if (start_ == Clock::time_point{}) return 0;
        return std::chrono::duration<double, std::milli>(Clock::now() - start_).count() * settings_.timeScale;
    }

    void sleepUnit(double ms) {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms / settings_.timeScale));
    }

    // Polls `check` until it is true or `timeoutMs` of unit time have passed; false at the time-out.
    // With `wallFloorMs`, not before that much wall time has passed either.
    template <typename F>
    bool waitFor(double timeoutMs, F check, int wallFloorMs = 0) {
        const double end = unitMs() + timeoutMs;
        const auto wallEnd = Clock::now() + std::chrono::milliseconds(wallFloorMs);
        // Every 20 ms of unit time, but no more often than every 0.2 ms of wall time.
        const double pollMs = std::max(20.0, 0.2 * settings_.timeScale);
        for (;;) {
            if (check()) return true;
            const double now = unitMs();
            if (now >= end && Clock::now() >= wallEnd) return false;
            sleepUnit(now >= end ? pollMs : std::min(pollMs, end - now));
        }
    }

    json value(const std::string& field) { return simops::get(field).at("value"); }

    std::optional<std::string> setting(const std::string& key) {
        tavik::frame::SettingsFile store;
        store.load();
        const auto it = store.entries().find(key);
        if (it == store.entries().end()) return std::nullopt;
        return it->second;
    }

    bool logMatches(const Step& st) {
        simops::LogFilter f;
        f.target = st.logTarget;
        f.code = std::to_string(*st.logCode);
        f.since = std::to_string(logStart_);
        int found = 0;
        for (const auto& e : simops::readLog(f))
            if (!st.logOk || e.ok == *st.logOk) found++;
        return found >= st.logCount;
    }

    std::string logWhat(const Step& st) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%06X", *st.logCode);
        return (st.logCount > 1 ? std::to_string(st.logCount) + " requests " : std::string("a request ")) + code +
               (st.logTarget.empty() ? "" : " to " + st.logTarget) +
               (st.logOk ? (*st.logOk ? " that succeeded" : " that failed") : "");
    }

    void execute(const Step& st) {
        const std::string at = "line " + std::to_string(st.line) + ": " + stepName(st.kind) + " ";
        switch (st.kind) {
        case StepKind::Set: {
            const json stored = simops::set(st.field, st.valueText).at("value");
            print(at + st.field + " = " + show(stored));
            break;
        }
        case StepKind::Delay:
            print(at + number(st.durationMs) + " ms");
            sleepUnit(st.durationMs);
            break;
        case StepKind::Expect:
        case StepKind::Wait: {
            print(at + st.field + " " + st.condition.describe() +
                  (st.timeoutMs ? " within " + number(*st.timeoutMs) + " ms" : ""));
            json actual;
            const bool ok = waitFor(st.kind == StepKind::Wait ? *st.timeoutMs : 0, [&] {
                actual = value(st.field);
                return holds(st.condition, actual);
            });
            if (!ok)
                throw StepFailed(st.field + ": expected " + st.condition.describe() + ", actual " + show(actual) +
                                 (st.timeoutMs ? " after " + number(*st.timeoutMs) + " ms" : ""));
            break;
        }
        case StepKind::ExpectSetting:
        case StepKind::WaitSetting: {
            print(at + st.key + " " + st.condition.describe() +
                  (st.timeoutMs ? " within " + number(*st.timeoutMs) + " ms" : ""));
            std::optional<std::string> actual;
            const bool ok = waitFor(st.kind == StepKind::WaitSetting ? *st.timeoutMs : 0, [&] {
                actual = setting(st.key);
                return settingHolds(st.condition, actual);
            });
            if (!ok)
                throw StepFailed("setting " + st.key + ": expected " + st.condition.describe() + ", actual " +
                                 (actual ? *actual : "not set") +
                                 (st.timeoutMs ? " after " + number(*st.timeoutMs) + " ms" : ""));
            break;
        }
        case StepKind::ExpectLog:
        case StepKind::WaitLog: {
            print(at + logWhat(st) + (st.timeoutMs ? " within " + number(*st.timeoutMs) + " ms" : ""));
            if (!waitFor(st.kind == StepKind::WaitLog ? *st.timeoutMs : 0, [&] { return logMatches(st); }))
                throw StepFailed("expected " + logWhat(st) + " in the request log since the scenario started, actual none");
            break;
        }
        case StepKind::Fault: {
            const json f = simops::addFault({st.fault.target, st.fault.code, st.fault.action, st.fault.count,
                                             st.fault.reply, st.fault.times, st.fault.skip, st.fault.address,
                                             st.fault.value});
            print(at + f.dump());
            break;
        }
        case StepKind::ClearFaults:
            simops::clearFaults();
            print(at + "every fault removed");
            break;
        case StepKind::Ramp: ramp(st, at); break;
        case StepKind::Press: press(st, at); break;
        case StepKind::Run: startProgram(st, at); break;
        case StepKind::ExpectExit: {
            Program& p = program(st.name);
            print(at + st.name + " with code " + std::to_string(st.exitCode) + " within " + number(*st.timeoutMs) + " ms");
            if (!waitFor(*st.timeoutMs, [&] { return !poll(p); }))
                throw StepFailed(st.name + ": expected exit code " + std::to_string(st.exitCode) +
                                 ", actual still running after " + number(*st.timeoutMs) + " ms");
            if (p.status != st.exitCode)
                throw StepFailed(st.name + ": expected exit code " + std::to_string(st.exitCode) + ", actual " +
                                 std::to_string(p.status));
            break;
        }
        case StepKind::Stop: {
            Program& p = program(st.name);
            stop(p);
            print(at + st.name + ": " + report(p).ended);
            break;
        }
        case StepKind::Snapshot: snapshot(st, at); break;
        }
    }

    // N even steps from `from` to `to`: `from` now, the last value after `over`. A field holding a
    // whole number gets whole numbers.
    void ramp(const Step& st, const std::string& at) {
        const bool whole = value(st.field).is_number_integer();
        print(at + st.field + " from " + number(st.from) + " to " + number(st.to) + " over " +
              number(st.durationMs) + " ms in " + std::to_string(st.rampSteps) + " steps");
        const auto begin = unitMs();
        for (int i = 0; i <= st.rampSteps; ++i) {
            const double target = begin + st.durationMs * i / st.rampSteps;
            sleepUnit(target - unitMs());
            const double v = st.from + (st.to - st.from) * i / st.rampSteps;
            simops::set(st.field, whole ? std::to_string(std::llround(v)) : number(v));
        }
    }

    // The front button, held for the step's time (a long press from 3 s on), then released.
    void press(const Step& st, const std::string& at) {
        const bool longPress = st.durationMs >= kLongPressMs;
        print(at + "front button held " + number(st.durationMs) + " ms (" + (longPress ? "long" : "short") + " press)");
        simops::buttonDown();
        sleepUnit(st.durationMs);
        const int transition = simops::buttonUp(longPress);
        print(at + "released: " + (transition == kTransitionSuspend ? "suspend requested" : transition ? "shutdown requested" : "no action"));
    }

    Program& program(const std::string& name) {
        for (Program& p : programs_)
            if (p.name == name) return p;
        throw StepFailed("no program named " + name); // the loader makes sure of it
    }

    // Whether the program still runs; records how it ended.
    bool poll(Program& p) {
        if (!p.running) return false;
        int status = 0;
        const pid_t r = ::waitpid(p.pid, &status, WNOHANG);
        if (r == 0) return true;
        p.running = false;
        p.status = r < 0 ? 255 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }

    void startProgram(const Step& st, const std::string& at) {
        Program p;
        p.name = st.name;
        p.command = st.command;
        p.outputPath = (fs::path(settings_.home) / "programs" / (st.name + ".out")).string();
        // Everything the child needs is made before the fork: it only redirects and executes.
        std::vector<std::string> env;
        const std::string toolDir = fs::read_symlink("/proc/self/exe").parent_path().string();
        const char* path = std::getenv("PATH");
        const std::string scenarioDir = fs::absolute(fs::path(s_.file)).parent_path().string();
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            if (v.rfind("TAVIK_HOME=", 0) != 0 && v.rfind("TAVIK_TIME_SCALE=", 0) != 0 && v.rfind("PATH=", 0) != 0 &&
                v.rfind("TAVIK_SCENARIO_DIR=", 0) != 0)
                env.push_back(v);
        }
        env.push_back("TAVIK_HOME=" + settings_.home);
        env.push_back("TAVIK_TIME_SCALE=" + number(settings_.timeScale));
        env.push_back("TAVIK_SCENARIO_DIR=" + scenarioDir);
        env.push_back("PATH=" + toolDir + (path ? ":" + std::string(path) : ":/usr/bin:/bin"));
        std::vector<char*> envp;
        for (std::string& v : env) envp.push_back(v.data());
        envp.push_back(nullptr);
        const int out = ::open(p.outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (out < 0 || in < 0) {
            if (out >= 0) ::close(out);
            if (in >= 0) ::close(in);
            throw StepFailed("cannot capture the output of " + st.name + ": " + std::strerror(errno));
        }
        const char* argv[] = {"/bin/sh", "-c", p.command.c_str(), nullptr};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::execve("/bin/sh", const_cast<char**>(argv), envp.data());
            ::_exit(127);
        }
        ::close(out);
        ::close(in);
        if (pid < 0) throw StepFailed("cannot start " + st.name + ": " + std::strerror(errno));
        ::setpgid(pid, pid); // also here: a signal sent before the child ran its own call reaches it
        p.pid = pid;
        p.running = true;
        programs_.push_back(p);
        Program& started = programs_.back();
        print(at + st.name + (st.background ? " in the background" : "") + " (pid " + std::to_string(pid) + "): " + st.command);
        if (st.background) return;
        const double timeoutMs = st.timeoutMs.value_or(kDefaultRunTimeoutMs);
        if (!waitFor(timeoutMs, [&] { return !poll(started); }, st.timeoutMs ? 0 : kDefaultRunWallFloorMs)) {
            stop(started);
            throw StepFailed(st.name + ": expected to end within " + number(timeoutMs) +
                             " ms, actual still running (stopped)");
        }
        if (started.status != st.exitCode)
            throw StepFailed(st.name + ": expected exit code " + std::to_string(st.exitCode) + ", actual " +
                             std::to_string(started.status));
        print(at + st.name + " ended with code " + std::to_string(started.status));
    }

    // SIGTERM to the program's process group; SIGKILL after the grace.
    void stop(Program& p) {
        if (!poll(p)) return;
        ::kill(-p.pid, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::milliseconds(kStopGraceMs);
        while (poll(p) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (poll(p)) {
            ::kill(-p.pid, SIGKILL);
            int status = 0;
            ::waitpid(p.pid, &status, 0);
            p.running = false;
            p.status = 128 + SIGKILL;
        }
        ::kill(-p.pid, SIGKILL); // what the program left behind in its group
        p.stopped = true;
    }

    void stopAll() {
        for (Program& p : programs_)
            if (p.running) {
                stop(p);
                print("end: " + p.name + " " + report(p).ended);
            }
    }

    ProgramReport report(const Program& p) const {
        ProgramReport r{p.name, p.command, {}, {}};
        if (p.running) r.ended = "running";
        else if (p.stopped) r.ended = "stopped by the scenario (" + describeStatus(p.status) + ")";
        else r.ended = describeStatus(p.status);
        std::ifstream in(p.outputPath, std::ios::binary);
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size > 0) {
            const std::streamoff from = size > static_cast<std::streamoff>(kMaxCapturedOutput)
                                            ? size - static_cast<std::streamoff>(kMaxCapturedOutput) : 0;
            in.seekg(from);
            r.output.assign(static_cast<size_t>(size - from), '\0');
            in.read(r.output.data(), static_cast<std::streamsize>(r.output.size()));
            if (from > 0) r.output = "[... first " + std::to_string(from) + " bytes left out]\n" + r.output;
        }
        return r;
    }

    static std::string describeStatus(int status) {
        return status > 128 ? "signal " + std::to_string(status - 128) : "exit " + std::to_string(status);
    }

    void snapshot(const Step& st, const std::string& at) {
        if (!st.stateFile.empty()) {
            const std::string tmp = st.stateFile + ".tmp";
            {
                std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
                f << tavik::sim::Unit::instance().snapshot().dump(2) << '\n';
                if (!f.flush()) throw StepFailed("cannot write " + tmp);
            }
            fs::rename(tmp, st.stateFile);
            print(at + "unit state written to " + st.stateFile);
            return;
        }
        Tavik2Video* v = GetVideo();
        ErrorCode e = v ? Video_init(v, static_cast<uint8_t>(st.input)) : ERR_MEMORY_ALLOCATION;
        if (e == ERR_SUCCESS) e = Video_takeSnapshot(v, st.frameFile.c_str(), 0);
        if (v) Video_release(v);
        if (e != ERR_SUCCESS)
            throw StepFailed("video input " + std::to_string(st.input) + ": expected a snapshot in " + st.frameFile +
                             ", actual result code " + std::to_string(e));
        print(at + "video input " + std::to_string(st.input) + " written to " + st.frameFile);
    }

    static constexpr double kLongPressMs = 3000;

    const Scenario& s_;
    const RunSettings& settings_;
    ScenarioResult result_;
    const Step* current_ = nullptr;
    Clock::time_point start_{};
    uint64_t logStart_ = 0;
    std::vector<Program> programs_;
};

} // namespace sim_scenario_run_cmd

ScenarioResult runScenario(const Scenario& scenario, const RunSettings& settings) {
    using namespace sim_scenario_run_cmd;
    return Runner(scenario, settings).run();
}

} // namespace tavikctl::scenario
