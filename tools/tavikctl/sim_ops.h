// The operations of `tavikctl sim` on the unit of this TAVIK_HOME, shared by the command line,
// the panel server and scripted runs: one implementation and one validation for each. Results are
// the JSON documents `tavikctl --json` prints. Refusals throw: Refused for a wrong argument (named
// by its command-line option), std::invalid_argument for a value a model refuses; nothing is
// changed then. Not thread-safe: the library's shared family objects are not (callers serialise).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/unit.h"

namespace tavikctl::simops {

using json = nlohmann::json;

// An argument refused before the unit is touched; `option` is its command-line option.
struct Refused : std::invalid_argument {
    Refused(std::string option, const std::string& message)
        : std::invalid_argument(option + ": " + message), option(std::move(option)), message(message) {}
    std::string option;
    std::string message;
};

// sim get MODEL.FIELD: {"path", "value"} (a bare MODEL gives the model's whole document).
json get(const std::string& path);
// sim set MODEL.FIELD VALUE (JSON text, or a plain word for texts), checked by the model:
// {"path", "value"} as stored afterwards.
json set(const std::string& path, const std::string& value);

// sim fault add: the options as texts, as given on the command line; empty means not given.
struct FaultOptions {
    std::string target = "\\\\.\\TavikDrv";
    std::string code = "0";
    std::string action;
    std::string count, reply, times, skip, address, value;
    bool replyGiven = false; // --reply "" is a reply of no bytes, not a missing option
};
// Checks every option against the target's kind and adds the fault; returns it as stored.
json addFault(const FaultOptions& options);
json faults();
void clearFaults();
// Help text of the targets and their actions.
extern const char* const kFaultHelp;

// sim log: filters as texts (empty: not given).
struct LogFilter {
    std::string target, code, since;
    size_t last = 0;
};
std::vector<tavik::sim::LogEntry> readLog(const LogFilter& filter);
json logJson(const std::vector<tavik::sim::LogEntry>& entries);
void clearLog();

// sim load NAME|FILE: {"profile": name}.
json loadProfile(const std::string& nameOrPath);
// sim reset: back to the default profile, faults and log cleared, stale semaphores removed; a
// unit that cannot be opened is made anew (`warn` hears why). {"profile", "home"}.
json reset(void (*warn)(const std::string&) = nullptr);

// tavikctl status, read through the library's families without changing the unit.
struct Status {
    json document;    // what `tavikctl --json status` prints
    std::string text; // what `tavikctl status` prints
    bool failed = false; // some value could not be read
    int exitStatus = 0;  // the tool's exit status for the values that failed (exitStatusFor)
};
Status status();

// The front button as the supervisor reports it. buttonDown(): transition 1 (held).
// buttonUp(longPress): the press's action from the start-up configuration (short or long) posted
// as transition 2 (suspend) or 3 (shutdown) with a power request, which the platform service
// (`tavikctl service run`) acknowledges and carries out; 0 and no request when the action is none.
// Returns the transition posted. The panel and the scenarios press the button through these.
void buttonDown();
int buttonUp(bool longPress);

// A 32-bit number in decimal or 0x-prefixed hexadecimal; throws Refused naming `option`.
uint32_t parseNumber(const std::string& option, const std::string& text);

} // namespace tavikctl::simops
