// Files and folders over the Win32 file and shell calls.
#include "platform/files.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

#include "platform/win32/text.h"

namespace tavik::platform {
namespace {

HANDLE native(FileHandle file) { return reinterpret_cast<HANDLE>(file.value); }

// CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE: the shell creates the folder when it is missing.
constexpr int kCommonAppDataCreate = 0x8023;

} // namespace

FileHandle openFileForRead(const std::string& path, bool exclusive) {
    const std::wstring wide = win32::widen(path);
    if (wide.empty()) return {};
    // Not exclusive: other readers may have it open too, writers not.
    const DWORD share = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    FileHandle file;
    file.value = reinterpret_cast<NativeHandle>(h);
    return file;
}

bool readFile(FileHandle file, void* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    if (!file) return false;
    DWORD count = 0;
    if (!ReadFile(native(file), buffer, size, &count, nullptr)) return false;
    read = count;
    return true;
}

void closeFile(FileHandle file) {
    if (file) CloseHandle(native(file));
}

bool fileSize(FileHandle file, uint64_t& size) {
    LARGE_INTEGER n{};
    if (!file || !GetFileSizeEx(native(file), &n) || n.QuadPart < 0) return false;
    size = static_cast<uint64_t>(n.QuadPart);
    return true;
}

std::optional<std::string> commonAppDataFolder() {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, kCommonAppDataCreate, nullptr, 0, path) != S_OK) return std::nullopt;
    // The runtime's conversion in its current locale, as the standard streams expect the path.
    char narrow[MAX_PATH * 2] = {};
    const size_t n = std::wcstombs(narrow, path, sizeof narrow - 1);
    if (n == static_cast<size_t>(-1)) return std::nullopt;
    return std::string(narrow, n);
}

bool createDirectory(const std::string& path) {
    const std::wstring wide = win32::widen(path);
    return !wide.empty() && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

std::string streamPath(const std::string& windowsPath) { return windowsPath; }

bool replaceFile(const std::string& source, const std::string& target) {
    const std::wstring from = win32::widen(source);
    const std::wstring to = win32::widen(target);
    if (from.empty() || to.empty()) return false;
    // Flush the new content to disk before it takes the old file's place.
    const HANDLE h = CreateFileW(from.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(h);
        CloseHandle(h);
    }
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool pathExists(const std::string& path) {
    const std::wstring wide = win32::widen(path);
    return !wide.empty() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool deleteFile(const std::string& path) {
    const std::wstring wide = win32::widen(path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

} // namespace tavik::platform
