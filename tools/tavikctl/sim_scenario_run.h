// The scenario runner: executes the typed steps of one scenario against the unit of a home.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "sim_scenario.h"

namespace tavikctl::scenario {

// Grace a program gets between SIGTERM and SIGKILL when a scenario stops it (wall time).
constexpr int kStopGraceMs = 2000;
// A program run in the foreground without a time-out: 10 min of unit time, and at least 60 s of
// wall time (starting a process takes wall time, however compressed the unit's is).
constexpr double kDefaultRunTimeoutMs = 600000;
constexpr int kDefaultRunWallFloorMs = 60000;
// Output of one program kept for the report (its last bytes).
constexpr size_t kMaxCapturedOutput = 64 * 1024;

struct ProgramReport {
    std::string name, command;
    std::string output; // stdout and stderr together
    std::string ended;  // "exit 0", "signal 15", "stopped by the scenario (exit 143)"
};

struct ScenarioResult {
    bool passed = false;
    std::string failure;     // "FILE:LINE: step: expected ..., actual ..."
    size_t stepsRun = 0;
    double wallSeconds = 0;
    double unitSeconds = 0;
    std::vector<ProgramReport> programs;
    std::string transcript;  // the step lines as printed
};

struct RunSettings {
    std::string home;        // a fresh, empty folder: the scenario's unit
    double timeScale = 1;
    std::ostream* out = nullptr; // step lines as they run (null: none)
};

// Runs one scenario; a failure of the run itself (a unit that cannot be made) is a failed result.
ScenarioResult runScenario(const Scenario& scenario, const RunSettings& settings);

} // namespace tavikctl::scenario
