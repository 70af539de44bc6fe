// Test fixture: every test gets its own simulated unit (a fresh TAVIK_HOME with the default
// profile) and compressed time.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/unit.h"

namespace tavik::test {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    sim::Unit& unit() { return sim::Unit::instance(); }
    const std::string& home() const { return home_; }
    // Loads a shipped profile by name ("no-display", "old-firmware", ...).
    void loadProfile(const std::string& name);
    // Log entries for one target (device name, "service:TavikService", "board"), opens excluded.
    std::vector<sim::LogEntry> requests(const std::string& target = "\\\\.\\TavikDrv");
    // Runs a program of the build's bin folder with this unit's TAVIK_HOME; returns its exit status.
    int run(const std::string& commandLine, std::string* output = nullptr);
    // The settings file's bytes, empty when it is absent.
    std::string settingsBytes();
    // Makes every later write of the settings file fail, also for root: a folder stands where the
    // store writes its temporary file, inside this test's home.
    void makeSettingsUnwritable();

private:
    std::string home_;
};

// A program of the build's bin folder.
std::string binPath(const std::string& name);

} // namespace tavik::test
