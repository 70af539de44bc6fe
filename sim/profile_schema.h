// Checks a unit profile before anything of it is used.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace tavik::sim {

// Throws std::invalid_argument naming `source` and the field when the profile is not one.
void validateProfile(const nlohmann::json& profile, const std::string& source);

} // namespace tavik::sim
