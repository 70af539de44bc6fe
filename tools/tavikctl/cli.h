// Shared pieces of the tavikctl commands: output in text or JSON, and exit codes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "tavik2/error_code.h"

namespace tavikctl {

using json = nlohmann::json;

// Exit statuses, the same for every command (README "Exit status", `tavikctl --help`):
enum ExitStatus : int {
    kExitSuccess = 0,     // done; an overview also when the unit lacks a part, a feature or a setting
    kExitRefused = 1,     // the unit or the library refused: a result code other than those of 3
    kExitUsage = 2,       // the command line was not understood, a value or an input file is wrong
    kExitUnreachable = 3, // the unit could not be reached: a driver, device or service that does not
                          // open (ERR_OPEN_FAILED), or a simulated unit that cannot be opened
};

// The exit status a result code gives: 0, kExitRefused or kExitUnreachable.
int exitStatusFor(int32_t code);

// Whether a code says that the unit lacks what was asked for (not supported, firmware too old):
// an overview shows it as a value and does not fail for it.
bool lacksFeature(int32_t code);

struct Context {
    bool json = false; // --json: one JSON document on stdout
    int exitCode = 0;

    // Records a failure; the most serious status wins (3 over 2 over 1).
    void fail(int status) { exitCode = std::max(exitCode, status); }
    // Records the result of one value of an overview: a lacking feature does not fail it.
    void noteReading(int32_t code) {
        if (!lacksFeature(code)) fail(exitStatusFor(code));
    }
};

// Text of a result code, as GetErrorStringA gives it.
std::string errorText(int32_t code);

// An 8-bit text (settings, EEPROM records) as a JSON string without loss: bytes 0x00..0x7F as
// they are, bytes 0x80..0xFF as the code points U+0080..U+00FF (ISO 8859-1 read as Unicode).
json text8(const std::string& bytes);

// Prints a JSON document (--json) or the given text, and records a failure exit when asked.
void emit(Context& ctx, const json& document, const std::string& text);

// Reports a failed result code: its message on stderr (or in JSON), the status exitStatusFor gives.
void failWith(Context& ctx, const std::string& what, int32_t code);

// A hint for a word that `command` did not expect, e.g. "tavikctl backlight set 50" for
// `tavikctl backlight 50`; the function returns "" when it has none for that word.
void addUsageHint(const CLI::App* command, std::function<std::string(const std::string& word)> hint);

// A number range for CLI11 options that refuses NaN (which compares false with both ends).
CLI::Validator finiteRange(double lowest, double highest);

// Command groups; each lives in its own file.
void addVersionCommands(CLI::App& app, Context& ctx);
void addErrorCommands(CLI::App& app, Context& ctx);
void addSimCommands(CLI::App& app, Context& ctx);
void addSettingsCommands(CLI::App& app, Context& ctx);
void addMessageCommands(CLI::App& app, Context& ctx);
void addAboutCommands(CLI::App& app, Context& ctx);
void addDiagCommands(CLI::App& app, Context& ctx);
void addPowerCommands(CLI::App& app, Context& ctx);
void addConfigCommands(CLI::App& app, Context& ctx);
void addIoCommands(CLI::App& app, Context& ctx);
void addTouchCommands(CLI::App& app, Context& ctx);
void addVideoCommands(CLI::App& app, Context& ctx);
void addFirmwareCommands(CLI::App& app, Context& ctx);
// Whether a firmware job of any process holds the unit's job lock. The lock is looked at, not
// taken, so that a job another process starts at that moment is not refused.
bool firmwareJobRunning();
void addTelematicsCommands(CLI::App& app, Context& ctx);
void addPowerMgrCommands(CLI::App& app, Context& ctx);
void addBacklightCommands(CLI::App& app, Context& ctx);
void addLightCommands(CLI::App& app, Context& ctx);
void addAblCommands(CLI::App& app, Context& ctx);
void addBuzzerCommands(CLI::App& app, Context& ctx);
void addFrontLedCommands(CLI::App& app, Context& ctx);
void addBatteryCommands(CLI::App& app, Context& ctx);
void addStorageCommands(CLI::App& app, Context& ctx);
void addPrivateCommands(CLI::App& app, Context& ctx);
void addServiceCommands(CLI::App& app, Context& ctx);
void addStatusCommands(CLI::App& app, Context& ctx);

// Subcommands that other groups add under "tavikctl sim".
void addSimServiceCommands(CLI::App& sim, Context& ctx);
void addSimEepromCommands(CLI::App& sim, Context& ctx);
void addSimPowerCommands(CLI::App& sim, Context& ctx);
void addSimRegistryCommands(CLI::App& sim, Context& ctx);
void addSimTouchCommands(CLI::App& sim, Context& ctx);
void addSimVideoCommands(CLI::App& sim, Context& ctx);
void addSimBootloaderCommands(CLI::App& sim, Context& ctx);
void addSimLockCommands(CLI::App& sim, Context& ctx);
// tavikctl sim profiles.
void listProfiles(Context& ctx);
void addSimLightCommands(CLI::App& sim, Context& ctx);
void addSimBuzzerCommands(CLI::App& sim, Context& ctx);
void addSimWordCommands(CLI::App& sim, Context& ctx);
void addSimServeCommands(CLI::App& sim, Context& ctx);
void addSimScenarioCommands(CLI::App& sim, Context& ctx);
void addSimReplayCommands(CLI::App& sim, Context& ctx);

} // namespace tavikctl
