// The few operations of `tavikctl sim` the scenarios use, on the unit of this TAVIK_HOME.
// Faults go through `tavikctl sim fault add` itself, so they pass exactly its checks.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/unit.h"

namespace tavikctl::scenario::ops {

using json = nlohmann::json;

json get(const std::string& path); // {"path", "value"}
json set(const std::string& path, const std::string& value);

struct FaultSpec {
    std::string target = "\\\\.\\TavikDrv";
    std::string code = "0";
    std::string action;
    std::string count, reply, times, skip, address, value;
};
// Adds the fault through `tavikctl sim fault add`; throws std::invalid_argument with its message
// when refused.
json addFault(const FaultSpec& spec);
void clearFaults();

struct LogFilter {
    std::string target, code, since;
    size_t last = 0;
};
std::vector<tavik::sim::LogEntry> readLog(const LogFilter& filter);

json loadProfile(const std::string& nameOrPath);
json reset();

} // namespace tavikctl::scenario::ops
