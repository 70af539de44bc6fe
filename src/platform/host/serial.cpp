// Serial ports of the host build: real terminals through termios. "COMn" is the terminal named
// by TAVIK_COMn; without it "COM1" is the simulated unit's serial line on a pseudo-terminal, so
// the same code drives a USB-serial adapter, a bootloader emulator and the simulated unit.
//
// Windows behaviour kept: the port is exclusive and always binary (raw); reads follow the
// COMMTIMEOUTS rules, compressed with the time scale of the host build. A pseudo-terminal has
// no parity, stop bits or modem lines: what it refuses of a setting is left out, whereas a real
// terminal must take the whole setting.
#include "platform/serial.h"
#include "platform/backend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/host/replay.h"
#include "platform/host/time_scale.h"
#include "sim/bootloader.h"

namespace tavik::platform {
namespace {

static_assert(sizeof(termios) <= sizeof(SerialSettings::native), "termios fits the native state");

struct Port {
    int fd = -1;
    bool pty = false;
    SerialTimeouts timeouts;
    std::unique_ptr<sim::SerialLineServer> server; // the simulated line behind "COM1"
    std::string replayed;                          // the port name of a port replayed from a trace
};

Port* portOf(SerialHandle h) { return h ? reinterpret_cast<Port*>(h.value) : nullptr; }

// Compressed waits never go below this (real milliseconds), so that a loaded machine running
// compressed tests does not time out a line that answers.
constexpr int kMinimumCompressedWaitMs = 100;

int realWaitMs(uint32_t ms) {
    if (ms == 0) return 0;
    const double scaled = ms / host::timeScale();
    return static_cast<int>(std::max<double>(std::min<double>(ms, kMinimumCompressedWaitMs), std::min(scaled, 1e9)));
}

// Unix98 pseudo-terminal slaves.
bool isPseudoTerminal(int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

struct Speed {
    uint32_t baud;
    speed_t code;
};
constexpr Speed kSpeeds[] = {{1200, B1200}, {2400, B2400}, {4800, B4800}, {9600, B9600}, {19200, B19200},
                             {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
                             {460800, B460800}, {921600, B921600}};

uint32_t baudOf(speed_t code) {
    for (const Speed& s : kSpeeds)
        if (s.code == code) return s.baud;
    return 0;
}

bool speedOf(uint32_t baud, speed_t& code) {
    for (const Speed& s : kSpeeds)
        if (s.baud == baud) return code = s.code, true;
    return false;
}

uint8_t dataBitsOf(tcflag_t c) {
    switch (c & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    }
    return 8;
}

SerialParity parityOf(const termios& t) {
    if ((t.c_cflag & PARENB) == 0) return SerialParity::None;
    const bool odd = (t.c_cflag & PARODD) != 0;
    if (t.c_cflag & CMSPAR) return odd ? SerialParity::Mark : SerialParity::Space;
    return odd ? SerialParity::Odd : SerialParity::Even;
}

bool isRaw(const termios& t) {
    return (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (t.c_oflag & OPOST) == 0 &&
           (t.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL)) == 0;
}

// The named fields a termios state stands for.
void describe(const termios& t, SerialSettings& s) {
    s.baudRate = baudOf(::cfgetospeed(&t));
    s.dataBits = dataBitsOf(t.c_cflag);
    s.parity = parityOf(t);
    s.stopBits = (t.c_cflag & CSTOPB) ? SerialStopBits::Two : SerialStopBits::One;
    s.ctsOutputFlow = (t.c_cflag & CRTSCTS) != 0;
    s.dsrOutputFlow = false; // no DSR flow control on this system
    s.xonXoffOutput = (t.c_iflag & IXON) != 0;
    s.xonXoffInput = (t.c_iflag & IXOFF) != 0;
    s.discardNulls = false; // a terminal never strips nulls
    s.abortOnError = false;
    s.binary = isRaw(t);
}

// Applies the named fields that differ from what `t` stands for, so that an unchanged copy of
// getSerialSettings restores the terminal exactly.
bool apply(termios& t, const SerialSettings& s) {
    SerialSettings now;
    describe(t, now);
    if (s.binary && !now.binary) {
        t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY);
        t.c_oflag &= ~OPOST;
        t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag |= CREAD | CLOCAL;
    }
    if (s.binary) {
        t.c_cc[VMIN] = 0; // reads are timed here, with poll
        t.c_cc[VTIME] = 0;
    }
    if (s.baudRate != now.baudRate) {
        speed_t code;
        if (!speedOf(s.baudRate, code)) return false;
        ::cfsetispeed(&t, code);
        ::cfsetospeed(&t, code);
    }
    if (s.dataBits != now.dataBits) {
        if (s.dataBits < 5 || s.dataBits > 8) return false;
        const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
        t.c_cflag = (t.c_cflag & ~CSIZE) | sizes[s.dataBits - 5];
    }
    if (s.parity != now.parity) {
        t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
        switch (s.parity) {
        case SerialParity::None: break;
        case SerialParity::Odd: t.c_cflag |= PARENB | PARODD; break;
        case SerialParity::Even: t.c_cflag |= PARENB; break;
        case SerialParity::Mark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case SerialParity::Space: t.c_cflag |= PARENB | CMSPAR; break;
        }
    }
    if (s.stopBits != now.stopBits) {
        if (s.stopBits == SerialStopBits::OneAndHalf) return false;
        if (s.stopBits == SerialStopBits::Two) t.c_cflag |= CSTOPB;
        else t.c_cflag &= ~CSTOPB;
    }
    if (s.ctsOutputFlow != now.ctsOutputFlow) t.c_cflag = s.ctsOutputFlow ? (t.c_cflag | CRTSCTS) : (t.c_cflag & ~CRTSCTS);
    if (s.dsrOutputFlow) return false;
    if (s.xonXoffOutput != now.xonXoffOutput) t.c_iflag = s.xonXoffOutput ? (t.c_iflag | IXON) : (t.c_iflag & ~IXON);
    if (s.xonXoffInput != now.xonXoffInput) t.c_iflag = s.xonXoffInput ? (t.c_iflag | IXOFF) : (t.c_iflag & ~IXOFF);
    return !s.discardNulls; // abort-on-error has no meaning here: reads report errors as they come
}

// The line bits a real terminal must have taken.
constexpr tcflag_t kLineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

// The terminal a port name stands for, or empty.
std::string terminalFor(const std::string& name, bool& simulated) {
    simulated = false;
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.rfind("\\\\.\\", 0) == 0) upper = upper.substr(4);
    if (upper.size() < 4 || upper.compare(0, 3, "COM") != 0 ||
        upper.find_first_not_of("0123456789", 3) != std::string::npos)
        return {};
    if (const char* path = std::getenv(("TAVIK_" + upper).c_str()); path != nullptr && *path != '\0') return path;
    simulated = upper == "COM1";
    return {};
}

} // namespace

namespace os {

SerialHandle openSerialPort(const std::string& name) {
    if (auto r = host::replay::serialOpen(name)) {
        if (!*r) return {};
        SerialHandle h;
        h.value = reinterpret_cast<NativeHandle>(new Port{-1, false, {}, nullptr, name});
        return h;
    }
    bool simulated = false;
    std::string path = terminalFor(name, simulated);
    auto port = std::make_unique<Port>();
    if (simulated) {
        try {
            port->server = std::make_unique<sim::SerialLineServer>(sim::LineTarget::Routed);
        } catch (const std::exception&) {
            return {};
        }
        path = port->server->path();
    }
    if (path.empty()) return {};
    port->fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (port->fd < 0) return {};
    // Unshared, as the port is on Windows.
    if (!::isatty(port->fd) || ::flock(port->fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(port->fd, TIOCEXCL) != 0) {
        ::close(port->fd);
        return {};
    }
    port->pty = isPseudoTerminal(port->fd);
    SerialHandle h;
    h.value = reinterpret_cast<NativeHandle>(port.release());
    return h;
}

void closeSerialPort(SerialHandle h) {
    Port* port = portOf(h);
    if (port == nullptr) return;
    if (!port->replayed.empty()) {
        host::replay::serialClose(port->replayed);
        delete port;
        return;
    }
    ::ioctl(port->fd, TIOCNXCL);
    ::close(port->fd);
    delete port; // stops the simulated line, if any
}

// The driver's buffers are the terminal's own; nothing to set.
bool setSerialBuffers(SerialHandle h, uint32_t inBytes, uint32_t outBytes) {
    Port* port = portOf(h);
    if (port != nullptr && !port->replayed.empty())
        return host::replay::serialArgs(port->replayed, "serial_buffers", {inBytes, outBytes});
    return port != nullptr;
}

bool setSerialTimeouts(SerialHandle h, const SerialTimeouts& timeouts) {
    Port* port = portOf(h);
    if (port == nullptr) return false;
    if (!port->replayed.empty())
        return host::replay::serialArgs(port->replayed, "serial_timeouts",
                                        {timeouts.readInterval, timeouts.readTotalMultiplier, timeouts.readTotalConstant,
                                         timeouts.writeTotalMultiplier, timeouts.writeTotalConstant});
    port->timeouts = timeouts;
    return true;
}

// Line errors show in the reads; no event is waited for.
bool setSerialEventMask(SerialHandle h, uint32_t mask) {
    Port* port = portOf(h);
    if (port != nullptr && !port->replayed.empty()) return host::replay::serialArgs(port->replayed, "serial_mask", {mask});
    return port != nullptr;
}

bool getSerialSettings(SerialHandle h, SerialSettings& s) {
    Port* port = portOf(h);
    if (port != nullptr && !port->replayed.empty()) return host::replay::serialGet(port->replayed, s);
    termios t{};
    if (port == nullptr || ::tcgetattr(port->fd, &t) != 0) return false;
    describe(t, s);
    std::memset(s.native, 0, sizeof s.native);
    std::memcpy(s.native, &t, sizeof t);
    return true;
}

bool setSerialSettings(SerialHandle h, const SerialSettings& s) {
    Port* port = portOf(h);
    if (port == nullptr) return false;
    if (!port->replayed.empty()) return host::replay::serialSet(port->replayed, s);
    termios t;
    std::memcpy(&t, s.native, sizeof t);
    if (!apply(t, s)) return false;
    if (::tcsetattr(port->fd, TCSANOW, &t) == 0) {
        if (port->pty) return true;
        // tcsetattr succeeds when any part was taken: a real terminal must have taken it all.
        termios got{};
        return ::tcgetattr(port->fd, &got) == 0 && (got.c_cflag & kLineBits) == (t.c_cflag & kLineBits) &&
               ::cfgetospeed(&got) == ::cfgetospeed(&t) && ::cfgetispeed(&got) == ::cfgetispeed(&t);
    }
    if (!port->pty || errno != EINVAL) return false;
    // A pseudo-terminal has no parity, stop bits or modem lines: the rest is applied.
    t.c_cflag &= ~(PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    return ::tcsetattr(port->fd, TCSANOW, &t) == 0;
}

bool purgeSerial(SerialHandle h, uint32_t flags) {
    Port* port = portOf(h);
    if (port == nullptr) return false;
    if (!port->replayed.empty()) return host::replay::serialArgs(port->replayed, "serial_purge", {flags});
    const bool output = (flags & (kPurgeAbortOutput | kPurgeClearOutput)) != 0;
    const bool input = (flags & (kPurgeAbortInput | kPurgeClearInput)) != 0;
    if (output && input) return ::tcflush(port->fd, TCIOFLUSH) == 0;
    if (output) return ::tcflush(port->fd, TCOFLUSH) == 0;
    if (input) return ::tcflush(port->fd, TCIFLUSH) == 0;
    return true;
}

bool readSerial(SerialHandle h, void* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    Port* port = portOf(h);
    if (port == nullptr) return false;
    if (!port->replayed.empty()) return host::replay::serialRead(port->replayed, buffer, size, read);
    if (size == 0) return true;
    const SerialTimeouts& t = port->timeouts;
    // How long to wait, and whether the first bytes end the read.
    bool returnOnAny = false;
    int64_t totalMs = -1; // no limit
    if (t.readInterval == kSerialNoLimit && t.readTotalMultiplier == 0 && t.readTotalConstant == 0) {
        returnOnAny = true;
        totalMs = 0;
    } else if (t.readInterval == kSerialNoLimit && t.readTotalMultiplier == kSerialNoLimit &&
               t.readTotalConstant > 0 && t.readTotalConstant < kSerialNoLimit) {
        returnOnAny = true;
        totalMs = realWaitMs(t.readTotalConstant);
    } else if (t.readTotalMultiplier != 0 || t.readTotalConstant != 0) {
        const uint64_t ms = uint64_t(t.readTotalMultiplier) * size + t.readTotalConstant;
        totalMs = realWaitMs(static_cast<uint32_t>(std::min<uint64_t>(ms, kSerialNoLimit - 1)));
    }
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(std::max<int64_t>(totalMs, 0));
    const auto workLimit = Clock::now() + std::chrono::seconds(60);
    auto* out = static_cast<uint8_t*>(buffer);
    while (read < size) {
        int waitMs = -1;
        if (totalMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            waitMs = static_cast<int>(std::max<int64_t>(left, 0));
        }
        pollfd p{port->fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, waitMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if (ready == 0) {
            // The simulated line's own work is not line time: while it works out a reply, the
            // wait goes on (bounded), as the unit would have answered within its time.
            if (port->server && port->server->working() && Clock::now() < workLimit) {
                deadline = Clock::now() + std::chrono::milliseconds(10);
                continue;
            }
            break; // time-out
        }
        if ((p.revents & POLLIN) == 0) return false; // hang-up or error
        const ssize_t n = ::read(port->fd, out + read, size - read);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        read += static_cast<uint32_t>(n);
        if (returnOnAny) break;
    }
    return true;
}

bool writeSerial(SerialHandle h, const void* data, uint32_t size, uint32_t& written) {
    written = 0;
    Port* port = portOf(h);
    if (port == nullptr) return false;
    if (!port->replayed.empty()) return host::replay::serialWrite(port->replayed, data, size, written);
    const auto* in = static_cast<const uint8_t*>(data);
    while (written < size) {
        const ssize_t n = ::write(port->fd, in + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return written > 0;
        written += static_cast<uint32_t>(n);
    }
    return true;
}


} // namespace os
} // namespace tavik::platform
