#include "sim/profile_files.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "sim/profile_schema.h"

namespace fs = std::filesystem;

namespace tavik::sim {
namespace {

constexpr const char* kShareProfiles = "share/tavik/profiles";

// <prefix>/share/tavik/profiles for a file in <prefix>/bin or <prefix>/lib.
fs::path besidePrefixOf(const fs::path& file) {
    std::error_code ec;
    const fs::path real = fs::canonical(file, ec);
    if (ec) return {};
    return real.parent_path().parent_path() / kShareProfiles;
}

bool isFolder(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_directory(p, ec);
}

} // namespace

std::string shippedProfileDirectory() {
    if (const char* d = std::getenv("TAVIK_PROFILE_DIR"); d != nullptr && *d != '\0') return d;
    const fs::path program = besidePrefixOf("/proc/self/exe");
    if (isFolder(program)) return program.string();
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&shippedProfileDirectory), &info) != 0 && info.dli_fname != nullptr) {
        const fs::path library = besidePrefixOf(info.dli_fname);
        if (isFolder(library)) return library.string();
    }
    return program.string(); // names the expected place in the messages
}

std::string profilePath(const std::string& nameOrPath) {
    const bool path = nameOrPath.find('/') != std::string::npos ||
                      (nameOrPath.size() >= 5 && nameOrPath.compare(nameOrPath.size() - 5, 5, ".json") == 0);
    return path ? nameOrPath : shippedProfileDirectory() + "/" + nameOrPath + ".json";
}

nlohmann::json readProfileFile(const std::string& nameOrPath) {
    const std::string path = profilePath(nameOrPath);
    std::error_code ec;
    // A name or path that is no profile is the caller's mistake, as a bad profile is.
    if (fs::is_directory(path, ec)) throw std::invalid_argument(path + ": a folder, not a profile file");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (path == nameOrPath) throw std::invalid_argument("cannot read the profile file " + path);
        throw std::invalid_argument("no shipped profile \"" + nameOrPath + "\" (" + path +
                                    "); give a path with a / or ending in .json for a file of your own");
    }
    return parseProfile(in, path);
}

std::vector<ProfileListing> listShippedProfiles() {
    std::vector<ProfileListing> list;
    const std::string dir = shippedProfileDirectory();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".json") continue;
        ProfileListing item;
        item.file = entry.path().string();
        try {
            const nlohmann::json p = readProfileFile(item.file);
            item.name = p.value("name", entry.path().stem().string());
            item.description = p.value("description", std::string());
        } catch (const std::exception& e) {
            item.name = entry.path().stem().string();
            item.error = e.what();
        }
        list.push_back(std::move(item));
    }
    if (ec) throw std::runtime_error("cannot list the shipped profiles in " + dir + ": " + ec.message());
    std::sort(list.begin(), list.end(), [](const ProfileListing& a, const ProfileListing& b) { return a.file < b.file; });
    return list;
}

} // namespace tavik::sim
