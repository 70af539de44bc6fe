// Scenarios of `tavikctl sim scenario`: a file of steps run against a fresh simulated unit.
// The loader (sim_scenario_load.cpp) is the only part that knows YAML: it turns a file into typed
// steps, each with its line, and refuses anything it cannot type. The runner
// (sim_scenario_run.cpp) executes typed steps and knows nothing of the file format.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavikctl::scenario {

using json = nlohmann::json;

// A file that cannot be used: the message is "FILE:LINE: what" (LINE counts from 1; 0: the whole file).
struct ScenarioError : std::runtime_error {
    ScenarioError(const std::string& file, int line, const std::string& what);
    std::string file;
    int line;
};

enum class StepKind {
    Set, Delay, Expect, Wait, ExpectSetting, WaitSetting, ExpectLog, WaitLog, Fault, ClearFaults,
    Ramp, Press, Run, ExpectExit, Stop, Snapshot
};

// The step's name in the file ("expect-setting", ...).
const char* stepName(StepKind kind);

// What an expect or wait step accepts: one value, or a range (either bound may be missing).
struct Condition {
    std::optional<json> value;
    std::optional<double> min, max;
    // "= 5", ">= 1 and <= 7", ...
    std::string describe() const;
};

// The options of `tavikctl sim fault add`, as texts (the validation is the tool's).
struct FaultStep {
    std::string target = "\\\\.\\TavikDrv", code = "0", action, count, reply, times, skip, address, value;
};

struct Step {
    StepKind kind = StepKind::Delay;
    int line = 0;
    std::string field;          // MODEL.FIELD: set, expect, wait, ramp
    std::string valueText;      // set: the value as `tavikctl sim set` takes it
    Condition condition;        // expect, wait, expect-setting, wait-setting
    std::string key;            // settings steps: the key
    double durationMs = 0;      // delay, ramp (over), press (hold): unit milliseconds
    std::optional<double> timeoutMs; // wait*, expect-exit, run (foreground)
    std::string logTarget;      // expect-log, wait-log: empty = any target
    std::optional<uint32_t> logCode;
    std::optional<bool> logOk;
    int logCount = 1;           // at least this many matching entries
    FaultStep fault;
    double from = 0, to = 0;    // ramp
    int rampSteps = 0;
    std::string name, command;  // run, expect-exit, stop
    bool background = false;
    int exitCode = 0;           // expect-exit; run in the foreground (default 0)
    std::string stateFile, frameFile; // snapshot
    int input = 1;
};

struct Scenario {
    std::string file;
    std::string name;
    std::string profile;        // empty: the default unit; a shipped name or a path resolved against the file's folder
    int profileLine = 0;
    std::optional<double> timeScale;
    std::vector<Step> steps;
};

// What the loader cannot know by itself: the unit's fields and the fault rules. Each returns an
// empty text when the item is fine, else why not. Missing checks accept everything.
struct Checks {
    std::function<std::string(const std::string& field)> field;
    std::function<std::string(const FaultStep& fault)> fault;
};

constexpr size_t kMaxScenarioBytes = 1 << 20;
constexpr size_t kMaxSteps = 10000;
constexpr double kMaxDurationMs = 7.0 * 24 * 3600 * 1000; // a week of unit time

// Parses a scenario from `text`; `file` names it in messages. Throws ScenarioError.
Scenario parseScenario(const std::string& text, const std::string& file, const Checks& checks = {});
// Reads and parses a file (at most kMaxScenarioBytes). Throws ScenarioError.
Scenario loadScenario(const std::string& path, const Checks& checks = {});

// The scenario's profile as `sim load` takes it: a shipped name as it is, a file (a '/' or ".json")
// found beside the scenario file. Empty for the default unit.
std::string profileArgument(const Scenario& scenario);

// "250ms", "2s", "1.5min", "1h" in unit milliseconds; nullopt when the text is not a duration.
std::optional<double> parseDuration(const std::string& text);

} // namespace tavikctl::scenario
