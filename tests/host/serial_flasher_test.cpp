// Microcontroller flashing over the serial bootloader, end to end against the simulated
// bootloaders: driver switching, connection retries, unusual bootloaders, block layout,
// verification failures, size limits, and an external line through TAVIK_COM1.
#include <gtest/gtest.h>

#include <termios.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "firmware/serial_flasher.h"
#include "sim/bootloader.h"
#include "support/sim_fixture.h"
#include "tavik2/firmware_upgrade.h"

namespace {

using namespace Varnholtstad;
using tavik::sim::LogEntry;

constexpr uint32_t kFlash = 0x08000000;

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return v;
}

// An Intel HEX file of `image` at the start of the flash, padded after its end record to the
// size the target's file check wants.
std::string writeHex(const std::string& dir, const std::vector<uint8_t>& image, size_t minimumBytes) {
    std::string text;
    auto record = [&](uint16_t address, uint8_t type, const uint8_t* data, size_t n) {
        char buf[16];
        uint8_t sum = static_cast<uint8_t>(n + (address >> 8) + address + type);
        std::snprintf(buf, sizeof buf, ":%02X%04X%02X", unsigned(n), unsigned(address), unsigned(type));
        text += buf;
        for (size_t i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, "%02X", data[i]);
            text += buf;
            sum = static_cast<uint8_t>(sum + data[i]);
        }
        std::snprintf(buf, sizeof buf, "%02X\r\n", unsigned(uint8_t(-sum)));
        text += buf;
    };
    for (size_t at = 0; at < image.size(); at += 16) {
        if (at % 65536 == 0) {
            const uint8_t base[2] = {0x08, static_cast<uint8_t>(at >> 16)};
            record(0, 0x04, base, 2);
        }
        record(static_cast<uint16_t>(at), 0x00, image.data() + at, std::min<size_t>(16, image.size() - at));
    }
    record(0, 0x01, nullptr, 0);
    if (text.size() < minimumBytes) text.append(minimumBytes - text.size(), '\n');
    const std::string path = dir + "/image.hex";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct Job {
    ErrorCode returned;
    UpgradeStatus status;
};

class SerialFlasherTest : public tavik::test::SimTest {
protected:
    enum Target { SS, Front };

    std::string hexFor(Target t, const std::vector<uint8_t>& image) {
        return writeHex(home(), image, t == SS ? 95000 : 50000);
    }

    Job run(Target t, bool upgrade, const std::string& path) {
        FirmwareUpgrade* h = GetFirmwareUpgrade();
        ErrorCode e;
        if (t == SS)
            e = upgrade ? FirmwareUpgrade_startSSUpgrade(h, path.c_str(), true)
                        : FirmwareUpgrade_startSSVerification(h, path.c_str(), true);
        else
            e = upgrade ? FirmwareUpgrade_startFrontUpgrade(h, path.c_str(), true)
                        : FirmwareUpgrade_startFrontVerification(h, path.c_str(), true);
        UpgradeStatus s{};
        FirmwareUpgrade_getUpgradeStatus(h, &s, false);
        FirmwareUpgrade_release(h);
        return {e, s};
    }

    void set(const std::string& path, const std::string& value) { unit().setValue(path, value); }

    // The switching requests (0x942..0x944) in order, as "942:96", "943", "944:01".
    std::vector<std::string> switching() {
        std::vector<std::string> out;
        for (const LogEntry& e : requests()) {
            const uint32_t fn = (e.code - 0x220000) / 4;
            if (fn < 0x942 || fn > 0x944) continue;
            char buf[16];
            if (e.in.empty()) std::snprintf(buf, sizeof buf, "%X", fn);
            else std::snprintf(buf, sizeof buf, "%X:%02X", fn, e.in[0]);
            out.push_back(buf);
        }
        return out;
    }

    std::vector<LogEntry> bootloaderLog(Target t) { return requests(t == SS ? "bootloader:ss" : "bootloader:front"); }

    std::vector<uint8_t> flash(Target t, size_t n) {
        std::vector<uint8_t> bytes;
        unit().transact([&](tavik::sim::Txn& txn) { bytes = txn.blobRead(t == SS ? "bootloader.ss" : "bootloader.front", 0, n); });
        return bytes;
    }
};

size_t countCommand(const std::vector<LogEntry>& log, uint8_t code) {
    return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const LogEntry& e) { return e.code == code; }));
}

TEST_F(SerialFlasherTest, SwitchingRequestsInOrderAndUndoneAfterEveryOutcome) {
    const std::vector<std::string> ss = {"942:96", "944:01", "944:00"};
    const std::vector<std::string> front = {"942:0F", "943", "944:02", "942:C3", "944:00"};
    struct Case {
        const char* name;
        Target target;
        tavik::sim::json fault; // null: none
        ErrorCode result;
        UpgradeAction failedAt;
    } cases[] = {
        {"ss ok", SS, nullptr, ERR_SUCCESS, UPGRADE_DONE},
        {"front ok", Front, nullptr, ERR_SUCCESS, UPGRADE_DONE},
        {"ss no bootloader", SS, {{"target", "bootloader:ss"}, {"code", 0x7F}, {"action", "silent"}}, ERR_OPEN_FAILED, UPGRADE_FAILED},
        {"front write refused", Front, {{"target", "bootloader:front"}, {"code", 0x31}, {"action", "nack"}}, ERR_DEVICE_WRITE_DATA_FAILED, UPGRADE_FAILED},
        {"front bad image", Front, nullptr, ERR_CHECKSUM, UPGRADE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unit().clearLog();
        unit().clearFaults();
        if (!c.fault.is_null()) unit().addFault(c.fault);
        std::string path = hexFor(c.target, pattern(2000));
        if (c.result == ERR_CHECKSUM) { // one data digit changed: the record's checksum no longer fits
            std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(30);
            const char digit = '0' == f.peek() ? '1' : '0';
            f.seekp(30);
            f.put(digit);
        }
        const Job j = run(c.target, true, path);
        EXPECT_EQ(j.returned, c.result);
        EXPECT_EQ(j.status.action, c.failedAt);
        EXPECT_EQ(j.status.result, c.result);
        EXPECT_EQ(switching(), c.target == SS ? ss : front);
        EXPECT_EQ(unit().getValue("bootloader.routing"), 0);
    }
}

TEST_F(SerialFlasherTest, UnansweredSynchronisationIsRetriedAfterAnUnsynchronisedAttempt) {
    unit().addFault({{"target", "bootloader:ss"}, {"code", 0x7F}, {"action", "silent"}, {"remaining", 5}});
    const Job j = run(SS, true, hexFor(SS, pattern(600)));
    EXPECT_EQ(j.returned, ERR_SUCCESS);
    // Five unanswered synchronisations, a get nobody heard, then a synchronisation that works.
    const std::vector<LogEntry> log = bootloaderLog(SS);
    ASSERT_GE(log.size(), 7u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(log[i].note, "fault: no answer to synchronisation");
    EXPECT_EQ(log[5].code, 0x7Fu);
    EXPECT_EQ(log[5].note, "synchronised");
    EXPECT_EQ(log[6].code, 0x00u); // get
}

// Bootloaders that announce more than expected, or other command codes, still serve a job.
TEST_F(SerialFlasherTest, CommandsComeFromTheGetReplyByPosition) {
    struct Case {
        const char* name;
        const char* field;
        const char* value;
        bool warns;
    } cases[] = {
        {"13-byte get reply", "bootloader.ss.extra_get_bytes", "1", true},
        {"other codes", "bootloader.ss.commands", "[0,1,2,20,33,50,67,99,115,130,146]", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unit().reset();
        set(c.field, c.value);
        testing::internal::CaptureStderr();
        const Job j = run(SS, true, hexFor(SS, pattern(700)));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(j.returned, ERR_SUCCESS);
        EXPECT_EQ(err.find("Seems this bootloader returns more then we understand in the GET command, we will "
                           "skip the unknown bytes\n") != std::string::npos,
                  c.warns);
        EXPECT_EQ(flash(SS, 700), pattern(700));
    }
    // Those codes were the ones used: 50 is the write command there.
    EXPECT_EQ(countCommand(bootloaderLog(SS), 50), 3u);
}

// A microcontroller not in the device table has no flash to fit: verification fails as the
// upgrade does (it used to compare nothing and succeed), before any flash access.
TEST_F(SerialFlasherTest, UnknownProductIdRefusesUpgradeAndVerification) {
    set("bootloader.ss.product_id", "1043"); // 0x413
    const std::string path = hexFor(SS, pattern(1000));
    for (const bool upgrade : {true, false}) {
        SCOPED_TRACE(upgrade ? "upgrade" : "verification");
        const Job j = run(SS, upgrade, path);
        EXPECT_EQ(j.returned, ERR_INVALID_DATA);
        EXPECT_EQ(j.status.action, UPGRADE_FAILED);
        EXPECT_EQ(j.status.percent, 0);
        EXPECT_EQ(j.status.result, ERR_INVALID_DATA);
    }
    const std::vector<LogEntry> log = bootloaderLog(SS);
    EXPECT_EQ(countCommand(log, 0x43) + countCommand(log, 0x31) + countCommand(log, 0x11), 0u);
}

TEST_F(SerialFlasherTest, ImageLargerThanTheFlashIsRefusedBeforeErasing) {
    set("bootloader.ss.product_id", "1042"); // 0x412: 32 KiB of flash
    const std::string path = hexFor(SS, pattern(32 * 1024 + 4));
    const Job j = run(SS, true, path);
    EXPECT_EQ(j.returned, ERR_INVALID_DATA);
    EXPECT_EQ(countCommand(bootloaderLog(SS), 0x43), 0u);
    EXPECT_EQ(countCommand(bootloaderLog(SS), 0x31), 0u);
    // Nor is it verified against the part that would fit.
    EXPECT_EQ(run(SS, false, path).returned, ERR_INVALID_DATA);
    EXPECT_EQ(countCommand(bootloaderLog(SS), 0x11), 0u);
}

TEST_F(SerialFlasherTest, ImageOf1030BytesIsWrittenInFiveBlocksTheLastPaddedWithFF) {
    const std::vector<uint8_t> image = pattern(1030);
    const std::string path = hexFor(Front, image);
    ASSERT_EQ(run(Front, true, path).returned, ERR_SUCCESS);
    std::vector<LogEntry> writes;
    for (const LogEntry& e : bootloaderLog(Front))
        if (e.code == 0x31) writes.push_back(e);
    ASSERT_EQ(writes.size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(writes[i].in.size(), 2 + 5 + 1 + 256 + 1u);
        EXPECT_EQ(writes[i].in[7], 255);
    }
    // code, complement, address 0x08000400 and its checksum, N = 7, 6 bytes, 0xFF 0xFF, checksum.
    const std::vector<uint8_t>& last = writes[4].in;
    ASSERT_EQ(last.size(), 2 + 5 + 1 + 8 + 1u);
    EXPECT_EQ(std::vector<uint8_t>(last.begin() + 2, last.begin() + 7), (std::vector<uint8_t>{0x08, 0x00, 0x04, 0x00, 0x0C}));
    EXPECT_EQ(last[7], 7);
    EXPECT_EQ(std::vector<uint8_t>(last.begin() + 8, last.begin() + 14), std::vector<uint8_t>(image.begin() + 1024, image.end()));
    EXPECT_EQ(last[14], 0xFF);
    EXPECT_EQ(last[15], 0xFF);
    uint8_t sum = 7;
    for (size_t i = 8; i < 16; ++i) sum ^= last[i];
    EXPECT_EQ(last[16], sum);
    std::vector<uint8_t> expected = image;
    expected.insert(expected.end(), {0xFF, 0xFF, 0xFF});
    EXPECT_EQ(flash(Front, 1033), expected);

    // The flash keeps the image: a verification in another process finds it.
    EXPECT_EQ(SimTest::run(tavik::test::binPath("tavikctl") + " firmware verify front " + path), 0);
}

// A mismatch in the second block is reported with the percentage the first block reached.
TEST_F(SerialFlasherTest, VerificationMismatchReportsTheLastPercentage) {
    set("bootloader.ss.mode", "\"bootloader\"");
    set("bootloader.routing", "1");
    set("bootloader.ss.corrupt_at", std::to_string(kFlash + 256 + 10));
    tavik::firmware::FirmwareImage image;
    image.data = pattern(1030);
    std::vector<std::tuple<ErrorCode, uint32_t, int32_t>> reports;
    const ErrorCode e = tavik::firmware::programOverBootloader(
        "COM1", image, tavik::firmware::kModeUpgrade,
        [&](ErrorCode r, uint32_t p, UpgradeAction a) { reports.emplace_back(r, p, a); });
    EXPECT_EQ(e, ERR_VERIFY_FAILED);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports[reports.size() - 2], std::make_tuple(ERR_SUCCESS, 24u, int32_t(UPGRADE_VERIFY)));
    EXPECT_EQ(reports.back(), std::make_tuple(ERR_VERIFY_FAILED, 24u, int32_t(UPGRADE_VERIFY)));
}

// A line outside the library (a bootloader emulator on its own terminal) through TAVIK_COM1;
// the terminal's settings are as before the job.
TEST_F(SerialFlasherTest, ExternalLineThroughTavikCom1) {
    tavik::sim::SerialLineServer server(tavik::sim::LineTarget::Front);
    const int fd = ::open(server.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(fd, &before), 0);
    ::cfsetospeed(&before, B9600);
    ::cfsetispeed(&before, B9600);
    before.c_lflag |= ICANON;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &before), 0);
    ::setenv("TAVIK_COM1", server.path().c_str(), 1);
    const std::vector<uint8_t> image = pattern(3000);
    const Job j = run(Front, true, hexFor(Front, image));
    ::unsetenv("TAVIK_COM1");
    EXPECT_EQ(j.returned, ERR_SUCCESS);
    EXPECT_EQ(flash(Front, image.size()), image);
    EXPECT_GT(server.bytesReceived() + server.bytesSent(), 2 * image.size()); // written and read back
    termios after{};
    ASSERT_EQ(::tcgetattr(fd, &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), B9600);
    EXPECT_NE(after.c_lflag & ICANON, 0u);
    ::close(fd);
}

} // namespace
