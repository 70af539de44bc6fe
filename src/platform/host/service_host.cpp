#include "platform/host/service_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/service.h"
#include "sim/unit.h"

namespace tavik::platform {
namespace host {
namespace {

std::string lockPath() { return sim::homeDirectory() + "/sim/service.lock"; }

struct flock byteZero(short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    return fl;
}

// The process id written in the file; 0 when none is (a clean stop, or not written yet).
uint32_t writtenPid(int fd) {
    char text[16] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return 0;
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

// Only messages and the died-or-never-ran distinction read it: a failed write leaves the lock
// itself as it is.
void writePid(int fd, uint32_t pid) {
    const std::string text = std::to_string(pid) + "\n";
    if (::ftruncate(fd, 0) != 0) return;
    const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
    (void)written;
}

// Whether another open file holds the lock.
bool held(int fd) {
    struct flock fl = byteZero(F_WRLCK);
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return true; // cannot tell: assume it is
    return fl.l_type != F_UNLCK;
}

} // namespace

std::unique_ptr<ServiceHostLock> ServiceHostLock::acquire(uint32_t& holder) {
    holder = 0;
    const std::string path = lockPath();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    struct flock fl = byteZero(F_WRLCK);
    while (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        if (errno == EINTR) continue;
        holder = writtenPid(fd);
        ::close(fd);
        return nullptr;
    }
    writePid(fd, static_cast<uint32_t>(::getpid()));
    return std::unique_ptr<ServiceHostLock>(new ServiceHostLock(fd));
}

ServiceHostLock::~ServiceHostLock() {
    writePid(fd_, 0);
    ::close(fd_); // drops the lock
}

} // namespace host

// A service host that died leaves its process id written with the lock free.
bool serviceHostDied(const std::string&) {
    const int fd = ::open(host::lockPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false; // no service ever ran on this home
    const bool died = !host::held(fd) && host::writtenPid(fd) != 0;
    ::close(fd);
    return died;
}

} // namespace tavik::platform
