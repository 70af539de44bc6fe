// The unit's serial line on a pseudo-terminal: the library (or any program) opens the terminal
// as it would a serial port; a thread here answers as the microcontrollers' bootloaders.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "sim/bootloader.h"

namespace tavik::sim {
namespace {

using Clock = std::chrono::steady_clock;

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

SerialLineServer::SerialLineServer(LineTarget target) : line_(target) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        if (master_ >= 0) ::close(master_);
        throw UnitError(std::string("serial line: no pseudo-terminal (") + std::strerror(errno) + ")");
    }
    path_ = name;
    // The server's own handle on the terminal keeps the line up while clients come and go; the
    // terminal starts raw, as a serial port is.
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    termios t{};
    if (slave_ >= 0 && ::tcgetattr(slave_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    if (slave_ < 0 || ::pipe(stop_) != 0) {
        ::close(master_);
        if (slave_ >= 0) ::close(slave_);
        throw UnitError("serial line: cannot set up " + path_);
    }
    line_.restart();
    thread_ = std::thread([this] { serve(); });
}

SerialLineServer::~SerialLineServer() {
    const char stop = 1;
    (void)!::write(stop_[1], &stop, 1);
    if (thread_.joinable()) thread_.join();
    for (int fd : {master_, slave_, stop_[0], stop_[1]})
        if (fd >= 0) ::close(fd);
}

bool SerialLineServer::working() const {
    int unread = 0;
    return working_.load() || (::ioctl(master_, FIONREAD, &unread) == 0 && unread > 0);
}

void SerialLineServer::serve() {
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kPacedByteSeconds));
    Clock::time_point lineFree = Clock::now(); // when the paced line has carried all it was given
    uint8_t buffer[4096];
    for (;;) {
        pollfd p[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents != 0) return;
        if ((p[0].revents & POLLIN) == 0) {
            if (p[0].revents & (POLLERR | POLLNVAL)) return;
            continue;
        }
        working_ = true;
        struct Idle { // whichever way this round ends
            std::atomic<bool>& w;
            ~Idle() { w = false; }
        } idle{working_};
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EIO)) continue;
        if (n <= 0) return;
        const Clock::time_point arrived = Clock::now();
        received_ += static_cast<uint64_t>(n);

        bool paced = false;
        std::vector<uint8_t> reply;
        try {
            reply = line_.receive(buffer, static_cast<size_t>(n), paced);
        } catch (const std::exception&) {
            continue; // the unit could not be reached: the bytes are lost, as on a dead line
        }
        if (paced) {
            // The bytes just read, sent when they were read, have all arrived one line time
            // each after the line became free; the reply is complete one line time per byte
            // after that. The bootloader works meanwhile; when its work takes longer, the
            // overrun is its own delay, kept apart from the line's.
            lineFree = std::max(lineFree, arrived) + byteTime * n;
            if (!reply.empty()) {
                lineFree += byteTime * static_cast<int64_t>(reply.size());
                const Clock::time_point now = Clock::now();
                if (now > lineFree) {
                    overrunNs_ += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - lineFree).count());
                    lineFree = now;
                } else {
                    std::this_thread::sleep_until(lineFree);
                    // Waking late is the simulator's delay too.
                    const Clock::time_point woke = Clock::now();
                    overrunNs_ += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(woke - lineFree).count());
                    lineFree = woke;
                }
            }
        }
        if (!reply.empty() && writeAll(master_, reply.data(), reply.size())) sent_ += reply.size();
    }
}

} // namespace tavik::sim
