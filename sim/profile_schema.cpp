#include "sim/profile_schema.h"

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include "sim/unit.h"

namespace tavik::sim {
namespace {

const char kSchemaText[] =
#include "profile_schema.inc"
    ;

// Bounds of any profile, whatever its sections: checked before the schema, whose validator
// recurses and matches patterns with std::regex (which recurses per character).
constexpr size_t kMaxStringLength = 65536;
constexpr size_t kMaxElements = 4096;

struct Compiled {
    nlohmann::json document;
    valijson::Schema schema;
    Compiled() : document(nlohmann::json::parse(kSchemaText)) {
        valijson::SchemaParser parser;
        valijson::adapters::NlohmannJsonAdapter adapter(document);
        parser.populateSchema(adapter, schema);
    }
};

const Compiled& compiled() {
    static const Compiled c;
    return c;
}

[[noreturn]] void refuse(const std::string& source, const std::string& field, const std::string& what) {
    throw std::invalid_argument(source + ": " + (field.empty() ? "" : field + ": ") + what);
}

// "driver.versions.ss", "eeprom.main[3]" from a path of keys and indices.
std::string joinField(const std::vector<std::string>& parts) {
    std::string field;
    for (const std::string& p : parts) {
        if (!p.empty() && p[0] == '[')
            field += p;
        else
            field += (field.empty() ? "" : ".") + p;
    }
    return field;
}

// Without recursion: nesting depth, string lengths and element counts.
void checkBounds(const nlohmann::json& profile, const std::string& source) {
    struct Item {
        const nlohmann::json* value;
        std::vector<std::string> path;
    };
    std::vector<Item> todo{{&profile, {}}};
    while (!todo.empty()) {
        Item item = std::move(todo.back());
        todo.pop_back();
        const nlohmann::json& v = *item.value;
        const std::string field = joinField(item.path);
        if (static_cast<int>(item.path.size()) > kProfileMaxDepth)
            refuse(source, field, "nested deeper than " + std::to_string(kProfileMaxDepth) + " levels");
        if (v.is_string() && v.get_ref<const std::string&>().size() > kMaxStringLength)
            refuse(source, field, "text longer than " + std::to_string(kMaxStringLength) + " bytes");
        if (v.is_structured() && v.size() > kMaxElements)
            refuse(source, field, "more than " + std::to_string(kMaxElements) + " elements");
        if (v.is_object()) {
            for (auto it = v.begin(); it != v.end(); ++it) {
                auto path = item.path;
                path.push_back(it.key());
                todo.push_back({&it.value(), std::move(path)});
            }
        } else if (v.is_array()) {
            for (size_t i = 0; i < v.size(); ++i) {
                auto path = item.path;
                path.push_back("[" + std::to_string(i) + "]");
                todo.push_back({&v[i], std::move(path)});
            }
        }
    }
}

// valijson's context ("<root>", "[driver]", "[versions]", "[0]") as a field name.
std::string fieldOf(const std::vector<std::string>& context) {
    std::vector<std::string> parts;
    for (const std::string& c : context) {
        if (c == "<root>" || c.size() < 2) continue;
        const std::string inner = c.substr(1, c.size() - 2);
        const bool index = !inner.empty() && inner.find_first_not_of("0123456789") == std::string::npos;
        parts.push_back(index ? c : inner);
    }
    return joinField(parts);
}

} // namespace

const nlohmann::json& profileSchema() { return compiled().document; }

void validateProfile(const nlohmann::json& profile, const std::string& source) {
    if (!profile.is_object()) refuse(source, "", "a profile is a JSON object");
    checkBounds(profile, source);

    valijson::Validator validator(valijson::Validator::kStrongTypes);
    valijson::ValidationResults results;
    valijson::adapters::NlohmannJsonAdapter target(profile);
    if (!validator.validate(compiled().schema, target, &results)) {
        // The innermost error names the field itself rather than a section that contains it.
        valijson::ValidationResults::Error error, deepest;
        bool any = false;
        while (results.popError(error)) {
            if (!any || error.context.size() > deepest.context.size()) deepest = error;
            any = true;
        }
        refuse(source, fieldOf(deepest.context), deepest.description);
    }

    // Hex contents are checked here rather than by a schema pattern (std::regex recurses).
    if (const auto e = profile.find("eeprom"); e != profile.end()) {
        for (const char* which : {"main", "addon"}) {
            const auto s = e->find(which);
            if (s == e->end() || !s->is_object() || !s->contains("hex")) continue;
            std::vector<uint8_t> bytes;
            if (!fromHex((*s)["hex"].get<std::string>(), bytes))
                refuse(source, std::string("eeprom.") + which + ".hex", "not hex bytes (pairs of 0-9 a-f)");
            if (bytes.size() > 4096) refuse(source, std::string("eeprom.") + which + ".hex", "more than 4096 bytes");
        }
    }
}

nlohmann::json parseProfile(std::istream& in, const std::string& source) {
    using Event = nlohmann::json::parse_event_t;
    // The open objects and arrays, outermost first: the last key seen, or the next index. The
    // refusal names the path of keys and indices down to the level past the limit.
    struct Level {
        bool array = false;
        std::string key;
        size_t next = 0;
    };
    std::vector<Level> open;
    auto startElement = [&](size_t depth) {
        open.resize(std::min(open.size(), depth));
        if (depth > 0 && depth <= open.size() && open[depth - 1].array) ++open[depth - 1].next;
    };
    auto pathTo = [&](size_t depth) {
        std::vector<std::string> parts;
        for (size_t i = 0; i < depth && i < open.size(); ++i)
            parts.push_back(open[i].array ? "[" + std::to_string(open[i].next - 1) + "]" : open[i].key);
        return joinField(parts);
    };
    nlohmann::json profile;
    try {
        profile = nlohmann::json::parse(in, [&](int d, Event event, nlohmann::json& parsed) {
            const auto depth = static_cast<size_t>(d);
            switch (event) {
            case Event::object_start:
            case Event::array_start:
                startElement(depth);
                if (depth > static_cast<size_t>(kProfileMaxDepth))
                    refuse(source, pathTo(depth), "nested deeper than " + std::to_string(kProfileMaxDepth) + " levels");
                open.push_back(Level{event == Event::array_start, {}, 0});
                break;
            case Event::key:
                if (depth > 0 && depth <= open.size()) open[depth - 1].key = parsed.get<std::string>();
                break;
            case Event::value: startElement(depth); break;
            case Event::object_end:
            case Event::array_end: open.resize(std::min(open.size(), depth)); break;
            }
            return true;
        });
    } catch (const nlohmann::json::exception& e) {
        throw std::invalid_argument(source + ": not JSON (" + e.what() + ")");
    }
    validateProfile(profile, source);
    return profile;
}

} // namespace tavik::sim
