// The About family through its exported functions, against the simulated unit's EEPROMs.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>

#include "board_test_support.h"
#include "identity/about.h"
#include "identity/fitted_hardware.h"
#include "sim/board/eeprom_device.h"
#include "tavik2/about.h"

namespace {

using Varnholtstad::About;
using TextOp = ErrorCode(TAVIK_CALL*)(About*, char*, int32_t);
using CountOp = ErrorCode(TAVIK_CALL*)(About*, uint8_t*);
using FlagOp = ErrorCode(TAVIK_CALL*)(About*, bool*);

// Enough records for a valid main image (20 characters at least) around the ones a test sets.
const std::string kPadding = "PCB_ART:PCB-2040-01\r\n";

class AboutTest : public tavik::test::BoardTest {
protected:
    void TearDown() override {
        if (handle_ != nullptr) About_release(handle_);
        SimTest::TearDown();
    }
    // A fresh About object over the EEPROMs as they are now.
    About* about() {
        if (handle_ != nullptr) About_release(handle_);
        handle_ = GetAbout();
        return handle_;
    }
    void setMain(const std::string& records) { setEeprom("main", kPadding + records); }
    void setAddOn(const std::string& records) { setEeprom("addon", kPadding + records); }

    struct Text {
        ErrorCode code;
        std::string value;
    };
    Text text(TextOp op, int32_t length = 256) {
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        const ErrorCode e = op(handle_, buffer, length);
        return {e, e == ERR_SUCCESS ? std::string(buffer) : std::string()};
    }
    std::pair<ErrorCode, int> count(CountOp op) {
        uint8_t n = 0xEE;
        const ErrorCode e = op(handle_, &n);
        return {e, n};
    }
    // -1 untouched, 0 false, 1 true.
    std::pair<ErrorCode, int> flag(FlagOp op) {
        uint8_t raw = 0xEE; // a bool's storage, to see whether it was written
        bool* b = reinterpret_cast<bool*>(&raw);
        const ErrorCode e = op(handle_, b);
        return {e, raw == 0xEE ? -1 : raw};
    }

    About* handle_ = nullptr;
};

using Counted = std::pair<ErrorCode, int>;
Counted ok(int n) { return {ERR_SUCCESS, n}; }
const Counted kMissing = {ERR_EEPROM, 0xEE};
const Counted kMissingFlag = {ERR_EEPROM, -1};

TEST_F(AboutTest, DefaultUnit) {
    ASSERT_NE(about(), nullptr);
    const std::pair<TextOp, const char*> texts[] = {
        {&About_getMainPCBSerial, "A1234567"},     {&About_getUnitSerial, "U7654321"},
        {&About_getMainPCBArt, "PCB-2040-01"},     {&About_getMainManufacturingDate, "2026-03-14"},
        {&About_getMainHWversion, "C"},            {&About_getMainProdRev, "B2"},
        {&About_getMainProdArtNr, "TVK2-121-TS"},  {&About_getDisplayResolution, "1280x800"},
        {&About_getAddOnPCBSerial, "B2345678"},    {&About_getAddOnPCBArt, "PCB-2041-02"},
        {&About_getAddOnManufacturingDate, "2026-03-15"}, {&About_getAddOnHWversion, "A"},
    };
    for (const auto& [op, expected] : texts) {
        const Text t = text(op);
        EXPECT_EQ(t.code, ERR_SUCCESS) << expected;
        EXPECT_EQ(t.value, expected);
    }
    EXPECT_EQ(count(&About_getNrOfETHConnections), ok(2));
    EXPECT_EQ(count(&About_getNrOfCANConnections), ok(2));
    EXPECT_EQ(count(&About_getNrOfVideoConnections), ok(2));
    EXPECT_EQ(count(&About_getNrOfUSBConnections), ok(2));
    EXPECT_EQ(count(&About_getNrOfSerialConnections), ok(1));
    EXPECT_EQ(count(&About_getNrOfDigIOConnections), ok(4));
    for (FlagOp op : {&About_getIsDisplayAvailable, &About_getIsTouchScreenAvailable, &About_getIsWLANMounted,
                      &About_getIsGPSMounted, &About_getIsGPRSMounted, &About_getIsBTMounted})
        EXPECT_EQ(flag(op), ok(1));

    // The family never asks the driver (its channel is only opened).
    EXPECT_TRUE(requests().empty());
}

TEST_F(AboutTest, TextRule) {
    setMain("PCB_SERIAL:0123456789\r\n");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getMainPCBSerial, 10).code, ERR_BUFFER_SIZE);
    EXPECT_EQ(text(&About_getMainPCBSerial, -1).code, ERR_BUFFER_SIZE);

    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(About_getMainPCBSerial(handle_, buffer, 11), ERR_SUCCESS);
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_EQ(buffer[11], '#'); // eleven bytes written, no more

    EXPECT_EQ(About_getMainPCBSerial(handle_, nullptr, 11), ERR_INVALID_PARAMETER);
    // The lookup comes first: a missing record is ERR_EEPROM whatever the buffer.
    EXPECT_EQ(About_getUnitSerial(handle_, nullptr, 0), ERR_EEPROM);
    EXPECT_EQ(text(&About_getAddOnPCBSerial, 1).code, ERR_BUFFER_SIZE); // the add-on's own record
}

TEST_F(AboutTest, SumsCountMissingRecordsAsZero) {
    setMain("ETH_USB:2\r\nCAN_FPGA:1\r\n");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(count(&About_getNrOfETHConnections), ok(2));
    EXPECT_EQ(count(&About_getNrOfCANConnections), ok(1));

    setMain("DIGIO:0\r\n");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(count(&About_getNrOfETHConnections), ok(0));
    EXPECT_EQ(count(&About_getNrOfCANConnections), ok(0));
    EXPECT_EQ(count(&About_getNrOfDigIOConnections), ok(0));
    EXPECT_EQ(count(&About_getNrOfVideoConnections), kMissing);
    EXPECT_EQ(count(&About_getNrOfUSBConnections), kMissing);
}

TEST_F(AboutTest, NumbersOfRecords) {
    setMain("VIDEO:258\r\nUSBHOST: x\r\nDIGIO:-1\r\nETH_USB:+3\r\nETH:abc\r\nCAN:200\r\nCAN_FPGA:100\r\n");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(count(&About_getNrOfVideoConnections), ok(2));   // modulo 256
    EXPECT_EQ(count(&About_getNrOfUSBConnections), kMissing);   // empty value: no record
    EXPECT_EQ(count(&About_getNrOfDigIOConnections), ok(255));
    EXPECT_EQ(count(&About_getNrOfETHConnections), ok(3));      // no digits count 0
    EXPECT_EQ(count(&About_getNrOfCANConnections), ok(44));     // the 8-bit sum wraps

    using tavik::identity::parseRecordNumber;
    EXPECT_EQ(parseRecordNumber("\t 42x").value, 42);
    EXPECT_EQ(parseRecordNumber("-7").value, -7);
    EXPECT_EQ(parseRecordNumber("- 7").value, 0);
    EXPECT_EQ(parseRecordNumber("99999999999").value, INT32_MAX);
    EXPECT_EQ(parseRecordNumber("99999999999").low8, 99999999999ull % 256);
}

TEST_F(AboutTest, LayoutVersionPicksTheRevisionAndSerialRecords) {
    const std::string both = "PCB_REV:C\r\nHWVERSION:H1\r\nRS232:3\r\nSERIAL:5\r\n";
    setMain("DATA:1\r\nHWVERSION:H1\r\nSERIAL:5\r\n");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getMainHWversion).value, "H1");
    EXPECT_EQ(count(&About_getNrOfSerialConnections), ok(5));

    setMain("DATA:3\r\n" + both);
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getMainHWversion).value, "C");
    EXPECT_EQ(count(&About_getNrOfSerialConnections), ok(3));

    setMain("DATA:0\r\n" + both);
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getMainHWversion).code, ERR_EEPROM);
    EXPECT_EQ(count(&About_getNrOfSerialConnections), ok(0)); // the version stands as the count

    setMain("DATA:-2\r\n" + both);
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getMainHWversion).code, ERR_EEPROM);
    EXPECT_EQ(count(&About_getNrOfSerialConnections), ok(254));

    setMain(both); // no DATA record
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getMainHWversion).code, ERR_EEPROM);
    EXPECT_EQ(count(&About_getNrOfSerialConnections), kMissing);

    setMain("DATA:2\r\nHWVERSION:H1\r\nSERIAL:5\r\n"); // the chosen record is missing
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getMainHWversion).code, ERR_EEPROM);
    EXPECT_EQ(count(&About_getNrOfSerialConnections), kMissing);
}

TEST_F(AboutTest, Flags) {
    setMain("TOUCH:2\r\nDISPLAY:none\r\n");
    setAddOn("WLAN:2\r\nGPS:0\r\nGSM:1\r\n");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(flag(&About_getIsTouchScreenAvailable), ok(1));
    EXPECT_EQ(flag(&About_getIsDisplayAvailable), ok(0));
    EXPECT_EQ(text(&About_getDisplayResolution).value, "none");
    EXPECT_EQ(flag(&About_getIsWLANMounted), ok(0));
    EXPECT_EQ(flag(&About_getIsGPSMounted), ok(0));
    EXPECT_EQ(flag(&About_getIsGPRSMounted), ok(1));
    EXPECT_EQ(flag(&About_getIsBTMounted), kMissingFlag);

    setMain("TOUCH:3\r\nDISPLAY:800X480\r\n");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(flag(&About_getIsTouchScreenAvailable), ok(0));
    EXPECT_EQ(flag(&About_getIsDisplayAvailable), ok(0)); // only a lower-case x counts

    setMain("TOUCH:1\r\nDISPLAY:x\r\n");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(flag(&About_getIsTouchScreenAvailable), ok(1));
    EXPECT_EQ(flag(&About_getIsDisplayAvailable), ok(1));
    EXPECT_EQ(About_getIsDisplayAvailable(handle_, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(About_getNrOfETHConnections(handle_, nullptr), ERR_INVALID_PARAMETER);
}

TEST_F(AboutTest, FixedAnswers) {
    ASSERT_NE(about(), nullptr);
    char buffer[8] = "keep";
    EXPECT_EQ(About_getFrontPcbRev(handle_, buffer, sizeof buffer), ERR_NOT_SUPPORTED);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(About_getFrontPcbRev(handle_, nullptr, 0), ERR_NOT_SUPPORTED);
    EXPECT_EQ(flag(&About_hasOsBooted), (Counted{ERR_NOT_SUPPORTED, -1}));
    EXPECT_EQ(flag(&About_getIsIOExpanderMounted), ok(0));
    EXPECT_EQ(flag(&About_getIsAnybusMounted), ok(0));
    uint16_t value = 0xBEEF;
    EXPECT_EQ(About_getIOExpanderValue(handle_, &value), ERR_SUCCESS);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(About_getIOExpanderValue(handle_, nullptr), ERR_INVALID_PARAMETER);
}

TEST_F(AboutTest, NullHandle) {
    char buffer[32];
    uint8_t n = 0;
    bool b = false;
    uint16_t v = 0;
    EXPECT_EQ(About_getMainPCBSerial(nullptr, buffer, sizeof buffer), ERR_INVALID_PARAMETER);
    EXPECT_EQ(About_getAddOnHWversion(nullptr, buffer, sizeof buffer), ERR_INVALID_PARAMETER);
    EXPECT_EQ(About_getFrontPcbRev(nullptr, buffer, sizeof buffer), ERR_INVALID_PARAMETER);
    EXPECT_EQ(About_getNrOfCANConnections(nullptr, &n), ERR_INVALID_PARAMETER);
    EXPECT_EQ(About_getIsBTMounted(nullptr, &b), ERR_INVALID_PARAMETER);
    EXPECT_EQ(About_hasOsBooted(nullptr, &b), ERR_INVALID_PARAMETER);
    EXPECT_EQ(About_getIOExpanderValue(nullptr, &v), ERR_INVALID_PARAMETER);
    About_release(nullptr);
}

// Without the board library every record is missing; the factory still gives an object.
TEST_F(AboutTest, UnusableLibrary) {
    setBoard("library", "unusable");
    ASSERT_NE(about(), nullptr);
    for (TextOp op : {&About_getMainPCBSerial, &About_getUnitSerial, &About_getMainPCBArt,
                      &About_getMainManufacturingDate, &About_getMainHWversion, &About_getMainProdRev,
                      &About_getMainProdArtNr, &About_getDisplayResolution, &About_getAddOnPCBSerial,
                      &About_getAddOnPCBArt, &About_getAddOnManufacturingDate, &About_getAddOnHWversion})
        EXPECT_EQ(text(op).code, ERR_EEPROM);
    EXPECT_EQ(count(&About_getNrOfETHConnections), ok(0));
    EXPECT_EQ(count(&About_getNrOfCANConnections), ok(0));
    for (CountOp op : {&About_getNrOfVideoConnections, &About_getNrOfUSBConnections,
                       &About_getNrOfSerialConnections, &About_getNrOfDigIOConnections})
        EXPECT_EQ(count(op), kMissing);
    for (FlagOp op : {&About_getIsDisplayAvailable, &About_getIsTouchScreenAvailable, &About_getIsWLANMounted,
                      &About_getIsGPSMounted, &About_getIsGPRSMounted, &About_getIsBTMounted})
        EXPECT_EQ(flag(op), kMissingFlag);
    EXPECT_TRUE(calls(69).empty());
}

TEST_F(AboutTest, AddOnBoardNotFitted) {
    setEepromPresent("addon", false);
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getMainPCBSerial).value, "A1234567");
    EXPECT_EQ(text(&About_getAddOnPCBSerial).code, ERR_EEPROM);
    EXPECT_EQ(flag(&About_getIsWLANMounted), kMissingFlag);
}

TEST_F(AboutTest, ObjectsShareTheImagesOfTheProcess) {
    About* first = GetAbout();
    About* second = GetAbout();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(calls(3).size(), 2u); // one session per EEPROM load, main then add-on
    const auto reads = calls(69);
    ASSERT_FALSE(reads.empty());
    EXPECT_TRUE(tavik::test::wentTo(reads.front(), "0xae"));
    EXPECT_TRUE(tavik::test::wentTo(reads.back(), "0xa4"));

    // Changes on the device are not seen while the images live...
    setEeprom("main", "UNIT_SERIAL:changed\r\n" + kPadding);
    About_release(first);
    char buffer[32];
    ASSERT_EQ(About_getUnitSerial(second, buffer, sizeof buffer), ERR_SUCCESS);
    EXPECT_STREQ(buffer, "U7654321");
    EXPECT_TRUE(calls(4).empty());
    About_release(second);
    EXPECT_EQ(calls(4).size(), 2u); // one close per destroyed image

    // ...and are by a later object.
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(text(&About_getUnitSerial).value, "changed");
}

TEST_F(AboutTest, FittedHardwareQueries) {
    using namespace tavik::identity;
    setMain("DISPLAY:800x480\r\nTOUCH:0\r\nVIDEO:0\r\nCAN:1\r\n");
    setAddOn("WLAN:1\r\nGPS:0\r\n");
    EXPECT_TRUE(displayFitted());
    EXPECT_FALSE(touchScreenFitted());
    EXPECT_FALSE(videoFitted());
    EXPECT_TRUE(canFitted());
    EXPECT_TRUE(digitalIoFitted()); // no record: counts as fitted
    EXPECT_TRUE(telematicsModuleFitted(TelematicsModule::Wlan));
    EXPECT_FALSE(telematicsModuleFitted(TelematicsModule::Gps));
    EXPECT_FALSE(telematicsModuleFitted(TelematicsModule::Bluetooth)); // no record: absent
    EXPECT_EQ(askAbout(&About_getMainPCBArt), std::optional<std::string>("PCB-2040-01"));
    EXPECT_EQ(askAbout(&About_getMainPCBArt, 5), std::nullopt);

    setBoard("library", "unusable");
    EXPECT_TRUE(displayFitted());
    EXPECT_TRUE(touchScreenFitted());
    EXPECT_TRUE(videoFitted());
    EXPECT_FALSE(telematicsModuleFitted(TelematicsModule::Gprs));
}

TEST_F(AboutTest, TavikctlShowsTheUnitAndEditsItsEeproms) {
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " about", &out), 0) << out;
    for (const char* expected : {"A1234567", "U7654321", "PCB-2040-01", "TVK2-121-TS", "B2345678", "1280x800",
                                 "Main board revision:    C", "CAN ports:              2", "Bluetooth:              fitted"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;

    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim eeprom set addon GPS 0", &out), 0) << out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim eeprom set main NEWKEY 5", &out), 0) << out;
    const std::string mainText = tavik::sim::board::imageText(eeprom("main"));
    EXPECT_EQ(mainText.substr(mainText.size() - 10), "NEWKEY:5\r\n");
    setEepromPresent("main", false);
    // Items that could not be read make the command fail; the JSON document still comes.
    ASSERT_EQ(run("sh -c '" + tavik::test::binPath("tavikctl") + " --json about 2>/dev/null'", &out), 1) << out;
    const auto doc = tavik::sim::json::parse(out);
    EXPECT_EQ(doc["fitted"]["gps"], false);
    EXPECT_EQ(doc["fitted"]["wlan"], true);
    EXPECT_EQ(doc["identity"]["unit_serial"]["code"], ERR_EEPROM);
    EXPECT_EQ(doc["connections"]["eth"], 0);

    const std::string file = home() + "/image.txt";
    { std::ofstream(file, std::ios::binary) << "PCB_SERIAL:FROMFILE\r\nPCB_ART:X-1\r\n"; }
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim eeprom load addon " + file, &out), 0) << out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim eeprom show addon", &out), 0) << out;
    EXPECT_NE(out.find("  PCB_SERIAL:FROMFILE\n  PCB_ART:X-1\n"), std::string::npos) << out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim eeprom show addon --hex", &out), 0) << out;
    EXPECT_NE(out.find("0000  50 43 42 5f"), std::string::npos) << out;
    EXPECT_NE(run(tavik::test::binPath("tavikctl") + " sim eeprom set front KEY 1", &out), 0);
}

// `about` fails when anything it was asked for could not be read, and says what.
TEST_F(AboutTest, TavikctlAboutFailsWhenAnItemCannotBeRead) {
    setEepromPresent("addon", false);
    std::string out;
    EXPECT_EQ(run(tavik::test::binPath("tavikctl") + " about", &out), 1) << out;
    EXPECT_NE(out.find("items could not be read: Add-on board serial (error 18"), std::string::npos) << out;
}

// `sim eeprom set` keeps to the library's rules of a property update, so it cannot forge a
// record or cut the text; `sim eeprom load` still stores anything. --json keeps 8-bit texts.
TEST_F(AboutTest, TavikctlEepromSetKeepsTheLibrarysRules) {
    const std::string ctl = tavik::test::binPath("tavikctl");
    const std::vector<uint8_t> before = eeprom("main");
    const std::string refused[] = {"PCB_SERIAL $'X\\r\\nUNIT_SERIAL:FORGED'", "PCB_SERIAL $'X\\xffY'", "PCB_SERIAL 'X Y'",
                                   "PCB_SERIAL ''", "'' 1", "'A B' 1", "A:B 1", "PCB_SERIAL " + std::string(255, 'x')};
    for (const std::string& args : refused) {
        std::string out;
        EXPECT_NE(run("bash -c \"" + ctl + " sim eeprom set main " + args + "\"", &out), 0) << args << "\n" << out;
    }
    EXPECT_EQ(eeprom("main"), before);

    const std::string file = home() + "/image.bin";
    { std::ofstream(file, std::ios::binary) << "PCB_SERIAL:\xB0" "1\r\n"; }
    std::string out;
    ASSERT_EQ(run(ctl + " sim eeprom load addon " + file, &out), 0) << out;
    ASSERT_EQ(run(ctl + " --json sim eeprom show addon", &out), 0) << out;
    EXPECT_EQ(tavik::sim::json::parse(out)["addon"]["records"][0], "PCB_SERIAL:\u00b01") << out;
}

} // namespace
