// The settings file "Tavik.ini" shared by every process on the unit and by the platform service:
// its location, its key=value format, the typed conversions, and the store object through which
// every family reads and writes it under the cross-process lock.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "frame/cross_process_lock.h"
#include "tavik2/error_code.h"

namespace tavik::frame {

constexpr const char* kSettingsLockName = "FILE_TAVIKINI_IS_IN_USE";
constexpr const char* kSettingsFolderName = "Varnholtstad";
constexpr const char* kSettingsFileName = "Tavik.ini";
constexpr const char* kSettingsFallbackPath = "C:\\Tavik.ini";
// Longest cached path, terminating NUL included (MAX_PATH).
constexpr std::size_t kSettingsPathCapacity = 260;

// Path of the settings file: <common application data>\Varnholtstad\Tavik.ini, the folder created
// on the first resolution (failure ignored) and the path cached for the process. When the shell
// gives no folder, or the path would not fit kSettingsPathCapacity, the result is
// "C:\Tavik.ini" and nothing is cached: the next call asks again. Safe from any thread.
std::string settingsFilePath();

// Drops the cached path, so that the next resolution asks the shell again. The host tests and the
// simulator use it when they move to a new unit home; the library itself never does.
void forgetSettingsFilePath();

// Key to value, in ascending byte order of the key.
using SettingsEntries = std::map<std::string, std::string>;

// Adds the entry of one line (without its line end) to `entries`: key and value split at the first
// "=" and trimmed of spaces (0x20 only); a later line of the same key replaces the earlier one.
// Empty lines, lines of spaces, ";" comments and lines without "=" (section headings such as
// "[Section]", "/" comments) carry no entry and are skipped.
void parseSettingsLine(const std::string& line, SettingsEntries& entries);

// The file's bytes after setting `key` to `value`: every entry as "key=value" in key order, the
// changed key with its new value; a key not among the entries appended last as "key = value".
// Every line ends in CR LF.
std::string renderSettings(const SettingsEntries& entries, const std::string& key, const std::string& value);

// Why `key` = `value` cannot be stored so that it reads back as the same entry, or empty text when
// it can: the file has no quoting, so a key may not be empty, hold "=", CR or LF, start with ";"
// (a comment) or start or end with blanks, and a value may not hold CR or LF or start or end with
// spaces (they are trimmed away).
std::string settingsEntryProblem(const std::string& key, const std::string& value);

// The result of an operation whose purpose is to store: ERR_SUCCESS when the store wrote the
// file, ERR_DEVICE_WRITE_DATA_FAILED when it could not (the file is then as it was).
inline ErrorCode storeResult(bool written) { return written ? ERR_SUCCESS : ERR_DEVICE_WRITE_DATA_FAILED; }

// Typed conversions of the stored text, in the classic locale whatever the process's global one.
// Each returns ERR_DATATYPE_MISMATCH and leaves its target unchanged when the conversion fails.
// Integers are decimal; floats have six significant digits in %g form ("50", "36.0674", "1e-07").
// Reading skips leading white space and stops at the first character that cannot continue the
// number ("12abc" reads 12); empty text, text starting with a letter and integers outside 32 bits fail.
ErrorCode formatInt(int32_t value, std::string& text);
ErrorCode formatDouble(double value, std::string& text);
ErrorCode parseInt(const std::string& text, int32_t& value);
ErrorCode parseDouble(const std::string& text, double& value);

// One use of the settings file: construct, load, any gets and sets, destroy. The object holds the
// cross-process lock for its whole life, so whole operations of every process are serialised.
// Used by one thread; a thread holding a store must not construct a second one (it would wait for
// its own lock forever).
class SettingsFile {
public:
    // Takes the lock, waiting without a time limit. When the semaphore can be neither created nor
    // opened, the store works unlocked.
    SettingsFile();
    // Gives the lock back.
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    // Reads the file at settingsFilePath() / at `path` (a Windows path). A missing file leaves the
    // store empty. A file that exists but cannot be read in full (held open without sharing by
    // another program, no permission, a read error) also reads as empty, but then no set writes:
    // rewriting it from what little was read would lose every other setting.
    // Lines end at LF; a CR before it is dropped.
    void load();
    void load(const std::string& path);

    // The value of `key`, or empty text when it is absent; an absent key is added with an empty
    // value, so that a later set writes it in the sorted "key=" form.
    std::string get(const std::string& key);

    // Rewrites the whole file with `key` set to `value` (renderSettings) and records the value in
    // the entries. The new content goes to a temporary file beside the old one, which then replaces
    // it in one step: a crash or a full disk leaves the old file or the new one, never a part.
    // Returns false when nothing could be written (the old file is left as it was), also after a
    // failed read; the entries change all the same. An operation that exists to store a value
    // reports that as ERR_DEVICE_WRITE_DATA_FAILED (storeResult).
    bool set(const std::string& key, const std::string& value);

    // Several keys in one rewrite, all or none: the file ends as the same sets one after the
    // other would leave it (the last key, when new, appended as "key = value"), but a failed
    // write leaves the old file whole instead of some keys changed. Empty `changes`: true.
    bool set(const std::vector<std::pair<std::string, std::string>>& changes);

    // Typed access through the conversions above. A get of an absent or empty key fails with
    // ERR_DATATYPE_MISMATCH (and adds the key, as get does). A set fails with
    // ERR_DATATYPE_MISMATCH when the value cannot be converted (nothing written) and with
    // ERR_DEVICE_WRITE_DATA_FAILED when the file cannot be written.
    ErrorCode getInt(const std::string& key, int32_t& value);
    ErrorCode getDouble(const std::string& key, double& value);
    ErrorCode setInt(const std::string& key, int32_t value);
    ErrorCode setDouble(const std::string& key, double value);

    // Whether the store holds the cross-process lock.
    bool locked() const { return lock_.held(); }
    const std::string& path() const { return path_; }
    const SettingsEntries& entries() const { return entries_; }
    // Whether the last load found a file that it could not read.
    bool readFailed() const { return readFailed_; }
    // Why the last set could not write the file (empty after a successful one).
    const std::string& writeError() const { return writeError_; }

private:
    bool writeFile(const std::string& content);

    ScopedCrossProcessLock lock_;
    SettingsEntries entries_;
    std::string path_;
    bool readFailed_ = false;
    std::string writeError_;
};

} // namespace tavik::frame
