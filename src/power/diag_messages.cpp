// Texts of the system supervisor's hardware error codes and of the start-up reasons, with their
// exported lookups.
#include <cstdint>

#include "frame/wide_text.h"
#include "tavik2/messages.h"

namespace tavik::power {
namespace {

// Indexed by the hardware error code. The texts are part of the interface, irregular spacing
// included ("SuspToRAM  Unexpected", "LED Read Error EEPROM ", "SUS3Read Error", ...).
constexpr frame::TextPair kHwErrorMessages[] = {
    TAVIK_TEXT_PAIR("No Error"), // 0
    TAVIK_TEXT_PAIR("FPGA CONF Read Error"), // 1
    TAVIK_TEXT_PAIR("FPGACONF Unexpected Value"), // 2
    TAVIK_TEXT_PAIR("CBRESET Read Error"), // 3
    TAVIK_TEXT_PAIR("SUS3Read Error"), // 4
    TAVIK_TEXT_PAIR("SUS4Read Error"), // 5
    TAVIK_TEXT_PAIR("SUS5Read Error"), // 6
    TAVIK_TEXT_PAIR("PG 5VSTBY Read Error"), // 7
    TAVIK_TEXT_PAIR("PG 5VSTBY Unexpected Value"), // 8
    TAVIK_TEXT_PAIR("CAN PWR OK Read Error"), // 9
    TAVIK_TEXT_PAIR("VID PWR OK Read Error"), // 10
    TAVIK_TEXT_PAIR("LVDS BL EN Read Error"), // 11
    TAVIK_TEXT_PAIR("LVDS VDD EN Read Error"), // 12
    TAVIK_TEXT_PAIR("EXTCTRL ON Read Error"), // 13
    TAVIK_TEXT_PAIR("FPBTN ON Read Error"), // 14
    TAVIK_TEXT_PAIR("24V Read Error"), // 15
    TAVIK_TEXT_PAIR("24V Out Of Limits"), // 16
    TAVIK_TEXT_PAIR("24VIN Read Error"), // 17
    TAVIK_TEXT_PAIR("24VIN Out Of Limits"), // 18
    TAVIK_TEXT_PAIR("12V Read Error"), // 19
    TAVIK_TEXT_PAIR("12V Out Of Limits"), // 20
    TAVIK_TEXT_PAIR("12VVIDEO Read Error"), // 21
    TAVIK_TEXT_PAIR("12VVIDEO Out Of Limits"), // 22
    TAVIK_TEXT_PAIR("5VSTBY Read Error"), // 23
    TAVIK_TEXT_PAIR("5VSTBY Out Of Limits"), // 24
    TAVIK_TEXT_PAIR("5VRead Error"), // 25
    TAVIK_TEXT_PAIR("5V Out Of Limits"), // 26
    TAVIK_TEXT_PAIR("3V3 Read Error"), // 27
    TAVIK_TEXT_PAIR("3V3 Out Of Limits"), // 28
    TAVIK_TEXT_PAIR("TFTVOL Read Error"), // 29
    TAVIK_TEXT_PAIR("TFTVOL Out Of Limits"), // 30
    TAVIK_TEXT_PAIR("1V9 Read Error"), // 31
    TAVIK_TEXT_PAIR("1V9 Out Of Limits"), // 32
    TAVIK_TEXT_PAIR("1V8 Read Error"), // 33
    TAVIK_TEXT_PAIR("1V8 Out Of Limits"), // 34
    TAVIK_TEXT_PAIR("1V5 Read Error"), // 35
    TAVIK_TEXT_PAIR("1V5 Out Of Limits"), // 36
    TAVIK_TEXT_PAIR("1V2 Read Error"), // 37
    TAVIK_TEXT_PAIR("1V2 Out Of Limits"), // 38
    TAVIK_TEXT_PAIR("1V05 Read Error"), // 39
    TAVIK_TEXT_PAIR("1V05 Out Of Limits"), // 40
    TAVIK_TEXT_PAIR("1V0 Read Error"), // 41
    TAVIK_TEXT_PAIR("1V0 Out Of Limits"), // 42
    TAVIK_TEXT_PAIR("0V9 Read Error"), // 43
    TAVIK_TEXT_PAIR("0V9 Out Of Limits"), // 44
    TAVIK_TEXT_PAIR("I2CTEMP Read Error"), // 45
    TAVIK_TEXT_PAIR("I2CTEMP Out Of Limits"), // 46
    TAVIK_TEXT_PAIR("STM32TEMP Read Error"), // 47
    TAVIK_TEXT_PAIR("STM32TEMP Out Of Limits"), // 48
    TAVIK_TEXT_PAIR("BLTYPE Unexpected EEPROM Value"), // 49
    TAVIK_TEXT_PAIR("FPBTN Unexpected EEPROM Value"), // 50
    TAVIK_TEXT_PAIR("EXTCTRL Unexpected EEPROM Value"), // 51
    TAVIK_TEXT_PAIR("LowRange24V Unexpected EEPROM Value"), // 52
    TAVIK_TEXT_PAIR("SuspToRAM  Unexpected EEPROM Value"), // 53
    TAVIK_TEXT_PAIR("CANPWR Unexpected EEPROM Value"), // 54
    TAVIK_TEXT_PAIR("VID1PWR Unexpected EEPROM Value"), // 55
    TAVIK_TEXT_PAIR("VID2PWR Unexpected EEPROM Value"), // 56
    TAVIK_TEXT_PAIR("VID3PWR Unexpected EEPROM Value"), // 57
    TAVIK_TEXT_PAIR("VID4PWR Unexpected EEPROM Value"), // 58
    TAVIK_TEXT_PAIR("EXTFAN Unexpected EEPROM Value"), // 59
    TAVIK_TEXT_PAIR("LED Unexpected EEPROM Value"), // 60
    TAVIK_TEXT_PAIR("UnitType Unexpected EEPROM Value"), // 61
    TAVIK_TEXT_PAIR("BLTYPE Read Error EEPROM"), // 62
    TAVIK_TEXT_PAIR("FPBTN Read Error EEPROM"), // 63
    TAVIK_TEXT_PAIR("EXTCTRL Read Error EEPROM"), // 64
    TAVIK_TEXT_PAIR("MaxSuspTime Read Error EEPROM"), // 65
    TAVIK_TEXT_PAIR("LowRange24V Read Error EEPROM"), // 66
    TAVIK_TEXT_PAIR("SuspToRAM Read Error EEPROM"), // 67
    TAVIK_TEXT_PAIR("CANPWR Read Error EEPROM"), // 68
    TAVIK_TEXT_PAIR("VID1PWR Read Error EEPROM"), // 69
    TAVIK_TEXT_PAIR("VID2PWR Read Error EEPROM"), // 70
    TAVIK_TEXT_PAIR("VID3PWR Read Error EEPROM"), // 71
    TAVIK_TEXT_PAIR("VID4PWR Read Error EEPROM"), // 72
    TAVIK_TEXT_PAIR("EXTFAN Read Error EEPROM"), // 73
    TAVIK_TEXT_PAIR("LED Read Error EEPROM "), // 74
    TAVIK_TEXT_PAIR("UnitType Read Error EEPROM "), // 75
    TAVIK_TEXT_PAIR("RCCInit"), // 76
    TAVIK_TEXT_PAIR("DriverInit"), // 77
    TAVIK_TEXT_PAIR("SetSUPPLYRESET"), // 78
    TAVIK_TEXT_PAIR("RelSUPPLYRESET"), // 79
    TAVIK_TEXT_PAIR("SetSYSRESET"), // 80
    TAVIK_TEXT_PAIR("RelSYSRESET"), // 81
    TAVIK_TEXT_PAIR("SetPWRBTN"), // 82
    TAVIK_TEXT_PAIR("RelPWRBTN"), // 83
    TAVIK_TEXT_PAIR("OnBL"), // 84
    TAVIK_TEXT_PAIR("OffBL"), // 85
    TAVIK_TEXT_PAIR("EXTFANOn"), // 86
    TAVIK_TEXT_PAIR("EXTFANOff"), // 87
    TAVIK_TEXT_PAIR("PWRENOn"), // 88
    TAVIK_TEXT_PAIR("PWRENOff"), // 89
    TAVIK_TEXT_PAIR("MPPWRENOn"), // 90
    TAVIK_TEXT_PAIR("MPPWRENOff"), // 91
    TAVIK_TEXT_PAIR("CANPWRENOn"), // 92
    TAVIK_TEXT_PAIR("CANPWRENOff"), // 93
    TAVIK_TEXT_PAIR("VID1PWRENOn"), // 94
    TAVIK_TEXT_PAIR("VID1PWRENOff"), // 95
    TAVIK_TEXT_PAIR("VID2PWRENOn"), // 96
    TAVIK_TEXT_PAIR("VID2PWRENOff"), // 97
    TAVIK_TEXT_PAIR("VID3PWRENOn"), // 98
    TAVIK_TEXT_PAIR("VID3PWRENOff"), // 99
    TAVIK_TEXT_PAIR("VID4PWRENOn"), // 100
    TAVIK_TEXT_PAIR("VID4PWRENOff"), // 101
    TAVIK_TEXT_PAIR("HEATACTOn"), // 102
    TAVIK_TEXT_PAIR("HEATACTOff"), // 103
    TAVIK_TEXT_PAIR("SetLEDCol"), // 104
    TAVIK_TEXT_PAIR("SetLEDFreq"), // 105
    TAVIK_TEXT_PAIR("ManageLED"), // 106
    TAVIK_TEXT_PAIR("ManageCANPwr"), // 107
    TAVIK_TEXT_PAIR("ManageMPPwr"), // 108
    TAVIK_TEXT_PAIR("ManageVidPwr"), // 109
    TAVIK_TEXT_PAIR("ManagePowSup"), // 110
    TAVIK_TEXT_PAIR("ManageReset"), // 111
    TAVIK_TEXT_PAIR("SSState"), // 112
    TAVIK_TEXT_PAIR("VarWrapAround"), // 113
    TAVIK_TEXT_PAIR("FPBTN Unexpected Value"), // 114
    TAVIK_TEXT_PAIR("EXTCTRL Unexpected Value"), // 115
    TAVIK_TEXT_PAIR("MAINPWROK Read Error"), // 116
    TAVIK_TEXT_PAIR("FRONTSPARE Read Error"), // 117
    TAVIK_TEXT_PAIR("TIMERRead Error"), // 118
    TAVIK_TEXT_PAIR("ManageDiagnostics"), // 119
    TAVIK_TEXT_PAIR("FPBTNTimOut Read Error EEPROM"), // 120
    TAVIK_TEXT_PAIR("EXTCTRLTimOut Read Error EEPROM"), // 121
    TAVIK_TEXT_PAIR("FPBTNAndExtCtrlDisabled"), // 122
    TAVIK_TEXT_PAIR("SWVerRead Error"), // 123
    TAVIK_TEXT_PAIR("SWVerWrite Error"), // 124
    TAVIK_TEXT_PAIR("ManageActDeAct"), // 125
    TAVIK_TEXT_PAIR("TickTimeOutTimer"), // 126
    TAVIK_TEXT_PAIR("OperateModeStateError"), // 127
    TAVIK_TEXT_PAIR("Heating Temperature Read Error EEPROM"), // 128
    TAVIK_TEXT_PAIR("MP could not be started"), // 129
    TAVIK_TEXT_PAIR("Read Error EEPROM"), // 130
    TAVIK_TEXT_PAIR("TimeOut Waiting For Supply Voltages"), // 131
};
constexpr uint32_t kHwErrorCount = 132;
static_assert(sizeof(kHwErrorMessages) / sizeof(kHwErrorMessages[0]) == kHwErrorCount,
              "one text per hardware error code 0..131");

constexpr frame::TextPair kUnknownHwError = TAVIK_TEXT_PAIR("Unknown error code");

// Start-up reason codes as the supervisor reports them.
struct StartupReason {
    uint16_t code;
    frame::TextPair text;
};
constexpr StartupReason kStartupReasons[] = {
    {0x0F, TAVIK_TEXT_PAIR("Power on start-up")},
    {0x55, TAVIK_TEXT_PAIR("Front Panel Button")},
    {0xAA, TAVIK_TEXT_PAIR("External Control Signal")},
    {0xF0, TAVIK_TEXT_PAIR("OS Restart")},
};
constexpr frame::TextPair kUnknownStartupReason = TAVIK_TEXT_PAIR("Unknown");

// Only the low 16 bits of the argument carry the code; the supervisor's record field is 16 bits wide.
constexpr uint16_t low16(int32_t code) { return static_cast<uint16_t>(static_cast<uint32_t>(code) & 0xFFFFu); }

const frame::TextPair& hwErrorMessage(int32_t code) {
    const uint16_t c = low16(code);
    return c < kHwErrorCount ? kHwErrorMessages[c] : kUnknownHwError;
}

const frame::TextPair& startupReasonMessage(int32_t code) {
    const uint16_t c = low16(code);
    for (const StartupReason& r : kStartupReasons)
        if (r.code == c) return r.text;
    return kUnknownStartupReason;
}

} // namespace
} // namespace tavik::power

TAVIK_API const char* TAVIK_CALL GetHwErrorStatusStringA(int32_t code) {
    return tavik::power::hwErrorMessage(code).narrow;
}

TAVIK_API const TavikWChar* TAVIK_CALL GetHwErrorStatusStringW(int32_t code) {
    return tavik::power::hwErrorMessage(code).wide;
}

TAVIK_API const char* TAVIK_CALL GetStartupReasonStringA(int32_t code) {
    return tavik::power::startupReasonMessage(code).narrow;
}

TAVIK_API const TavikWChar* TAVIK_CALL GetStartupReasonStringW(int32_t code) {
    return tavik::power::startupReasonMessage(code).wide;
}
