// The simulated unit itself: shared and persistent state, the request log, faults, profiles,
// path mapping, and the tavikctl commands that drive it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/device.h"
#include "support/sim_fixture.h"
#include "tavik2/aux_version.h"

namespace {

using tavik::sim::json;
using tavik::test::binPath;

class SimUnitTest : public tavik::test::SimTest {
protected:
    std::string ctl(const std::string& args, int* status = nullptr) {
        std::string out;
        const int s = run(binPath("tavikctl") + " " + args, &out);
        if (status != nullptr) *status = s;
        return out;
    }
};

TEST_F(SimUnitTest, StateIsSharedBetweenProcessesAndKeptBetweenRuns) {
    // A fault set by another process applies here, and one set here applies there.
    int status = -1;
    ctl("sim fault add --code 0x2224F4 --action reply --reply 09080706", &status);
    ASSERT_EQ(status, 0);
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    uint8_t v[4] = {};
    EXPECT_EQ(AuxVersion_getSSVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_SUCCESS);
    EXPECT_EQ(v[0], 9);
    EXPECT_EQ(v[3], 6);
    AuxVersion_release(h);

    unit().clearFaults();
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", 0x2224F4}, {"action", "fail"}});
    const std::string out = ctl("versions", &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("IoCtrl operation failed"), std::string::npos) << out;

    // The state lives in the home: a fresh Unit object (a later run) sees the same fault.
    tavik::sim::Unit later(home());
    EXPECT_EQ(later.faults().size(), 1u);
}

TEST_F(SimUnitTest, ConcurrentProcessesNeverCorruptTheState) {
    unit().clearLog();
    std::string cmd;
    for (int i = 0; i < 4; ++i) cmd += binPath("version_reader") + " 25 & ";
    cmd += "wait";
    std::string out;
    ASSERT_EQ(run("sh -c '" + cmd + "'", &out), 0) << out;
    EXPECT_EQ(run(binPath("version_reader") + " 1"), 0);

    const auto log = unit().readLog();
    std::set<uint64_t> seqs;
    std::set<uint32_t> pids;
    int reads = 0;
    for (const auto& e : log) {
        EXPECT_TRUE(seqs.insert(e.seq).second) << "duplicate sequence number " << e.seq;
        pids.insert(e.pid);
        if (e.code == 0x2224F4) {
            ++reads;
            EXPECT_TRUE(e.ok);
            EXPECT_EQ(e.out, (std::vector<uint8_t>{1, 3, 0, 0}));
        }
    }
    EXPECT_EQ(reads, 4 * 25 + 1);
    EXPECT_EQ(pids.size(), 5u);
    EXPECT_EQ(seqs.size(), log.size());
    EXPECT_EQ(*seqs.rbegin(), *seqs.begin() + log.size() - 1); // no gaps: nothing lost
}

TEST_F(SimUnitTest, FaultsApplyToTheirTargetCodeAndNumberOfRequests) {
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", 0x2224F0}, {"action", "fail"}, {"remaining", 2}});
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    uint8_t v[4];
    EXPECT_EQ(AuxVersion_getSSVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_SUCCESS); // other code
    EXPECT_EQ(AuxVersion_getFPGAVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_IOCTRL_FAILED);
    EXPECT_EQ(AuxVersion_getFPGAVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_IOCTRL_FAILED);
    EXPECT_EQ(AuxVersion_getFPGAVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_SUCCESS);
    EXPECT_TRUE(unit().faults().empty());

    // Code 0 matches every request of the device.
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", 0}, {"action", "count"}, {"count", 2}});
    EXPECT_EQ(AuxVersion_getFrontVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_BUFFER_SIZE);
    EXPECT_EQ(AuxVersion_getTavikDrvVersion(h, &v[0], &v[1], &v[2], &v[3]), ERR_BUFFER_SIZE);
    AuxVersion_release(h);

    const auto log = requests();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().returned, 2u);
    EXPECT_NE(log.back().note.find("fault"), std::string::npos);
}

TEST_F(SimUnitTest, RequestsWithWrongSizesOrOnTheWrongDeviceFail) {
    tavik::platform::DeviceHandle dev = tavik::platform::openDevice("\\\\.\\TavikDrv");
    ASSERT_TRUE(dev.valid());
    uint8_t out[8] = {};
    uint32_t got = 99;
    EXPECT_FALSE(tavik::platform::deviceControl(dev, 0x2224F4, nullptr, 0, out, 8, got));
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(tavik::platform::deviceControl(dev, 0x123456, nullptr, 0, out, 4, got));
    // A video request belongs to the video devices.
    EXPECT_FALSE(tavik::platform::deviceControl(dev, 0x222448, out, 1, out, 1, got));
    tavik::platform::closeDevice(dev);
    EXPECT_FALSE(tavik::platform::openDevice("\\\\.\\NoSuchDevice").valid());

    const auto log = requests();
    ASSERT_EQ(log.size(), 3u);
    for (const auto& e : log) EXPECT_FALSE(e.ok);
}

TEST_F(SimUnitTest, ProfilesDescribeTheUnit) {
    for (const char* name : {"default", "no-display", "old-firmware", "no-telematics", "no-driver"}) {
        const json p = tavik::sim::Unit::readProfile(name);
        EXPECT_EQ(p.value("name", ""), name);
        EXPECT_FALSE(p.value("description", "").empty());
    }
    loadProfile("old-firmware");
    EXPECT_EQ(unit().snapshot()["profile"], "old-firmware");
    std::ifstream oem(tavik::sim::hostPath("c:\\Windows\\System32\\oeminfo.ini"));
    std::string text((std::istreambuf_iterator<char>(oem)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("v2.0.1.0"), std::string::npos);
    EXPECT_THROW(tavik::sim::Unit::readProfile("no-such-profile"), std::invalid_argument);

}

TEST(SimPathTest, WindowsPathsMapIntoTheHome) {
    ::setenv("TAVIK_HOME", "/tmp/tavik-path-test", 1);
    EXPECT_EQ(tavik::sim::hostPath("c:\\Windows\\System32\\oeminfo.ini"),
              "/tmp/tavik-path-test/c/Windows/System32/oeminfo.ini");
    EXPECT_EQ(tavik::sim::hostPath("C:\\Tavik.ini"), "/tmp/tavik-path-test/c/Tavik.ini");
    EXPECT_EQ(tavik::sim::hostPath("D:"), "/tmp/tavik-path-test/d/");
    EXPECT_EQ(tavik::sim::hostPath("relative\\file.txt"), "relative/file.txt");
    std::filesystem::remove_all("/tmp/tavik-path-test");
}

TEST_F(SimUnitTest, TavikctlShowsVersionsTheLogAndErrors) {
    int status = -1;
    std::string out = ctl("versions", &status);
    EXPECT_EQ(status, 0) << out;
    for (const char* want : {"0.4.0.1", "1.3.0.0", "1.0.0.0", "2.4.0.0", "3.1.2.0", "2.1.0.0"})
        EXPECT_NE(out.find(want), std::string::npos) << want << " in\n" << out;

    out = ctl("--json sim log --target '\\\\.\\TavikDrv'", &status);
    EXPECT_EQ(status, 0);
    const json log = json::parse(out);
    std::set<uint32_t> codes;
    for (const auto& e : log)
        if (e["code"] != 0) codes.insert(e["code"].get<uint32_t>());
    EXPECT_EQ(codes, (std::set<uint32_t>{0x2224F0, 0x2224F4, 0x2224F8, 0x222598}));

    out = ctl("--json versions", &status);
    EXPECT_EQ(json::parse(out)["library"]["version"], "2.4.0.0");

    out = ctl("error 20", &status);
    EXPECT_EQ(out, "Average calulation started by other process\n");

    ctl("sim load no-driver", &status);
    EXPECT_EQ(status, 0);
    out = ctl("versions", &status);
    EXPECT_EQ(status, 3); // the unit could not be reached
    EXPECT_NE(out.find("Open failed"), std::string::npos) << out;
    EXPECT_NE(out.find("2.4.0.0"), std::string::npos);
}

// A logged text cannot fake entries or drive the terminal: `sim log` shows its control
// characters escaped (the JSON output escapes them as JSON does).
TEST_F(SimUnitTest, SimLogShowsControlCharactersEscaped) {
    unit().clearLog();
    unit().transact([&](tavik::sim::Txn& txn) {
        tavik::sim::LogEntry e;
        e.target = "\\\\.\\X\n#99 pid 1 \\\\.\\TavikDrv open ok\x1b[2J";
        e.note = "csi \xc2\x9b" "31m, tab\t, del\x7f";
        unit().appendLog(txn, e);
    });
    int status = -1;
    const std::string out = ctl("sim log", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    for (const char* raw : {"\x1b", "\xc2\x9b", "\x7f", "\t"}) EXPECT_EQ(out.find(raw), std::string::npos) << out;
    for (const char* shown : {"\\X\\n#99", "\\x1b[2J", "csi \\u009b31m", "tab\\t", "del\\x7f"})
        EXPECT_NE(out.find(shown), std::string::npos) << shown << " in " << out;
}

} // namespace
