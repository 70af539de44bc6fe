#include "support/sim_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <memory>

#include "frame/settings_file.h"
#include "platform/host/time_scale.h"

namespace tavik::test {

std::string binPath(const std::string& name) { return std::string(TAVIK_BIN_DIR) + "/" + name; }

void SimTest::SetUp() {
    char tmpl[] = "/tmp/tavik-test-XXXXXX";
    const char* dir = ::mkdtemp(tmpl);
    ASSERT_NE(dir, nullptr);
    home_ = dir;
    ::setenv("TAVIK_HOME", home_.c_str(), 1);
    platform::host::setTimeScale(1000);
    frame::forgetSettingsFilePath(); // a new home is a new machine: its own settings folder
    unit().reset();
}

void SimTest::TearDown() {
    platform::host::removeNamedSemaphores();
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
}

void SimTest::loadProfile(const std::string& name) { unit().loadProfile(sim::Unit::readProfile(name)); }

std::vector<sim::LogEntry> SimTest::requests(const std::string& target) {
    std::vector<sim::LogEntry> out;
    for (const sim::LogEntry& e : unit().readLog())
        if (e.target == target && !(e.code == 0 && e.note == "open")) out.push_back(e);
    return out;
}

int SimTest::run(const std::string& commandLine, std::string* output) {
    const std::string cmd = "TAVIK_HOME='" + home_ + "' TAVIK_TIME_SCALE=1000 " + commandLine + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    const int status = ::pclose(p);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SimTest::settingsBytes() {
    std::ifstream in(sim::hostPath(frame::settingsFilePath()), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void SimTest::makeSettingsUnwritable() {
    std::error_code ec;
    std::filesystem::create_directories(sim::hostPath(frame::settingsFilePath()) + ".tmp", ec);
    ASSERT_FALSE(ec) << ec.message();
}

} // namespace tavik::test
