// Files the unit carries beside its hardware: the operating system's information file, and
// whether the shell can name the common application-data folder.
#include <filesystem>
#include <fstream>

#include "sim/unit.h"

namespace tavik::sim {
namespace {

constexpr const char* kOemInfoPath = "c:\\Windows\\System32\\oeminfo.ini";

void initFiles(const json& profile, Txn& txn) {
    const json files = profile.value("files", json::object());
    txn.edit("files") = {{"common_appdata", files.value("common_appdata", true)}};

    namespace fs = std::filesystem;
    const fs::path oem = hostPath(kOemInfoPath);
    std::error_code ec;
    if (profile.contains("oeminfo") && profile["oeminfo"].is_string()) {
        fs::create_directories(oem.parent_path(), ec);
        std::ofstream out(oem, std::ios::binary | std::ios::trunc);
        out << profile["oeminfo"].get<std::string>();
    } else {
        fs::remove(oem, ec);
    }
}

bool validateFiles(json& d, std::string& error) {
    if (d["common_appdata"].is_boolean()) return true;
    error = "common_appdata is true or false";
    return false;
}

const bool registered = (registerModel({"files", &initFiles, &validateFiles}), true);

} // namespace
} // namespace tavik::sim
