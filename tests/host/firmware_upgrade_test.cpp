// The firmware upgrade family against the simulated unit: the job runner (locks, status,
// image file checks, handle release during a job) and FPGA jobs request by request.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <thread>

#include "firmware/firmware_upgrade.h"
#include "platform/sync.h"
#include "support/sim_fixture.h"
#include "tavik2/aux_version.h"
#include "tavik2/firmware_upgrade.h"

namespace {

using tavik::sim::json;
using Varnholtstad::FirmwareUpgrade;
using Varnholtstad::UpgradeStatus;

constexpr uint32_t kInterface = 0x2224FC, kProgram = 0x222500, kReadBack = 0x222504, kSwitch = 0x222508;

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::vector<uint8_t> randomImage(size_t n, unsigned seed = 1) {
    std::vector<uint8_t> v(n);
    std::mt19937 random(seed);
    for (uint8_t& b : v) b = static_cast<uint8_t>(random());
    return v;
}

// An FPGA image file: an extended address record, 16-byte data records, the end record.
std::string fpgaHex(const std::vector<uint8_t>& image) {
    std::string text = ":020000040000FA\n";
    char line[64];
    for (size_t at = 0; at < image.size(); at += 16) {
        unsigned sum = 0x10 + ((at >> 8) & 0xFF) + (at & 0xFF);
        int n = std::snprintf(line, sizeof line, ":10%04X00", static_cast<unsigned>(at & 0xFFFF));
        for (size_t i = 0; i < 16; ++i) {
            const uint8_t b = at + i < image.size() ? image[at + i] : 0xFF;
            n += std::snprintf(line + n, sizeof line - size_t(n), "%02X", b);
            sum += b;
        }
        std::snprintf(line + n, sizeof line - size_t(n), "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\n";
}

class FirmwareTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        h_ = GetFirmwareUpgrade();
        ASSERT_NE(h_, nullptr);
    }
    void TearDown() override {
        EXPECT_TRUE(waitIdle());
        FirmwareUpgrade_release(h_);
        SimTest::TearDown();
    }

    std::string writeFile(const std::string& name, const std::string& content) {
        const std::string path = home() + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        return path;
    }
    std::string writeImage(const std::vector<uint8_t>& image) { return writeFile("fpga.hex", fpgaHex(image)); }

    // Reads the status until the job's final report.
    UpgradeStatus finalStatus() {
        UpgradeStatus s{};
        do FirmwareUpgrade_getUpgradeStatus(h_, &s, true);
        while (s.action != Varnholtstad::UPGRADE_DONE && s.action != Varnholtstad::UPGRADE_FAILED);
        return s;
    }

    // True once no job holds the in-progress lock (a start with no file then fails its file check).
    bool waitIdle() {
        FirmwareUpgrade* probe = GetFirmwareUpgrade();
        bool idle = false;
        for (int i = 0; i < 3000 && !idle; ++i) {
            idle = FirmwareUpgrade_startSSVerification(probe, "", false) == ERR_OPEN_FAILED;
            if (!idle) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FirmwareUpgrade_release(probe);
        return idle;
    }

    std::vector<tavik::sim::LogEntry> fpgaRequests(uint32_t code) {
        std::vector<tavik::sim::LogEntry> out;
        for (auto& e : requests())
            if (e.code == code) out.push_back(e);
        return out;
    }
    std::vector<uint8_t> switches() {
        std::vector<uint8_t> out;
        for (auto& e : fpgaRequests(kSwitch)) out.push_back(e.in.at(0));
        return out;
    }
    std::vector<uint8_t> memory(size_t n) {
        std::vector<uint8_t> out;
        unit().transact([&](tavik::sim::Txn& t) { out = t.blobRead("fpga.config", 0, n); });
        return out;
    }
    void setMemory(const std::vector<uint8_t>& bytes) {
        unit().transact([&](tavik::sim::Txn& t) { t.blobWrite("fpga.config", 0, bytes.data(), bytes.size()); });
    }
    void expectEnd(const UpgradeStatus& s, ErrorCode result) {
        EXPECT_EQ(s.action, result == ERR_SUCCESS ? Varnholtstad::UPGRADE_DONE : Varnholtstad::UPGRADE_FAILED);
        EXPECT_EQ(s.percent, 0);
        EXPECT_EQ(s.result, result);
    }

    FirmwareUpgrade* h_ = nullptr;
};

TEST_F(FirmwareTest, UpgradeProgramsBlocksOfUpTo528BytesAndVerifies) {
    for (const size_t size : {size_t(1056), size_t(1000)}) {
        unit().clearLog();
        const std::vector<uint8_t> image = randomImage(size, unsigned(size));
        std::vector<uint8_t> file = image;
        file.resize((size + 15) / 16 * 16, 0xFF); // the file holds whole 16-byte records
        ASSERT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, writeImage(image).c_str(), true), ERR_SUCCESS);
        UpgradeStatus s{};
        FirmwareUpgrade_getUpgradeStatus(h_, &s, false);
        expectEnd(s, ERR_SUCCESS);

        std::vector<std::pair<uint32_t, uint32_t>> blocks; // (length, position)
        for (auto& e : fpgaRequests(kProgram)) blocks.emplace_back(e.in[0] | e.in[1] << 8, le32(e.in, 4));
        const std::vector<std::pair<uint32_t, uint32_t>> expected =
            file.size() == 1056 ? decltype(blocks){{528, 0}, {528, 528}} : decltype(blocks){{528, 0}, {480, 528}};
        EXPECT_EQ(blocks, expected) << size;
        EXPECT_EQ(fpgaRequests(kReadBack).size(), 2u);
        EXPECT_EQ(switches(), (std::vector<uint8_t>{0x0F, 0xC3}));
        EXPECT_EQ(memory(file.size()), file);
    }
}

TEST_F(FirmwareTest, PartialAcceptanceContinuesFromTheReportedPosition) {
    unit().setValue("fpga.accept_limit", "500");
    const std::vector<uint8_t> image = randomImage(1056);
    ASSERT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, writeImage(image).c_str(), true), ERR_SUCCESS);
    const auto program = fpgaRequests(kProgram);
    ASSERT_EQ(program.size(), 3u);
    EXPECT_EQ(le32(program[1].in, 4), 500u);
    EXPECT_EQ((program[1].in[0] | program[1].in[1] << 8), 528);
    EXPECT_TRUE(std::equal(image.begin() + 500, image.begin() + 1028, program[1].in.begin() + 8));
    EXPECT_EQ((program[2].in[0] | program[2].in[1] << 8), 56);
    EXPECT_EQ(memory(image.size()), image);
}

TEST_F(FirmwareTest, VerificationOnlyReadsBackAndCompares) {
    const std::vector<uint8_t> image = randomImage(2000);
    setMemory(image);
    const std::string file = writeImage(image);
    ASSERT_EQ(FirmwareUpgrade_startFpgaVerification(h_, file.c_str(), true), ERR_SUCCESS);
    EXPECT_TRUE(fpgaRequests(kProgram).empty());
    EXPECT_EQ(fpgaRequests(kReadBack).size(), 4u);
    EXPECT_EQ(switches(), (std::vector<uint8_t>{0x0F, 0xC3}));

    unit().setValue("fpga.corrupt_at", "600");
    unit().clearLog();
    EXPECT_EQ(FirmwareUpgrade_startFpgaVerification(h_, file.c_str(), true), ERR_VERIFY_FAILED);
    EXPECT_EQ(fpgaRequests(kReadBack).size(), 2u); // stops at the block with the difference
    EXPECT_EQ(switches(), (std::vector<uint8_t>{0x0F, 0xC3}));
    UpgradeStatus s{};
    FirmwareUpgrade_getUpgradeStatus(h_, &s, false);
    expectEnd(s, ERR_VERIFY_FAILED);
}

// A failure after the switch still switches back; one before it (interface check, file) never switches.
TEST_F(FirmwareTest, SwitchesBackAfterEveryFailureOnceSwitched) {
    const std::string good = writeImage(randomImage(1056));
    const std::string bad = writeFile("bad.hex", ":10000000000102030405060708090A0B0C0D0E0F00\n");
    const std::string empty = writeFile("empty.hex", ":00000001FF\n");
    const struct {
        const char* what;
        std::function<void()> arrange;
        std::string file;
        ErrorCode result;
        std::vector<uint8_t> switched;
    } cases[] = {
        {"program request fails", [&] { unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", kProgram}, {"action", "fail"}, {"skip", 1}}); }, good, ERR_IOCTRL_FAILED, {0x0F, 0xC3}},
        {"no progress", [&] { unit().setValue("fpga.stalled", "true"); }, good, ERR_IOCTRL_FAILED, {0x0F, 0xC3}},
        {"driver claims more than the block", [&] { unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", kProgram}, {"action", "reply"}, {"reply", "11020000"}}); }, good, ERR_IOCTRL_FAILED, {0x0F, 0xC3}},
        {"read-back reads nothing", [&] { unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", kReadBack}, {"action", "reply"}, {"reply", std::string(1072, '0')}}); }, good, ERR_DEVICE_READ_DATA_FAILED, {0x0F, 0xC3}},
        {"empty image", [] {}, empty, ERR_INVALID_DATA, {0x0F, 0xC3}},
        {"interface not ready", [&] { unit().setValue("fpga.interface_status", "1"); }, good, ERR_INIT_FAILED, {}},
        {"interface request fails", [&] { unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", kInterface}, {"action", "fail"}}); }, good, ERR_IOCTRL_FAILED, {}},
        {"interface reply too short", [&] { unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", kInterface}, {"action", "count"}, {"count", 0}}); }, good, ERR_BUFFER_SIZE, {}},
        {"missing file", [] {}, home() + "/none.hex", ERR_OPEN_FAILED, {}},
        {"checksum", [] {}, bad, ERR_CHECKSUM, {}},
    };
    for (const auto& c : cases) {
        unit().reset();
        unit().clearFaults();
        c.arrange();
        EXPECT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, c.file.c_str(), true), c.result) << c.what;
        EXPECT_EQ(switches(), c.switched) << c.what;
        if (c.result != ERR_DEVICE_READ_DATA_FAILED) {
            EXPECT_TRUE(fpgaRequests(kReadBack).empty()) << c.what;
        }
        UpgradeStatus s{};
        FirmwareUpgrade_getUpgradeStatus(h_, &s, false);
        expectEnd(s, c.result);
    }
}

TEST_F(FirmwareTest, FpgaVersionFollowsTheImageWhenTheUnitSaysSo) {
    json profile = tavik::sim::Unit::defaultProfile();
    profile["fpga"] = {{"version_follows_image", true}, {"version_offset", 16}};
    unit().loadProfile(profile);
    std::vector<uint8_t> image = randomImage(1056);
    const uint8_t version[4] = {0, 5, 1, 2};
    std::copy(version, version + 4, image.begin() + 16);
    ASSERT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, writeImage(image).c_str(), true), ERR_SUCCESS);
    Varnholtstad::AuxVersion* v = GetAuxVersion();
    uint8_t p[4] = {};
    EXPECT_EQ(AuxVersion_getFPGAVersion(v, &p[0], &p[1], &p[2], &p[3]), ERR_SUCCESS);
    AuxVersion_release(v);
    EXPECT_TRUE(std::equal(p, p + 4, version));
}

TEST_F(FirmwareTest, StatusAndArgumentsOfAFreshHandle) {
    UpgradeStatus s{7, 9, ERR_EEPROM};
    EXPECT_EQ(FirmwareUpgrade_getUpgradeStatus(h_, &s, false), ERR_SUCCESS);
    EXPECT_EQ(s.action, 0);
    EXPECT_EQ(s.percent, 0);
    EXPECT_EQ(s.result, ERR_SUCCESS);
    EXPECT_EQ(FirmwareUpgrade_getUpgradeStatus(h_, nullptr, false), ERR_INVALID_PARAMETER);
    EXPECT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, nullptr, false), ERR_INVALID_PARAMETER);
    EXPECT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, std::string(256, 'a').c_str(), false), ERR_INVALID_PARAMETER);
    EXPECT_EQ(FirmwareUpgrade_getUpgradeStatus(nullptr, &s, false), ERR_INVALID_PARAMETER);
    EXPECT_TRUE(requests().empty());
}

// One job at a time in the process; a start right after a job's final report is accepted.
TEST_F(FirmwareTest, OneJobAtATimeAndANewStartAfterTheEnd) {
    const std::string file = writeImage(randomImage(64 * 1024));
    FirmwareUpgrade* other = GetFirmwareUpgrade();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, file.c_str(), false), ERR_SUCCESS);
        EXPECT_EQ(FirmwareUpgrade_startFpgaVerification(h_, file.c_str(), false), ERR_IN_PROGRESS);
        EXPECT_EQ(FirmwareUpgrade_startFpgaVerification(other, file.c_str(), true), ERR_IN_PROGRESS);
        expectEnd(finalStatus(), ERR_SUCCESS);
    }
    ASSERT_EQ(FirmwareUpgrade_startFpgaVerification(h_, file.c_str(), false), ERR_SUCCESS);
    expectEnd(finalStatus(), ERR_SUCCESS);
    FirmwareUpgrade_release(other);
}

// The lock is machine-wide: a job of another process keeps tavikctl from starting one.
TEST_F(FirmwareTest, InProgressLockIsSharedWithOtherProcesses) {
    // Big enough that the job cannot end before the tool's first status read (changes merge).
    const std::string file = writeImage(randomImage(64 * 1024));
    auto lock = tavik::platform::createSemaphore(tavik::firmware::kUpgradeInProgressLock, 1, 1);
    ASSERT_EQ(tavik::platform::waitSemaphore(lock, 0), tavik::platform::WaitResult::Signaled);
    std::string out;
    EXPECT_EQ(run(tavik::test::binPath("tavikctl") + " firmware status", &out), 0);
    EXPECT_NE(out.find("is running"), std::string::npos) << out;
    EXPECT_EQ(run(tavik::test::binPath("tavikctl") + " firmware upgrade fpga " + file, &out), 1);
    EXPECT_NE(out.find("(11)"), std::string::npos) << out;
    EXPECT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, file.c_str(), true), ERR_IN_PROGRESS);
    tavik::platform::releaseSemaphore(lock, 1);
    tavik::platform::closeSemaphore(lock);

    EXPECT_EQ(run(tavik::test::binPath("tavikctl") + " firmware upgrade fpga " + file, &out), 0) << out;
    EXPECT_NE(out.find(" %"), std::string::npos) << out; // at least one progress line
    EXPECT_EQ(run(tavik::test::binPath("tavikctl") + " --json firmware verify fpga " + file, &out), 0) << out;
    std::string last = out.substr(out.rfind('{'));
    EXPECT_EQ(json::parse(last).value("action_name", ""), "done") << out;
}

TEST_F(FirmwareTest, MicrocontrollerImageFilesAreCheckedAtTheirLimits) {
    using Start = ErrorCode(TAVIK_CALL*)(FirmwareUpgrade*, const char*, bool);
    auto content = [](size_t n, const std::string& inside = "") {
        std::string s(n, 'x');
        if (!inside.empty()) s.replace(n / 2, inside.size() + 1, std::string(1, '\0') + inside);
        return s;
    };
    const struct {
        Start start;
        size_t size;
        std::string inside;
        ErrorCode result;
    } cases[] = {
        {&FirmwareUpgrade_startSSUpgrade, 94999, "", ERR_DATATYPE_MISMATCH},
        {&FirmwareUpgrade_startSSUpgrade, 95000, "", ERR_SUCCESS},
        {&FirmwareUpgrade_startSSVerification, 1000000, "", ERR_SUCCESS},
        {&FirmwareUpgrade_startSSVerification, 1000001, "", ERR_DATATYPE_MISMATCH},
        {&FirmwareUpgrade_startSSUpgrade, 95000, "Front_uc", ERR_DATATYPE_MISMATCH},
        {&FirmwareUpgrade_startSSUpgrade, 95000, "SystemSupervisor", ERR_SUCCESS},
        {&FirmwareUpgrade_startFrontUpgrade, 49999, "", ERR_DATATYPE_MISMATCH},
        {&FirmwareUpgrade_startFrontUpgrade, 50000, "", ERR_SUCCESS},
        {&FirmwareUpgrade_startFrontVerification, 110000, "", ERR_SUCCESS},
        {&FirmwareUpgrade_startFrontVerification, 110001, "", ERR_DATATYPE_MISMATCH},
        {&FirmwareUpgrade_startFrontUpgrade, 60000, "SystemSupervisor", ERR_DATATYPE_MISMATCH},
    };
    for (const auto& c : cases) {
        const std::string path = writeFile("mc.hex", content(c.size, c.inside));
        EXPECT_EQ(c.start(h_, path.c_str(), false), c.result) << c.size << " " << c.inside;
        if (c.result == ERR_SUCCESS) finalStatus();
        EXPECT_TRUE(waitIdle()); // a refused file gives the lock back
    }
    EXPECT_EQ(FirmwareUpgrade_startSSUpgrade(h_, (home() + "/none.hex").c_str(), false), ERR_OPEN_FAILED);
}

// A caller blocked on the status of a finished job wakes when the next job starts.
TEST_F(FirmwareTest, BlockedStatusReaderWakesOnTheNextJob) {
    const std::string file = writeImage(randomImage(1056));
    ASSERT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, file.c_str(), true), ERR_SUCCESS);
    UpgradeStatus s{};
    FirmwareUpgrade_getUpgradeStatus(h_, &s, false); // takes the last change
    auto waiter = std::async(std::launch::async, [&] {
        UpgradeStatus w{};
        FirmwareUpgrade_getUpgradeStatus(h_, &w, true);
        return w;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(FirmwareUpgrade_startFpgaVerification(h_, file.c_str(), false), ERR_SUCCESS);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    // On a slow machine the waiter may have taken the final report itself; then no change is left.
    const UpgradeStatus w = waiter.get();
    if (w.action != Varnholtstad::UPGRADE_DONE && w.action != Varnholtstad::UPGRADE_FAILED) finalStatus();
}

// Releasing the handle during a job leaves the job running to its end with what it uses.
TEST_F(FirmwareTest, ReleaseDuringAJobLetsTheJobFinish) {
    const std::vector<uint8_t> image = randomImage(64 * 1024);
    ASSERT_EQ(FirmwareUpgrade_startFpgaUpgrade(h_, writeImage(image).c_str(), false), ERR_SUCCESS);
    FirmwareUpgrade_release(h_);
    h_ = GetFirmwareUpgrade();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(switches(), (std::vector<uint8_t>{0x0F, 0xC3}));
    EXPECT_EQ(memory(image.size()), image);
}

TEST_F(FirmwareTest, ShutDownAsksThePlatformService) {
    const std::pair<const char*, ErrorCode> cases[] = {
        {"accepting", ERR_SUCCESS}, {"refusing", ERR_COMMAND_FAILED}, {"absent", ERR_OPEN_FAILED}};
    for (const auto& [mode, result] : cases) {
        unit().setValue("service.mode", mode);
        EXPECT_EQ(FirmwareUpgrade_shutDown(h_), result) << mode;
    }
    const auto sent = requests("service:TavikService");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front().code, 129u);
}

} // namespace
