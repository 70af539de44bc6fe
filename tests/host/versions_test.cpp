// The version family and the firmware-version gates against the simulated unit.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "identity/aux_version.h"
#include "support/sim_fixture.h"
#include "tavik2/aux_version.h"

namespace {

using tavik::identity::FirmwareVersionNumber;
using tavik::sim::json;

constexpr uint32_t kFpga = 0x2224F0, kSs = 0x2224F4, kFront = 0x2224F8, kDriverVersion = 0x222598;

struct Version {
    uint8_t p[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    bool is(int a, int b, int c, int d) const { return p[0] == a && p[1] == b && p[2] == c && p[3] == d; }
    bool untouched() const { return is(0xEE, 0xEE, 0xEE, 0xEE); }
};

class VersionsTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        handle_ = GetAuxVersion();
        ASSERT_NE(handle_, nullptr);
    }
    void TearDown() override {
        AuxVersion_release(handle_);
        SimTest::TearDown();
    }

    using Op = ErrorCode(TAVIK_CALL*)(Varnholtstad::AuxVersion*, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
    ErrorCode call(Op op, Version& v) { return op(handle_, &v.p[0], &v.p[1], &v.p[2], &v.p[3]); }

    void reply(uint32_t code, const std::string& hex, int count = -1) {
        json f = {{"target", "\\\\.\\TavikDrv"}, {"code", code}, {"action", "reply"}, {"reply", hex}, {"remaining", 1}};
        if (count >= 0) f["count"] = count;
        unit().addFault(f);
    }

    void writeOemInfo(const std::string& content) {
        const std::string path = tavik::sim::hostPath(tavik::identity::kOemInfoPath);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    }

    Varnholtstad::AuxVersion* handle_ = nullptr;
};

TEST_F(VersionsTest, DriverVersionsComeFromTheirRequests) {
    Version v;
    EXPECT_EQ(call(&AuxVersion_getFPGAVersion, v), ERR_SUCCESS);
    EXPECT_TRUE(v.is(0, 4, 0, 1));
    EXPECT_EQ(call(&AuxVersion_getSSVersion, v), ERR_SUCCESS);
    EXPECT_TRUE(v.is(1, 3, 0, 0));
    EXPECT_EQ(call(&AuxVersion_getFrontVersion, v), ERR_SUCCESS);
    EXPECT_TRUE(v.is(1, 0, 0, 0));
    EXPECT_EQ(call(&AuxVersion_getTavikDrvVersion, v), ERR_SUCCESS);
    EXPECT_TRUE(v.is(2, 1, 0, 0));

    // Byte for byte: no input, four bytes out, in the order sent.
    const auto log = requests();
    ASSERT_EQ(log.size(), 4u);
    const uint32_t codes[] = {kFpga, kSs, kFront, kDriverVersion};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log[i].code, codes[i]);
        EXPECT_TRUE(log[i].in.empty());
        EXPECT_EQ(log[i].returned, 4u);
        EXPECT_TRUE(log[i].ok);
    }
    EXPECT_EQ(log[0].out, (std::vector<uint8_t>{0, 4, 0, 1}));
}

TEST_F(VersionsTest, FailuresLeaveTheOutputsAlone) {
    Version v;
    reply(kSs, "010300", 3);
    EXPECT_EQ(call(&AuxVersion_getSSVersion, v), ERR_BUFFER_SIZE);
    EXPECT_TRUE(v.untouched());
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", kFront}, {"action", "fail"}});
    EXPECT_EQ(call(&AuxVersion_getFrontVersion, v), ERR_IOCTRL_FAILED);
    EXPECT_TRUE(v.untouched());
}

// A null part is refused before the request (it used to be written through).
TEST_F(VersionsTest, NullPartsAreRefused) {
    using Op = ErrorCode(TAVIK_CALL*)(Varnholtstad::AuxVersion*, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
    for (Op op : {&AuxVersion_getFPGAVersion, &AuxVersion_getSSVersion, &AuxVersion_getFrontVersion,
                  &AuxVersion_getTavikVersion, &AuxVersion_getTavikDrvVersion}) {
        uint8_t a = 7, b = 7, c = 7;
        EXPECT_EQ(op(handle_, &a, &b, &c, nullptr), ERR_INVALID_PARAMETER);
        EXPECT_EQ(op(handle_, nullptr, &a, &b, &c), ERR_INVALID_PARAMETER);
        EXPECT_EQ(a + b + c, 21);
    }
}

TEST_F(VersionsTest, NoDriverMeansOpenFailedAndGateNumbersZero) {
    loadProfile("no-driver");
    Varnholtstad::AuxVersion* h = GetAuxVersion();
    ASSERT_NE(h, nullptr); // the factory does not fail without the driver
    Version v;
    EXPECT_EQ(AuxVersion_getFPGAVersion(h, &v.p[0], &v.p[1], &v.p[2], &v.p[3]), ERR_OPEN_FAILED);
    EXPECT_EQ(AuxVersion_getTavikDrvVersion(h, &v.p[0], &v.p[1], &v.p[2], &v.p[3]), ERR_OPEN_FAILED);
    EXPECT_TRUE(v.untouched());
    EXPECT_EQ(AuxVersion_getTavikVersion(h, &v.p[0], &v.p[1], &v.p[2], &v.p[3]), ERR_SUCCESS);
    EXPECT_TRUE(v.is(2, 4, 0, 0));
    AuxVersion_release(h);

    FirmwareVersionNumber n = 77;
    EXPECT_FALSE(tavik::identity::getSsVersionNumber(&n));
    EXPECT_EQ(n, 0u);
    n = 77;
    EXPECT_FALSE(tavik::identity::getFpgaVersionNumber(&n));
    EXPECT_EQ(n, 0u);
    n = 77;
    EXPECT_FALSE(tavik::identity::getFrontVersionNumber(&n));
    EXPECT_EQ(n, 0u);
}

TEST_F(VersionsTest, GatesPackTheVersionsAndCompare) {
    FirmwareVersionNumber n = 0;
    EXPECT_TRUE(tavik::identity::getSsVersionNumber(&n));
    EXPECT_EQ(n, 1030000u);
    EXPECT_GE(n, 1030000u);
    EXPECT_TRUE(tavik::identity::getFpgaVersionNumber(&n));
    EXPECT_EQ(n, 40001u);
    EXPECT_TRUE(tavik::identity::getFrontVersionNumber(&n));
    EXPECT_EQ(n, 1000000u);

    reply(kSs, "01026363"); // 1.2.99.99
    EXPECT_TRUE(tavik::identity::getSsVersionNumber(&n));
    EXPECT_EQ(n, 1029999u);
    EXPECT_LT(n, 1030000u);

    reply(kSs, "ffffffff");
    EXPECT_TRUE(tavik::identity::getSsVersionNumber(&n));
    EXPECT_EQ(n, 255u * 1000000 + 255u * 10000 + 255u * 100 + 255u);

    unit().clearFaults();
    reply(kSs, "010300", 3);
    n = 5;
    EXPECT_FALSE(tavik::identity::getSsVersionNumber(&n));
    EXPECT_EQ(n, 0u);
}

TEST_F(VersionsTest, GatesFollowTheProfile) {
    loadProfile("old-firmware");
    FirmwareVersionNumber n = 0;
    EXPECT_TRUE(tavik::identity::getSsVersionNumber(&n));
    EXPECT_EQ(n, 80500u);
    EXPECT_TRUE(tavik::identity::getFpgaVersionNumber(&n));
    EXPECT_EQ(n, 30009u);
}

TEST_F(VersionsTest, OsVersionIsTheFirstVFollowedByADigit) {
    Version v;
    writeOemInfo("[General]\r\nversion of the image: TAVIK2-OS v3.1.2.0\r\n");
    EXPECT_EQ(call(&AuxVersion_getOSVersion, v), ERR_SUCCESS);
    EXPECT_TRUE(v.is(3, 1, 2, 0));

    writeOemInfo("Image v3.256.0.0 and v1.1.1.1");
    Version w;
    EXPECT_EQ(call(&AuxVersion_getOSVersion, w), ERR_COMMAND_FAILED);
    EXPECT_TRUE(w.untouched());

    writeOemInfo("v1.2 then v4.5.6.7"); // a malformed first label ends the search
    EXPECT_EQ(call(&AuxVersion_getOSVersion, w), ERR_COMMAND_FAILED);

    writeOemInfo("no label here, only vowels: very vague");
    EXPECT_EQ(call(&AuxVersion_getOSVersion, w), ERR_COMMAND_FAILED);

    writeOemInfo("");
    EXPECT_EQ(call(&AuxVersion_getOSVersion, w), ERR_COMMAND_FAILED);
}

TEST_F(VersionsTest, OsVersionReadsOnlyTheFirst512Bytes) {
    Version v;
    writeOemInfo(std::string(508, '-') + "v9.8.7.6");
    EXPECT_EQ(call(&AuxVersion_getOSVersion, v), ERR_COMMAND_FAILED); // cut at "v9.8"
    writeOemInfo(std::string(503, '-') + "v9.8.7.6");                 // ends exactly at byte 512
    EXPECT_EQ(call(&AuxVersion_getOSVersion, v), ERR_SUCCESS);
    EXPECT_TRUE(v.is(9, 8, 7, 6));
    writeOemInfo(std::string(511, '-') + "v9.8.7.6"); // the v is the last byte read
    EXPECT_EQ(call(&AuxVersion_getOSVersion, v), ERR_COMMAND_FAILED);
}

TEST_F(VersionsTest, OsVersionArgumentsAndMissingFile) {
    uint8_t a = 0, b = 0, c = 0;
    EXPECT_EQ(AuxVersion_getOSVersion(handle_, &a, &b, &c, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(AuxVersion_getOSVersion(handle_, nullptr, &b, &c, &a), ERR_INVALID_PARAMETER);
    std::filesystem::remove(tavik::sim::hostPath(tavik::identity::kOemInfoPath));
    Version v;
    EXPECT_EQ(call(&AuxVersion_getOSVersion, v), ERR_OPEN_FAILED);
    EXPECT_TRUE(v.untouched());
}

// A part that does not fit 32 bits is above 255 however it is written, and a folder in place of
// the file cannot be opened, as on Windows.
TEST_F(VersionsTest, OsVersionPartsThatOverflowAndAFolderInPlaceOfTheFile) {
    Version v;
    for (const char* text : {"v4294967297.2.3.4", "v1.2.3.4294967296", "v99999999999999999999.2.3.4", "v1.+256.0.0"}) {
        writeOemInfo(std::string("Image ") + text + "\r\n");
        EXPECT_EQ(call(&AuxVersion_getOSVersion, v), ERR_COMMAND_FAILED) << text;
        EXPECT_TRUE(v.untouched()) << text;
    }
    const std::string oem = tavik::sim::hostPath(tavik::identity::kOemInfoPath);
    std::filesystem::remove(oem);
    std::filesystem::create_directory(oem);
    EXPECT_EQ(call(&AuxVersion_getOSVersion, v), ERR_OPEN_FAILED);
}

// Loading a profile replaces the OEM file in one step: a reader in another thread sees the old
// or the new contents, never a part of either.
TEST_F(VersionsTest, ProfileLoadsReplaceTheOemFileWhole) {
    json a = tavik::sim::Unit::defaultProfile(), b = a;
    a["oeminfo"] = "Image v1.1.1.1\r\n" + std::string(20000, 'a');
    b["oeminfo"] = "Image v2.2.2.2\r\n" + std::string(30000, 'b');
    const std::string textA = a["oeminfo"], textB = b["oeminfo"];
    unit().loadProfile(a);
    const std::string path = tavik::sim::hostPath(tavik::identity::kOemInfoPath);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, reads{0};
    std::thread reader([&] {
        while (!done) {
            std::ifstream in(path, std::ios::binary);
            const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (got != textA && got != textB) ++torn;
            ++reads;
        }
    });
    for (int i = 0; i < 40; ++i) unit().loadProfile(i % 2 ? a : b);
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

TEST(VersionTextTest, ParsingRules) {
    uint8_t p[4];
    EXPECT_TRUE(tavik::identity::parseVersionText("2.4.0.0", p));
    EXPECT_EQ(p[1], 4);
    EXPECT_TRUE(tavik::identity::parseVersionText("255.0.0.255 trailing", p));
    EXPECT_FALSE(tavik::identity::parseVersionText("1.2.3", p));
    EXPECT_FALSE(tavik::identity::parseVersionText("1.2.3.256", p));
    EXPECT_FALSE(tavik::identity::parseVersionText("1.-2.3.4", p));
    EXPECT_EQ(tavik::identity::packFirmwareVersion(0, 4, 0, 1), 40001u);
    EXPECT_EQ(tavik::identity::packFirmwareVersion(1, 3, 0, 0), 1030000u);
}

} // namespace
