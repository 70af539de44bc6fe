// Telematics family against the simulated port expander and its modules: not-fitted codes,
// initialisation, supply handling, the modem's power-key pulses (from the board log) and the
// start-up keys; the expander's modem model on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "frame/settings_file.h"
#include "platform/host/time_scale.h"
#include "power/telematics.h"
#include "sim/board/expander_device.h"
#include "sim/supervisor.h"
#include "support/sim_fixture.h"
#include "tavik2/telematics.h"

namespace {

using tavik::sim::json;
using tavik::sim::LogEntry;
using tavik::sim::board::ExpanderDevice;
using Varnholtstad::Telematics;
using namespace tavik::power;

constexpr uint32_t kReadOrdinal = 33;
constexpr uint32_t kWriteOrdinal = 34;

class TelematicsTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        forgetFittedTelematics();
    }
    void TearDown() override {
        if (h_ != nullptr) Telematics_release(h_);
        tavik::platform::host::setTimeScale(1000);
        SimTest::TearDown();
    }
    Telematics* open() {
        h_ = GetTelematics();
        return h_;
    }
    json expander() { return unit().getValue("board.expander"); }
    void setDirection(uint8_t value) {
        unit().transact([&](tavik::sim::Txn& t) { t.edit("board")["expander"]["registers"][0] = value; });
    }
    // Port register writes since log sequence `since`.
    std::vector<LogEntry> portWrites(uint64_t since = 0) {
        std::vector<LogEntry> out;
        for (const LogEntry& e : requests("board"))
            if (e.seq > since && e.code == kWriteOrdinal && e.in.size() == 2 && e.in[0] == kExpanderPortRegister)
                out.push_back(e);
        return out;
    }
    uint64_t lastSeq() {
        const auto log = unit().readLog();
        return log.empty() ? 0 : log.back().seq;
    }
    std::string setting(const std::string& key) {
        tavik::frame::SettingsFile s;
        s.load();
        return s.get(key);
    }
    Telematics* h_ = nullptr;
};

TEST_F(TelematicsTest, UnitWithoutModulesGivesNotFittedCodesBeforeAnythingElse) {
    loadProfile("no-telematics");
    ASSERT_NE(open(), nullptr);
    int32_t v = 7;
    EXPECT_EQ(Telematics_getTelematicsAvailable(h_, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 0);
    const uint64_t before = lastSeq();
    struct Case {
        std::function<ErrorCode()> call;
        ErrorCode code;
    };
    const Case cases[] = {
        {[&] { return Telematics_getGPRSPowerStatus(h_, nullptr); }, ERR_TELEMATICS_GPRS_NOT_AVAILABLE},
        {[&] { return Telematics_setGPRSPowerStatus(h_, 1); }, ERR_TELEMATICS_GPRS_NOT_AVAILABLE},
        {[&] { return Telematics_getGPRSStartUpPowerStatus(h_, nullptr); }, ERR_TELEMATICS_GPRS_NOT_AVAILABLE},
        {[&] { return Telematics_setWLANPowerStatus(h_, 1); }, ERR_TELEMATICS_WLAN_NOT_AVAILABLE},
        {[&] { return Telematics_setWLANStartUpPowerStatus(h_, 1); }, ERR_TELEMATICS_WLAN_NOT_AVAILABLE},
        {[&] { return Telematics_getBTPowerStatus(h_, nullptr); }, ERR_TELEMATICS_BT_NOT_AVAILABLE},
        {[&] { return Telematics_setBTStartUpPowerStatus(h_, 0); }, ERR_TELEMATICS_BT_NOT_AVAILABLE},
        {[&] { return Telematics_getGPSAntennaStatus(h_, nullptr); }, ERR_TELEMATICS_GPS_NOT_AVAILABLE},
        {[&] { return Telematics_setGPSPowerStatus(h_, 0); }, ERR_TELEMATICS_GPS_NOT_AVAILABLE},
    };
    for (const Case& c : cases) EXPECT_EQ(c.call(), c.code);
    EXPECT_TRUE(portWrites(before).empty());
    EXPECT_EQ(setting("WLANPowerAtStartup"), "");
}

TEST_F(TelematicsTest, FailedAboutQueryCountsAsNotFitted) {
    unit().addFault({{"target", "board"}, {"code", 0}, {"action", "fail"}});
    int32_t v = 7;
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(Telematics_getTelematicsAvailable(h_, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(Telematics_getWLANPowerStatus(h_, &v), ERR_TELEMATICS_WLAN_NOT_AVAILABLE);
}

// A fresh board (direction 0xFF) is programmed once; 0x0C and 0x8C count as done.
TEST_F(TelematicsTest, ExpanderIsInitialisedOnlyWhenTheDirectionRegisterShowsItIsNot) {
    for (uint8_t direction : {0x0C, 0x8C, 0xFF, 0x00}) {
        SCOPED_TRACE(static_cast<int>(direction));
        unit().reset();
        setDirection(direction);
        const uint64_t before = lastSeq();
        Telematics* h = GetTelematics();
        ASSERT_NE(h, nullptr);
        int32_t gps = 7;
        EXPECT_EQ(Telematics_getGPSPowerStatus(h, &gps), ERR_SUCCESS);
        Telematics_release(h);
        size_t directionWrites = 0;
        for (const LogEntry& e : requests("board"))
            if (e.seq > before && e.code == kWriteOrdinal && e.in[0] == kExpanderDirectionRegister) ++directionWrites;
        const bool programmed = (direction & 0x7F) != 0x0C;
        EXPECT_EQ(directionWrites, programmed ? 2u : 0u);
        if (programmed) {
            // Direction 0x0C in the end, everything off, and the GPS pulsed on and off once.
            const json x = expander();
            EXPECT_EQ(x["registers"][0], 0x0C);
            EXPECT_EQ(x["registers"][0x0A].get<int>() & 0xF3, 0);
            int pulses = 0;
            uint8_t last = 0;
            for (const LogEntry& e : portWrites(before)) {
                if ((e.in[1] & kGpsPower) && !(last & kGpsPower)) ++pulses;
                last = e.in[1];
            }
            EXPECT_EQ(pulses, 1);
        }
        EXPECT_EQ(gps, 0);
    }
}

// The supply stays on while any module is; the last one off clears it. Only 1 means on.
TEST_F(TelematicsTest, SupplyFollowsTheLastModuleOn) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(Telematics_setWLANPowerStatus(h_, 1), ERR_SUCCESS);
    EXPECT_EQ(Telematics_setBTPowerStatus(h_, 1), ERR_SUCCESS);
    EXPECT_TRUE(expander()["modules"]["wlan"].get<bool>());
    EXPECT_EQ(Telematics_setWLANPowerStatus(h_, 0), ERR_SUCCESS);
    json m = expander()["modules"];
    EXPECT_TRUE(m["supply"].get<bool>());
    EXPECT_FALSE(m["wlan"].get<bool>());
    EXPECT_TRUE(m["bt"].get<bool>());
    EXPECT_EQ(Telematics_setBTPowerStatus(h_, 2), ERR_SUCCESS);
    m = expander()["modules"];
    EXPECT_FALSE(m["bt"].get<bool>());
    EXPECT_FALSE(m["supply"].get<bool>());
    int32_t v = 7;
    EXPECT_EQ(Telematics_getBTPowerStatus(h_, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(Telematics_getGPSAntennaStatus(h_, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(Telematics_getGPSAntennaStatus(h_, nullptr), ERR_INVALID_PARAMETER);
}

TEST_F(TelematicsTest, ExpanderFailuresGiveTheirCodes) {
    ASSERT_NE(open(), nullptr);
    int32_t v = 0;
    unit().addFault({{"target", "board"}, {"code", kReadOrdinal}, {"action", "fail"}, {"remaining", 1}});
    EXPECT_EQ(Telematics_getWLANPowerStatus(h_, &v), ERR_I2C_EXPANDER_INIT_FAILED);
    unit().addFault({{"target", "board"}, {"code", kReadOrdinal}, {"action", "fail"}, {"skip", 1}, {"remaining", 1}});
    EXPECT_EQ(Telematics_getWLANPowerStatus(h_, &v), ERR_I2C_EXPANDER_READ_FAILED);
    unit().addFault({{"target", "board"}, {"code", kWriteOrdinal}, {"action", "fail"}});
    EXPECT_EQ(Telematics_setWLANPowerStatus(h_, 1), ERR_I2C_EXPANDER_WRITE_FAILED);
}

// Power-key pulses as the board log shows them: 0 -> 1 for 1100 ms -> 0 to switch on, 2100 ms to
// switch off, none when the modem already is as asked. Time runs only 4 times faster here, so the
// pulse lengths measured from the log tell the two lengths apart even on a loaded machine.
TEST_F(TelematicsTest, ModemSwitchesOnlyWithPowerKeyPulsesOfTheRightLength) {
    constexpr double kScale = 4;
    ASSERT_NE(open(), nullptr);
    tavik::platform::host::setTimeScale(kScale);
    auto pulse = [&](uint64_t since) -> double {
        const std::vector<LogEntry> writes = portWrites(since);
        int64_t downUs = -1;
        double lengthMs = -1;
        for (const LogEntry& e : writes) {
            if ((e.in[1] & kGprsPowerKey) && downUs < 0) downUs = e.timeUs;
            else if (!(e.in[1] & kGprsPowerKey) && downUs >= 0) lengthMs = (e.timeUs - downUs) / 1000.0 * kScale;
        }
        return lengthMs;
    };
    for (const auto& [request, lengthMs] : {std::pair{1, 1100.0}, std::pair{0, 2100.0}}) {
        SCOPED_TRACE(request);
        uint64_t before = lastSeq();
        EXPECT_EQ(Telematics_setGPRSPowerStatus(h_, request), ERR_SUCCESS);
        const double measured = pulse(before);
        EXPECT_GE(measured, lengthMs);
        EXPECT_LT(measured, lengthMs * 1.4);
        EXPECT_EQ(expander()["modem"]["on"].get<bool>(), request == 1);
        int32_t state = 7;
        EXPECT_EQ(Telematics_getGPRSPowerStatus(h_, &state), ERR_SUCCESS);
        EXPECT_EQ(state, request);
        // Asked again: sensed as it is, no pulse.
        before = lastSeq();
        EXPECT_EQ(Telematics_setGPRSPowerStatus(h_, request), ERR_SUCCESS);
        EXPECT_LT(pulse(before), 0);
    }
    EXPECT_FALSE(expander()["modules"]["supply"].get<bool>());
}

// The modem switched off as the last module: its off pulse comes first, and the supply is cut
// only once the modem shows off, so that it shuts down instead of losing power.
TEST_F(TelematicsTest, LastModuleOffPulsesTheModemBeforeCuttingTheSupply) {
    constexpr double kScale = 4; // the modem measures the press in unit time
    ASSERT_NE(open(), nullptr);
    tavik::platform::host::setTimeScale(kScale);
    ASSERT_EQ(Telematics_setGPRSPowerStatus(h_, 1), ERR_SUCCESS);
    ASSERT_TRUE(expander()["modem"]["on"].get<bool>());
    const uint64_t before = lastSeq();
    EXPECT_EQ(Telematics_setGPRSPowerStatus(h_, 0), ERR_SUCCESS);
    const std::vector<LogEntry> writes = portWrites(before);
    // Indexes of the key press, its release, and the first write without the supply.
    size_t down = writes.size(), up = writes.size(), cut = writes.size();
    for (size_t i = 0; i < writes.size(); ++i) {
        const uint8_t port = writes[i].in[1];
        if (down == writes.size() && (port & kGprsPowerKey)) down = i;
        else if (down < i && up == writes.size() && !(port & kGprsPowerKey)) up = i;
        if (cut == writes.size() && !(port & kTelematicsSupply)) cut = i;
    }
    ASSERT_LT(up, writes.size());
    EXPECT_LT(up, cut);
    EXPECT_LT(cut, writes.size());
    const json x = expander();
    EXPECT_GE(x["modem"]["last_key_press_ms"].get<int64_t>(), ExpanderDevice::kModemOffMinMs); // off by its key
    EXPECT_FALSE(x["modem"]["on"].get<bool>());
    EXPECT_FALSE(x["modules"]["supply"].get<bool>());
}

// A first port write that fails is reported, not passed over: without the sense line the modem's
// state is unknown (no pulse, which could switch a running modem off), and a module switched on
// without its supply stays off.
TEST_F(TelematicsTest, FailedSenseOrSupplyWriteIsReportedBeforeAnySwitching) {
    ASSERT_NE(open(), nullptr);
    struct Case {
        const char* name;
        std::function<ErrorCode()> call;
        ErrorCode code;
    } cases[] = {
        {"modem on, sense write fails", [&] { return Telematics_setGPRSPowerStatus(h_, 1); }, ERR_IOCTRL_FAILED},
        {"WLAN on, supply write fails", [&] { return Telematics_setWLANPowerStatus(h_, 1); }, ERR_I2C_EXPANDER_WRITE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unit().transact([](tavik::sim::Txn& t) {
            json& x = t.edit("board")["expander"];
            x["registers"][0] = kDirectionInitialised;
            x["registers"][0x0A] = kTelematicsSupply;
            x["modem"]["on"] = true;
        });
        const uint64_t before = lastSeq();
        unit().addFault({{"target", "board"}, {"code", kWriteOrdinal}, {"action", "fail"}, {"remaining", 1}});
        EXPECT_EQ(c.call(), c.code);
        for (const LogEntry& e : portWrites(before)) EXPECT_EQ(e.in[1] & (kGprsPowerKey | kWlanPower), 0);
        EXPECT_TRUE(expander()["modem"]["on"].get<bool>());
        EXPECT_FALSE(expander()["modules"]["wlan"].get<bool>());
        unit().clearFaults();
    }
}

// A start-up key that the settings file does not take is reported; the file stays as it was.
TEST_F(TelematicsTest, StartUpSetterReportsASettingsFileThatCannotBeWritten) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(Telematics_setWLANStartUpPowerStatus(h_, 1), ERR_SUCCESS);
    const std::string before = settingsBytes();
    makeSettingsUnwritable();
    EXPECT_EQ(Telematics_setWLANStartUpPowerStatus(h_, 0), ERR_DEVICE_WRITE_DATA_FAILED);
    EXPECT_EQ(Telematics_setGPSStartUpPowerStatus(h_, 1), ERR_DEVICE_WRITE_DATA_FAILED);
    EXPECT_EQ(settingsBytes(), before);
}

TEST_F(TelematicsTest, StartUpKeysReadOnlyOneAsOn) {
    ASSERT_NE(open(), nullptr);
    int32_t v = 7;
    EXPECT_EQ(Telematics_getGPSStartUpPowerStatus(h_, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(Telematics_setGPSStartUpPowerStatus(h_, 2), ERR_SUCCESS);
    EXPECT_EQ(setting("GPSPowerAtStartup"), "0");
    EXPECT_EQ(Telematics_setGPRSStartUpPowerStatus(h_, 1), ERR_SUCCESS);
    EXPECT_EQ(setting("GPRSPowerAtStartup"), "1");
    for (const auto& [text, expected] : {std::pair{"1", 1}, {"2", 0}, {" 1x", 1}, {"on", 0}}) {
        {
            tavik::frame::SettingsFile s;
            s.load();
            s.set("BTPowerAtStartup", text);
        }
        EXPECT_EQ(Telematics_getBTStartUpPowerStatus(h_, &v), ERR_SUCCESS);
        EXPECT_EQ(v, expected) << text;
    }
}

// A power cycle is a power-up of the board: modules off, and the next access programs the
// expander again.
TEST_F(TelematicsTest, PowerCycleResetsTheExpander) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(Telematics_setWLANPowerStatus(h_, 1), ERR_SUCCESS);
    unit().transact([](tavik::sim::Txn& t) { tavik::sim::powerCycle(t, tavik::sim::kStartupPowerOn); });
    EXPECT_FALSE(expander()["modules"]["wlan"].get<bool>());
    EXPECT_EQ(expander()["registers"][0], 0xFF);
    int32_t v = 7;
    EXPECT_EQ(Telematics_getWLANPowerStatus(h_, &v), ERR_SUCCESS);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(expander()["registers"][0], 0x0C);
}

// The command shows every module, fitted or not, and switches through the family.
TEST_F(TelematicsTest, CommandShowsModulesAndSwitches) {
    const std::string ctl = tavik::test::binPath("tavikctl");
    std::string out;
    ASSERT_EQ(run(ctl + " telematics set bt on", &out), 0) << out;
    ASSERT_EQ(run(ctl + " --json telematics", &out), 0) << out;
    const json shown = json::parse(out);
    EXPECT_EQ(shown["bt"]["power"], "on");
    EXPECT_EQ(shown["wlan"]["power"], "off");
    EXPECT_EQ(shown["gps_antenna"], "connected");
    loadProfile("no-telematics");
    ASSERT_EQ(run(ctl + " --json telematics", &out), 0) << out;
    EXPECT_EQ(json::parse(out)["available"], false);
    EXPECT_NE(run(ctl + " telematics set gps on --at-startup", &out), 0);
    EXPECT_NE(out.find("GPS"), std::string::npos) << out;
}

// The modem model alone: press lengths, sensing, and the supply cutting everything.
TEST(ExpanderModem, ActsOnlyOnPressesOfTheRightLengthWithSupply) {
    ExpanderDevice x;
    auto port = [&](uint8_t v, int64_t atMs) {
        x.setClockMs(atMs);
        const uint8_t w[2] = {ExpanderDevice::kPort, v};
        ASSERT_TRUE(x.write(w, 2));
    };
    const uint8_t dir[2] = {ExpanderDevice::kDirection, 0x0C};
    ASSERT_TRUE(x.write(dir, 2));
    const uint8_t supply = ExpanderDevice::kSupplyPin, key = ExpanderDevice::kModemKeyPin;
    struct Step {
        int64_t pressMs;
        bool on;
    };
    port(supply, 0);
    const Step steps[] = {{500, false}, {2100, false}, {1100, true}, {1100, true}, {2100, false}};
    int64_t t = 10;
    for (const Step& s : steps) {
        port(supply | key, t);
        port(supply, t + s.pressMs);
        t += s.pressMs + 10;
        EXPECT_EQ(x.modemOn(), s.on) << s.pressMs;
    }
    port(supply | key, t);
    port(supply, t + 1000);
    ASSERT_TRUE(x.modemOn());
    // Pin 2 shows the state only while sensing.
    x.setPointer(ExpanderDevice::kPort);
    uint8_t v = 0;
    ASSERT_TRUE(x.read(&v, 1));
    EXPECT_EQ(v & ExpanderDevice::kModemStatePin, 0);
    port(supply | ExpanderDevice::kModemSensePin | ExpanderDevice::kWlanPin, t + 1100);
    x.setPointer(ExpanderDevice::kPort);
    ASSERT_TRUE(x.read(&v, 1));
    EXPECT_NE(v & ExpanderDevice::kModemStatePin, 0);
    EXPECT_TRUE(x.wlanOn());
    port(ExpanderDevice::kWlanPin, t + 1200);
    EXPECT_FALSE(x.modemOn());
    EXPECT_FALSE(x.wlanOn());
}

} // namespace
