#include "readings.h"

#include <algorithm>
#include <cmath>

namespace tavikctl {

Reading reading(const std::string& key, const std::string& label, const std::string& unit,
                ErrorCode code, json value, std::string text) {
    Reading r{key, label, unit, code, std::move(value), std::move(text)};
    if (code == ERR_SUCCESS && r.text.empty()) r.text = r.value.dump();
    return r;
}

void showReadings(Context& ctx, const std::vector<Reading>& readings) {
    size_t width = 0;
    for (const Reading& r : readings) width = std::max(width, r.label.size());
    json doc = json::object();
    std::string text;
    bool failed = false;
    for (const Reading& r : readings) {
        std::string line = r.label + ":";
        line.append(width + 2 - r.label.size(), ' ');
        json item;
        if (r.code == ERR_SUCCESS) {
            item = {{"value", r.value}};
            if (!r.unit.empty()) item["unit"] = r.unit;
            item.update(r.extra);
            line += r.text + (r.unit.empty() ? "" : " " + r.unit);
        } else {
            item = {{"code", r.code}, {"message", errorText(r.code)}};
            line += "error " + std::to_string(r.code) + ": " + errorText(r.code);
            ctx.noteReading(r.code);
            failed = failed || !lacksFeature(r.code);
        }
        doc[r.key] = item;
        text += line + "\n";
    }
    emit(ctx, doc, text);
    if (failed) {
        if (!ctx.json) std::cerr << "tavikctl: some values could not be read\n";
    }
}

int64_t parseInteger(const std::string& what, const std::string& text, int64_t lowest, int64_t highest) {
    size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(text, &used, 0);
    } catch (const std::exception&) {
        throw CLI::ValidationError(what, "not a number: " + text);
    }
    if (used != text.size()) throw CLI::ValidationError(what, "not a number: " + text);
    if (v < lowest || v > highest)
        throw CLI::ValidationError(what, text + " is outside " + std::to_string(lowest) + ".." +
                                             std::to_string(highest));
    return v;
}

double parseNumber(const std::string& what, const std::string& text) {
    size_t used = 0;
    double v = 0;
    try {
        v = std::stod(text, &used);
    } catch (const std::exception&) {
        throw CLI::ValidationError(what, "not a number: " + text);
    }
    if (used != text.size()) throw CLI::ValidationError(what, "not a number: " + text);
    return v;
}

void reportSet(Context& ctx, const std::string& what, ErrorCode code, const json& value,
               const std::string& shown) {
    if (code != ERR_SUCCESS) {
        failWith(ctx, what, code);
        return;
    }
    emit(ctx, json{{"set", what}, {"value", value}}, what + " set to " + shown);
}

} // namespace tavikctl
