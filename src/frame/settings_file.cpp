#include "frame/settings_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <locale>
#include <optional>
#include <sstream>

#include "frame/handle.h"
#include "platform/files.h"
#include "platform/sync.h"

namespace tavik::frame {
namespace {

// The resolved path, shared by the threads of the process.
struct CachedPath {
    std::atomic_flag guard = ATOMIC_FLAG_INIT;
    bool valid = false;
    char path[kSettingsPathCapacity] = {};
};

CachedPath& cachedPath() {
    static CachedPath cache;
    return cache;
}

constexpr char kSpace = ' ';

// ": <the C library's text of errno>", or nothing when errno says nothing.
std::string reason() {
    return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

std::string trimSpaces(const std::string& text, std::size_t begin, std::size_t end) {
    while (begin < end && text[begin] == kSpace) ++begin;
    while (end > begin && text[end - 1] == kSpace) --end;
    return text.substr(begin, end - begin);
}

} // namespace

std::string settingsFilePath() {
    CachedPath& cache = cachedPath();
    {
        SpinGuard guard(cache.guard);
        if (cache.valid) return cache.path;
    }
    const std::optional<std::string> appData = platform::commonAppDataFolder();
    if (!appData) return kSettingsFallbackPath;
    const std::string folder = *appData + "\\" + kSettingsFolderName;
    const std::string path = folder + "\\" + kSettingsFileName;
    // A path the narrow file calls cannot take is no better than no folder at all.
    if (path.size() >= kSettingsPathCapacity) return kSettingsFallbackPath;
    platform::createDirectory(folder); // existing already is the usual case
    SpinGuard guard(cache.guard);
    std::memcpy(cache.path, path.c_str(), path.size() + 1);
    cache.valid = true;
    return path;
}

void forgetSettingsFilePath() {
    CachedPath& cache = cachedPath();
    SpinGuard guard(cache.guard);
    cache.valid = false;
    cache.path[0] = '\0';
}

void parseSettingsLine(const std::string& line, SettingsEntries& entries) {
    if (line.empty() || line[0] == ';') return;
    const std::size_t equals = line.find('=');
    // Headings, "/" comments and stray words name no value; keeping them as an empty key would
    // write a bare "=" line back and let them overwrite a genuine "=value" entry.
    if (equals == std::string::npos) return;
    entries[trimSpaces(line, 0, equals)] = trimSpaces(line, equals + 1, line.size());
}

std::string renderSettings(const SettingsEntries& entries, const std::string& key, const std::string& value) {
    std::string out;
    std::size_t size = key.size() + value.size() + 5;
    for (const auto& [k, v] : entries) size += k.size() + v.size() + 3;
    out.reserve(size);
    bool found = false;
    for (const auto& [k, v] : entries) {
        out += k;
        out += '=';
        if (k == key) {
            out += value;
            found = true;
        } else {
            out += v;
        }
        out += "\r\n";
    }
    if (!found) {
        out += key;
        out += " = ";
        out += value;
        out += "\r\n";
    }
    return out;
}

std::string settingsEntryProblem(const std::string& key, const std::string& value) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (key.empty()) return "the key is empty";
    if (key.find_first_of("=\r\n") != std::string::npos) return "a key cannot contain \"=\", CR or LF";
    if (key[0] == ';') return "a key cannot start with \";\" (the line would be a comment)";
    if (blank(key.front()) || blank(key.back())) return "a key cannot start or end with blanks (they are trimmed away)";
    if (value.find_first_of("\r\n") != std::string::npos) return "a value cannot contain CR or LF";
    if (!value.empty() && (value.front() == kSpace || value.back() == kSpace))
        return "a value cannot start or end with spaces (they are trimmed away)";
    return std::string();
}

ErrorCode formatInt(int32_t value, std::string& text) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    if (!out) return ERR_DATATYPE_MISMATCH;
    text = out.str();
    return ERR_SUCCESS;
}

ErrorCode formatDouble(double value, std::string& text) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value; // default precision 6, general notation: the %g form
    if (!out) return ERR_DATATYPE_MISMATCH;
    text = out.str();
    return ERR_SUCCESS;
}

ErrorCode parseInt(const std::string& text, int32_t& value) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    int32_t v = 0;
    in >> v; // fails on no digits and on values outside 32 bits
    if (in.fail()) return ERR_DATATYPE_MISMATCH;
    value = v;
    return ERR_SUCCESS;
}

ErrorCode parseDouble(const std::string& text, double& value) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double v = 0;
    in >> v;
    if (in.fail()) return ERR_DATATYPE_MISMATCH;
    value = v;
    return ERR_SUCCESS;
}

SettingsFile::SettingsFile() : lock_(kSettingsLockName, platform::kWaitForever) {}

SettingsFile::~SettingsFile() = default;

void SettingsFile::load() { load(settingsFilePath()); }

void SettingsFile::load(const std::string& path) {
    path_ = path;
    readFailed_ = false;
    const platform::FileHandle file = platform::openFileForRead(path, false);
    if (!file) {
        readFailed_ = platform::pathExists(path);
        return;
    }
    std::string content;
    char buffer[4096];
    uint32_t count = 0;
    bool ok = true;
    while ((ok = platform::readFile(file, buffer, sizeof buffer, count)) && count > 0) content.append(buffer, count);
    platform::closeFile(file);
    if (!ok) {
        readFailed_ = true;
        return;
    }
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        parseSettingsLine(line, entries_);
        start = end + 1;
    }
}

std::string SettingsFile::get(const std::string& key) { return entries_[key]; }

bool SettingsFile::set(const std::string& key, const std::string& value) {
    const std::string content = renderSettings(entries_, key, value);
    entries_[key] = value;
    return writeFile(content);
}

bool SettingsFile::set(const std::vector<std::pair<std::string, std::string>>& changes) {
    if (changes.empty()) return true;
    for (std::size_t i = 0; i + 1 < changes.size(); ++i) entries_[changes[i].first] = changes[i].second;
    return set(changes.back().first, changes.back().second);
}

bool SettingsFile::writeFile(const std::string& content) {
    writeError_.clear();
    if (path_.empty()) {
        writeError_ = "no settings file was loaded";
        return false;
    }
    if (readFailed_) {
        writeError_ = "the file exists but could not be read; it is not rewritten, which would lose its other settings";
        return false;
    }
    // Under the lock no other store writes, so one temporary name per file suffices and a file
    // left by a killed writer is reused. Unlocked stores of several processes must not share it.
    const std::string temp =
        locked() ? path_ + ".tmp" : path_ + "." + std::to_string(platform::currentProcessId()) + ".tmp";
    bool written = false;
    {
        errno = 0;
        std::ofstream out(platform::streamPath(temp), std::ios::binary | std::ios::trunc);
        if (!out) {
            writeError_ = "cannot create " + temp + reason();
            return false;
        }
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        written = !out.fail();
        if (!written) writeError_ = "cannot write " + temp + reason();
    }
    if (written && platform::replaceFile(temp, path_)) return true;
    if (written) writeError_ = "cannot replace " + path_ + " by " + temp;
    platform::deleteFile(temp);
    return false;
}

ErrorCode SettingsFile::getInt(const std::string& key, int32_t& value) { return parseInt(get(key), value); }

ErrorCode SettingsFile::getDouble(const std::string& key, double& value) {
    return parseDouble(get(key), value);
}

ErrorCode SettingsFile::setInt(const std::string& key, int32_t value) {
    std::string text;
    if (const ErrorCode e = formatInt(value, text); e != ERR_SUCCESS) return e;
    return storeResult(set(key, text));
}

ErrorCode SettingsFile::setDouble(const std::string& key, double value) {
    std::string text;
    if (const ErrorCode e = formatDouble(value, text); e != ERR_SUCCESS) return e;
    return storeResult(set(key, text));
}

} // namespace tavik::frame
