// Where unit profiles come from: the shipped ones, found beside the installed tools
// (<prefix>/share/tavik/profiles for <prefix>/bin and <prefix>/lib; the build tree has the same
// layout), and profile files named by path.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavik::sim {

// The folder of the shipped profiles: TAVIK_PROFILE_DIR when set, else share/tavik/profiles
// beside the running program's folder, else beside the library's.
std::string shippedProfileDirectory();

// The file a profile argument names: a path when it has a "/" or ends in ".json", otherwise the
// shipped profile of that name.
std::string profilePath(const std::string& nameOrPath);

// Reads, parses and validates a profile file: std::runtime_error when there is no such file,
// std::invalid_argument (naming the file and the field) when it is not a valid profile.
nlohmann::json readProfileFile(const std::string& nameOrPath);

// The shipped profiles in name order; a file that is not a valid profile is listed with the
// reason in `error` (the others are listed all the same).
struct ProfileListing {
    std::string file;
    std::string name;
    std::string description;
    std::string error;
};
std::vector<ProfileListing> listShippedProfiles();

} // namespace tavik::sim
