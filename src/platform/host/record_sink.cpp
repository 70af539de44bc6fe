// The recorder's file and clock on the host: O_APPEND writes, so that one write() is one line at
// the end of the file whatever other processes append.
#include "platform/record/sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace tavik::platform::record {

bool environmentValue(const char* name, std::string& value) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return false;
    value = v;
    return true;
}

intptr_t openAppend(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    return fd < 0 ? -1 : fd;
}

bool append(intptr_t file, const char* data, size_t size) {
    ssize_t n;
    do {
        n = ::write(static_cast<int>(file), data, size);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(size);
}

void closeAppend(intptr_t file) { ::close(static_cast<int>(file)); }

uint32_t processId() { return static_cast<uint32_t>(::getpid()); }

namespace {
std::mutex gRecorderMutex;
} // namespace

void lockRecorder() { gRecorderMutex.lock(); }
void unlockRecorder() { gRecorderMutex.unlock(); }

uint64_t monotonicMicros() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string utcNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    return std::string(text) + "." + std::to_string(1000 + ms).substr(1) + "Z";
}

std::vector<std::pair<std::string, std::string>> unitIdentity() {
    // The simulated unit is the one of TAVIK_HOME (or ~/.tavik).
    std::string home;
    if (!environmentValue("TAVIK_HOME", home)) home = "~/.tavik";
    return {{"host", "simulated"}, {"home", home}};
}

} // namespace tavik::platform::record
