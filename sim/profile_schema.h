// Checks a unit profile before anything of it is used, against the JSON Schema shipped with the
// project (sim/profile.schema.json, also installed as share/tavik/profile.schema.json).
// Sections the schema does not know are let through for their models; known ones are strict.
#pragma once

#include <istream>
#include <string>

#include <nlohmann/json.hpp>

namespace tavik::sim {

// Deepest nesting of objects and arrays a profile may have.
constexpr int kProfileMaxDepth = 32;

// Throws std::invalid_argument "<source>: <field>: <what is wrong>" when the profile is not one.
void validateProfile(const nlohmann::json& profile, const std::string& source);

// Parses a profile's text (nesting bounded before it can exhaust the stack) and validates it.
// Throws std::invalid_argument naming `source` when it is not JSON or not a profile.
nlohmann::json parseProfile(std::istream& in, const std::string& source);

// The schema the profiles are checked against.
const nlohmann::json& profileSchema();

} // namespace tavik::sim
