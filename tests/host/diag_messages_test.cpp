// The hardware-error and start-up-reason texts through the exported lookups, against a copy of
// the supervisor's code list kept here independently of the library's table.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/sim_fixture.h"
#include "tavik2/messages.h"

namespace {

struct Expected {
    uint32_t code;
    const char* text;
};

const Expected kHwErrors[] = {
    {0x00, "No Error"},
    {0x01, "FPGA CONF Read Error"},
    {0x02, "FPGACONF Unexpected Value"},
    {0x03, "CBRESET Read Error"},
    {0x04, "SUS3Read Error"},
    {0x05, "SUS4Read Error"},
    {0x06, "SUS5Read Error"},
    {0x07, "PG 5VSTBY Read Error"},
    {0x08, "PG 5VSTBY Unexpected Value"},
    {0x09, "CAN PWR OK Read Error"},
    {0x0A, "VID PWR OK Read Error"},
    {0x0B, "LVDS BL EN Read Error"},
    {0x0C, "LVDS VDD EN Read Error"},
    {0x0D, "EXTCTRL ON Read Error"},
    {0x0E, "FPBTN ON Read Error"},
    {0x0F, "24V Read Error"},
    {0x10, "24V Out Of Limits"},
    {0x11, "24VIN Read Error"},
    {0x12, "24VIN Out Of Limits"},
    {0x13, "12V Read Error"},
    {0x14, "12V Out Of Limits"},
    {0x15, "12VVIDEO Read Error"},
    {0x16, "12VVIDEO Out Of Limits"},
    {0x17, "5VSTBY Read Error"},
    {0x18, "5VSTBY Out Of Limits"},
    {0x19, "5VRead Error"},
    {0x1A, "5V Out Of Limits"},
    {0x1B, "3V3 Read Error"},
    {0x1C, "3V3 Out Of Limits"},
    {0x1D, "TFTVOL Read Error"},
    {0x1E, "TFTVOL Out Of Limits"},
    {0x1F, "1V9 Read Error"},
    {0x20, "1V9 Out Of Limits"},
    {0x21, "1V8 Read Error"},
    {0x22, "1V8 Out Of Limits"},
    {0x23, "1V5 Read Error"},
    {0x24, "1V5 Out Of Limits"},
    {0x25, "1V2 Read Error"},
    {0x26, "1V2 Out Of Limits"},
    {0x27, "1V05 Read Error"},
    {0x28, "1V05 Out Of Limits"},
    {0x29, "1V0 Read Error"},
    {0x2A, "1V0 Out Of Limits"},
    {0x2B, "0V9 Read Error"},
    {0x2C, "0V9 Out Of Limits"},
    {0x2D, "I2CTEMP Read Error"},
    {0x2E, "I2CTEMP Out Of Limits"},
    {0x2F, "STM32TEMP Read Error"},
    {0x30, "STM32TEMP Out Of Limits"},
    {0x31, "BLTYPE Unexpected EEPROM Value"},
    {0x32, "FPBTN Unexpected EEPROM Value"},
    {0x33, "EXTCTRL Unexpected EEPROM Value"},
    {0x34, "LowRange24V Unexpected EEPROM Value"},
    {0x35, "SuspToRAM  Unexpected EEPROM Value"},
    {0x36, "CANPWR Unexpected EEPROM Value"},
    {0x37, "VID1PWR Unexpected EEPROM Value"},
    {0x38, "VID2PWR Unexpected EEPROM Value"},
    {0x39, "VID3PWR Unexpected EEPROM Value"},
    {0x3A, "VID4PWR Unexpected EEPROM Value"},
    {0x3B, "EXTFAN Unexpected EEPROM Value"},
    {0x3C, "LED Unexpected EEPROM Value"},
    {0x3D, "UnitType Unexpected EEPROM Value"},
    {0x3E, "BLTYPE Read Error EEPROM"},
    {0x3F, "FPBTN Read Error EEPROM"},
    {0x40, "EXTCTRL Read Error EEPROM"},
    {0x41, "MaxSuspTime Read Error EEPROM"},
    {0x42, "LowRange24V Read Error EEPROM"},
    {0x43, "SuspToRAM Read Error EEPROM"},
    {0x44, "CANPWR Read Error EEPROM"},
    {0x45, "VID1PWR Read Error EEPROM"},
    {0x46, "VID2PWR Read Error EEPROM"},
    {0x47, "VID3PWR Read Error EEPROM"},
    {0x48, "VID4PWR Read Error EEPROM"},
    {0x49, "EXTFAN Read Error EEPROM"},
    {0x4A, "LED Read Error EEPROM "},
    {0x4B, "UnitType Read Error EEPROM "},
    {0x4C, "RCCInit"},
    {0x4D, "DriverInit"},
    {0x4E, "SetSUPPLYRESET"},
    {0x4F, "RelSUPPLYRESET"},
    {0x50, "SetSYSRESET"},
    {0x51, "RelSYSRESET"},
    {0x52, "SetPWRBTN"},
    {0x53, "RelPWRBTN"},
    {0x54, "OnBL"},
    {0x55, "OffBL"},
    {0x56, "EXTFANOn"},
    {0x57, "EXTFANOff"},
    {0x58, "PWRENOn"},
    {0x59, "PWRENOff"},
    {0x5A, "MPPWRENOn"},
    {0x5B, "MPPWRENOff"},
    {0x5C, "CANPWRENOn"},
    {0x5D, "CANPWRENOff"},
    {0x5E, "VID1PWRENOn"},
    {0x5F, "VID1PWRENOff"},
    {0x60, "VID2PWRENOn"},
    {0x61, "VID2PWRENOff"},
    {0x62, "VID3PWRENOn"},
    {0x63, "VID3PWRENOff"},
    {0x64, "VID4PWRENOn"},
    {0x65, "VID4PWRENOff"},
    {0x66, "HEATACTOn"},
    {0x67, "HEATACTOff"},
    {0x68, "SetLEDCol"},
    {0x69, "SetLEDFreq"},
    {0x6A, "ManageLED"},
    {0x6B, "ManageCANPwr"},
    {0x6C, "ManageMPPwr"},
    {0x6D, "ManageVidPwr"},
    {0x6E, "ManagePowSup"},
    {0x6F, "ManageReset"},
    {0x70, "SSState"},
    {0x71, "VarWrapAround"},
    {0x72, "FPBTN Unexpected Value"},
    {0x73, "EXTCTRL Unexpected Value"},
    {0x74, "MAINPWROK Read Error"},
    {0x75, "FRONTSPARE Read Error"},
    {0x76, "TIMERRead Error"},
    {0x77, "ManageDiagnostics"},
    {0x78, "FPBTNTimOut Read Error EEPROM"},
    {0x79, "EXTCTRLTimOut Read Error EEPROM"},
    {0x7A, "FPBTNAndExtCtrlDisabled"},
    {0x7B, "SWVerRead Error"},
    {0x7C, "SWVerWrite Error"},
    {0x7D, "ManageActDeAct"},
    {0x7E, "TickTimeOutTimer"},
    {0x7F, "OperateModeStateError"},
    {0x80, "Heating Temperature Read Error EEPROM"},
    {0x81, "MP could not be started"},
    {0x82, "Read Error EEPROM"},
    {0x83, "TimeOut Waiting For Supply Voltages"},
};

const Expected kStartupReasons[] = {
    {0x0F, "Power on start-up"},
    {0x55, "Front Panel Button"},
    {0xAA, "External Control Signal"},
    {0xF0, "OS Restart"},
};

// The wide text as bytes, when every unit is ASCII; "<non-ASCII>" otherwise.
std::string asciiOf(const TavikWChar* wide) {
    std::string out;
    for (; *wide != 0; ++wide) {
        if (static_cast<uint32_t>(*wide) > 0x7F) return "<non-ASCII>";
        out.push_back(static_cast<char>(*wide));
    }
    return out;
}

std::string startupText(uint32_t code) {
    for (const Expected& e : kStartupReasons)
        if (e.code == code) return e.text;
    return "Unknown";
}

TEST(HwErrorText, EveryCodeHasItsExactTextNarrowAndWide) {
    ASSERT_EQ(sizeof(kHwErrors) / sizeof(kHwErrors[0]), 132u);
    for (uint32_t i = 0; i < 132; ++i) {
        const Expected& e = kHwErrors[i];
        ASSERT_EQ(e.code, i) << "test table out of order";
        const int32_t code = static_cast<int32_t>(e.code);
        ASSERT_NE(GetHwErrorStatusStringA(code), nullptr);
        ASSERT_NE(GetHwErrorStatusStringW(code), nullptr);
        EXPECT_EQ(std::string(GetHwErrorStatusStringA(code)), e.text) << "code " << i;
        EXPECT_EQ(asciiOf(GetHwErrorStatusStringW(code)), e.text) << "code " << i;
    }
}

TEST(HwErrorText, IrregularSpacingIsKept) {
    EXPECT_STREQ(GetHwErrorStatusStringA(53), "SuspToRAM  Unexpected EEPROM Value");
    EXPECT_STREQ(GetHwErrorStatusStringA(74), "LED Read Error EEPROM ");
    EXPECT_STREQ(GetHwErrorStatusStringA(75), "UnitType Read Error EEPROM ");
    EXPECT_STREQ(GetHwErrorStatusStringA(4), "SUS3Read Error");
    EXPECT_STREQ(GetHwErrorStatusStringA(25), "5VRead Error");
    EXPECT_STREQ(GetHwErrorStatusStringA(118), "TIMERRead Error");
    EXPECT_STREQ(GetHwErrorStatusStringA(123), "SWVerRead Error");
    EXPECT_STREQ(GetHwErrorStatusStringA(1), "FPGA CONF Read Error");
    EXPECT_STREQ(GetHwErrorStatusStringA(2), "FPGACONF Unexpected Value");
}

TEST(HwErrorText, CodesFrom132OnAreUnknown) {
    for (int32_t code : {132, 133, 200, 0xFFFF, -1, 0x7FFF, 0x8000}) {
        EXPECT_STREQ(GetHwErrorStatusStringA(code), "Unknown error code") << code;
        EXPECT_EQ(asciiOf(GetHwErrorStatusStringW(code)), "Unknown error code") << code;
    }
    // Every unknown code shares the one text.
    EXPECT_EQ(GetHwErrorStatusStringA(132), GetHwErrorStatusStringA(-1));
}

TEST(HwErrorText, OnlyTheLow16BitsCount) {
    EXPECT_EQ(asciiOf(GetHwErrorStatusStringW(0x10005)), "SUS4Read Error");
    EXPECT_STREQ(GetHwErrorStatusStringA(static_cast<int32_t>(0xFFFF0000u)), "No Error");
    EXPECT_STREQ(GetHwErrorStatusStringA(static_cast<int32_t>(0x80000083u)), "TimeOut Waiting For Supply Voltages");
    EXPECT_STREQ(GetHwErrorStatusStringA(0x10084), "Unknown error code");
    EXPECT_EQ(GetHwErrorStatusStringA(0x20010), GetHwErrorStatusStringA(0x10));
    EXPECT_EQ(GetHwErrorStatusStringW(0x20010), GetHwErrorStatusStringW(0x10));
}

TEST(HwErrorText, SameCodeSamePointer) {
    for (int32_t code : {0, 53, 131, 132, -1}) {
        EXPECT_EQ(GetHwErrorStatusStringA(code), GetHwErrorStatusStringA(code));
        EXPECT_EQ(GetHwErrorStatusStringW(code), GetHwErrorStatusStringW(code));
    }
}

TEST(StartupReasonText, EveryLow16BitCodeMapsToItsText) {
    for (uint32_t code = 0; code <= 0xFFFF; ++code) {
        const std::string want = startupText(code);
        const int32_t arg = static_cast<int32_t>(code);
        ASSERT_EQ(std::string(GetStartupReasonStringA(arg)), want) << code;
        ASSERT_EQ(asciiOf(GetStartupReasonStringW(arg)), want) << code;
    }
}

TEST(StartupReasonText, HighBitsIgnoredAndPointersStable) {
    EXPECT_STREQ(GetStartupReasonStringA(0x100AA), "External Control Signal");
    EXPECT_STREQ(GetStartupReasonStringA(static_cast<int32_t>(0xFFFF000Fu)), "Power on start-up");
    EXPECT_STREQ(GetStartupReasonStringA(static_cast<int32_t>(0xABCD00F0u)), "OS Restart");
    EXPECT_EQ(asciiOf(GetStartupReasonStringW(0)), "Unknown");
    EXPECT_EQ(asciiOf(GetStartupReasonStringW(-1)), "Unknown");
    EXPECT_EQ(GetStartupReasonStringA(0x55), GetStartupReasonStringA(0x10055));
    EXPECT_EQ(GetStartupReasonStringW(0x55), GetStartupReasonStringW(0x55));
    EXPECT_EQ(GetStartupReasonStringA(1), GetStartupReasonStringA(2)); // one "Unknown"
}

class MessagesCliTest : public tavik::test::SimTest {};

TEST_F(MessagesCliTest, TavikctlPrintsTheTexts) {
    std::string out;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " messages hw-error 0x10005", &out), 0) << out;
    EXPECT_EQ(out, "SUS4Read Error\n");
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " messages hw-error 74", &out), 0) << out;
    EXPECT_EQ(out, "LED Read Error EEPROM \n");
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " --json messages startup 240", &out), 0) << out;
    const auto doc = tavik::sim::json::parse(out);
    EXPECT_EQ(doc["code"], 240);
    EXPECT_EQ(doc["message"], "OS Restart");
    EXPECT_NE(run(tavik::test::binPath("tavikctl") + " messages startup twelve", &out), 0);
}

} // namespace
