#include "sim/profile_schema.h"

#include <stdexcept>

namespace tavik::sim {

void validateProfile(const nlohmann::json& profile, const std::string& source) {
    if (!profile.is_object()) throw std::invalid_argument(source + ": a profile is a JSON object");
}

} // namespace tavik::sim
