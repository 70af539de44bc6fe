// Lists of readings for the supervisor's command groups (diag, power, config): each reading has
// a key (JSON), a label and unit (text), and either a value or the result code that refused it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli.h"

namespace tavikctl {

struct Reading {
    std::string key;
    std::string label;
    std::string unit;        // empty for plain numbers and codes
    ErrorCode code = ERR_SUCCESS;
    json value;              // the value delivered (numbers stay numbers in JSON)
    std::string text;        // the value as shown, without the unit
    json extra = json::object(); // further JSON fields (e.g. the text of a code)
};

// Fills a reading from an operation's result: on success `value`/`text`, else the code.
Reading reading(const std::string& key, const std::string& label, const std::string& unit,
                ErrorCode code, json value = nullptr, std::string text = {});

// Prints the readings as aligned "label: value unit" lines or one JSON object by key.
// A unit that lacks a feature (not supported, firmware too old) shows the refusal without
// failing; any other failure gives the exit status of its code.
void showReadings(Context& ctx, const std::vector<Reading>& readings);

// A signed/unsigned integer argument in decimal or 0x hex within [lowest, highest].
int64_t parseInteger(const std::string& what, const std::string& text, int64_t lowest, int64_t highest);
// A floating-point argument (NaN passes through: the library judges it).
double parseNumber(const std::string& what, const std::string& text);

// Reports a refused setter (message, exit 1) or the value written.
void reportSet(Context& ctx, const std::string& what, ErrorCode code, const json& value,
               const std::string& shown);

} // namespace tavikctl
