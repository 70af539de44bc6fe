// Files and folders: CreateFileW / ReadFile for plain reads, SHGetFolderPathW, CreateDirectoryW,
// MoveFileExW. Paths are Windows paths in the narrow (ANSI) code page, such as
// "c:\Windows\System32\oeminfo.ini"; on the host they are mapped into TAVIK_HOME.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/handles.h"

namespace tavik::platform {

// Opens an existing file for reading; `exclusive` shares it with nobody while open, otherwise it is
// shared for reading and writing.
// Returns invalid when the file is missing or cannot be opened.
FileHandle openFileForRead(const std::string& path, bool exclusive);

// Reads up to `size` bytes. Returns false on a read error; `read` is the byte count (0 at the end).
bool readFile(FileHandle file, void* buffer, uint32_t size, uint32_t& read);

void closeFile(FileHandle file);

// The size of an open file as the file system reports it (GetFileSizeEx); false when unknown.
bool fileSize(FileHandle file, uint64_t& size);

// The machine-wide application-data folder (CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE),
// or nothing when the shell cannot give it.
std::optional<std::string> commonAppDataFolder();

// Creates a folder; false when it could not be created (also when it exists already).
bool createDirectory(const std::string& path);

// The path to hand to the C++ standard streams for a Windows path (identity on Windows).
std::string streamPath(const std::string& windowsPath);

// Replaces `target` by `source` in one step, flushing it to disk first, so that a reader sees
// either the old or the new file, never a partial one. False when the move failed.
bool replaceFile(const std::string& source, const std::string& target);

// True when something exists at `path` (a file or a folder), whether or not it can be opened.
bool pathExists(const std::string& path);

// Deletes a file; false when it could not be deleted.
bool deleteFile(const std::string& path);

} // namespace tavik::platform
