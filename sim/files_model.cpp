// Files the unit carries beside its hardware: the operating system's information file, and
// whether the shell can name the common application-data folder.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sim/unit.h"

namespace tavik::sim {
namespace files_model {

constexpr const char* kOemInfoPath = "c:\\Windows\\System32\\oeminfo.ini";

namespace fs = std::filesystem;

// Writes the new contents beside the file and moves them over it in one step, so that a reader
// of the file (the library, in another process) sees the old or the new contents, never a part.
void replaceFileContents(const std::string& path, const std::string& contents) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    const std::string temp = path + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        out.close();
        if (!out) {
            fs::remove(temp, ec);
            throw UnitError("cannot write " + temp);
        }
    }
    // The profile says what is at this path: a folder put in its place goes.
    if (fs::is_directory(path, ec)) fs::remove_all(path, ec);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        fs::remove(temp, ec);
        throw UnitError("cannot replace " + path);
    }
}

void removeFile(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
}

void initFiles(const json& profile, Txn& txn) {
    const json files = profile.value("files", json::object());
    txn.edit("files") = {{"common_appdata", files.value("common_appdata", true)}};

    const std::string oem = hostPath(kOemInfoPath);
    if (profile.contains("oeminfo") && profile["oeminfo"].is_string())
        replaceFileContents(oem, profile["oeminfo"].get<std::string>());
    else
        removeFile(oem);
}

bool validateFiles(json& d, std::string& error) {
    if (d["common_appdata"].is_boolean()) return true;
    error = "common_appdata is true or false";
    return false;
}

const bool registered = (registerModel({"files", &initFiles, &validateFiles}), true);

} // namespace files_model
} // namespace tavik::sim
