// Files and folders of the host build: Windows paths live inside TAVIK_HOME.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "sim/unit.h"

namespace tavik::platform {

FileHandle openFileForRead(const std::string& path, bool exclusive) {
    const int fd = ::open(sim::hostPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
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

std::optional<std::string> commonAppDataFolder() {
    bool available = true;
    sim::Unit::instance().transact([&](sim::Txn& txn) {
        available = txn.get("files").value("common_appdata", true);
    });
    if (!available) return std::nullopt;
    const std::string folder = "C:\\ProgramData";
    ::mkdir(sim::hostPath("c:\\").c_str(), 0777);
    ::mkdir(sim::hostPath(folder).c_str(), 0777); // CSIDL_FLAG_CREATE
    return folder;
}

bool createDirectory(const std::string& path) {
    return ::mkdir(sim::hostPath(path).c_str(), 0777) == 0;
}

std::string streamPath(const std::string& windowsPath) { return sim::hostPath(windowsPath); }

bool replaceFile(const std::string& source, const std::string& target) {
    const std::string from = sim::hostPath(source);
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return std::rename(from.c_str(), sim::hostPath(target).c_str()) == 0;
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::stat(sim::hostPath(path).c_str(), &info) == 0;
}

bool deleteFile(const std::string& path) { return ::unlink(sim::hostPath(path).c_str()) == 0; }

} // namespace tavik::platform
