// Files and folders of the host build: Windows paths live inside TAVIK_HOME. When the home
// cannot be had, every path is one that does not exist.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "sim/unit.h"

namespace tavik::platform {
namespace {

std::string mapped(const std::string& windowsPath) noexcept {
    try {
        return sim::hostPath(windowsPath);
    } catch (...) {
        return std::string();
    }
}

} // namespace

FileHandle openFileForRead(const std::string& path, bool exclusive) {
    const int fd = ::open(mapped(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    // A folder is not a file: CreateFileW refuses to open one for reading.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return {};
    }
    // Windows sharing modes played with advisory locks: an exclusive open is refused while anybody
    // has the file open, and any open while somebody has it exclusively (a sharing violation).
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        return {};
    }
    FileHandle h;
    h.value = fd;
    return h;
}

bool readFile(FileHandle file, void* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    if (!file) return false;
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(file.value), buffer, size);
        if (n >= 0) {
            read = static_cast<uint32_t>(n);
            return true;
        }
        if (errno != EINTR) return false;
    }
}

void closeFile(FileHandle file) {
    if (file) ::close(static_cast<int>(file.value));
}

bool fileSize(FileHandle file, uint64_t& size) {
    struct stat st {};
    if (!file || ::fstat(static_cast<int>(file.value), &st) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

std::optional<std::string> commonAppDataFolder() {
    // A unit that cannot be read is a shell that cannot name the folder.
    bool available = false;
    try {
        sim::Unit::instance().transact([&](sim::Txn& txn) {
            available = txn.get("files").value("common_appdata", true);
        });
    } catch (...) {
        available = false;
    }
    if (!available) return std::nullopt;
    const std::string folder = "C:\\ProgramData";
    ::mkdir(mapped("c:\\").c_str(), 0777);
    ::mkdir(mapped(folder).c_str(), 0777); // CSIDL_FLAG_CREATE
    return folder;
}

bool createDirectory(const std::string& path) {
    return ::mkdir(mapped(path).c_str(), 0777) == 0;
}

std::string streamPath(const std::string& windowsPath) { return mapped(windowsPath); }

bool replaceFile(const std::string& source, const std::string& target) {
    const std::string from = mapped(source);
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return std::rename(from.c_str(), mapped(target).c_str()) == 0;
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::stat(mapped(path).c_str(), &info) == 0;
}

bool deleteFile(const std::string& path) { return ::unlink(mapped(path).c_str()) == 0; }

FileHandle createFileForWrite(const std::string& path) {
    const int fd = ::open(sim::hostPath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return {};
    FileHandle h;
    h.value = fd;
    return h;
}

bool writeFile(FileHandle file, const void* data, uint32_t size, uint32_t& written) {
    written = 0;
    if (!file) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    while (written < size) {
        const ssize_t n = ::write(static_cast<int>(file.value), p + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<uint32_t>(n);
    }
    return true;
}

} // namespace tavik::platform
