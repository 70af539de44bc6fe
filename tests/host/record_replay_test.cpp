// Recording the library's outside requests (TAVIK_RECORD) and replaying them on a fresh unit:
// the same calls give the same results, faults included; strict replay names the first request
// that differs; each kind of outside call round-trips; damaged traces are refused by line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/serial.h"
#include "shared/record_cases.h"
#include "sim/bootloader.h"
#include "sim/driver.h"
#include "sim/remote_client.h"
#include "sim/remote_server.h"
#include "sim/replay.h"
#include "sim/replay_trace.h"
#include "support/sim_fixture.h"

namespace {

namespace sim = tavik::sim;
namespace platform = tavik::platform;
namespace cases = tavik::test::record_cases;
using json = nlohmann::json;

class RecordReplayTest : public tavik::test::SimTest {
protected:
    void TearDown() override {
        ::unsetenv("TAVIK_RECORD");
        ::unsetenv("TAVIK_RECORD_LIMIT");
        SimTest::TearDown();
    }
    std::string trace(const std::string& name = "trace.jsonl") const { return home() + "/" + name; }

    template <class Calls>
    auto recorded(const std::string& path, Calls calls) {
        ::setenv("TAVIK_RECORD", path.c_str(), 1);
        auto result = calls();
        ::unsetenv("TAVIK_RECORD");
        return result;
    }
    void addFaults() {
        unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", cases::kFailedRequest}, {"action", "fail"}});
        unit().addFault({{"target", "service"}, {"code", 0}, {"action", "refusing"}});
    }
    // The first recorded request of `kind` (and code), from the parsed trace.
    static const sim::TraceRequest& first(const sim::Trace& t, const std::string& kind, uint32_t code = 0) {
        for (const auto& r : t.requests)
            if (r.data["kind"] == kind && (code == 0 || r.data.value("code", 0u) == code)) return r;
        throw std::runtime_error("no " + kind + " in the trace");
    }
};

TEST_F(RecordReplayTest, RecordedCallsReplayOnAFreshUnitWithTheirFaults) {
    addFaults();
    const cases::Results plain = cases::run();
    unit().reset();
    addFaults();
    const cases::Results withRecording = recorded(trace(), cases::run);
    EXPECT_EQ(withRecording, plain) << "recording changed a result";
    EXPECT_NE(plain[4].second, ERR_SUCCESS) << "the device fault is in the results";
    EXPECT_NE(plain[3].second, ERR_SUCCESS) << "the service fault is in the results";

    const sim::Trace t = sim::readTraceFile(trace());
    ASSERT_EQ(t.headers.size(), 1u);
    EXPECT_EQ(t.headers[0]["tavik_trace"], 1);
    for (const char* stream : {"device \\\\.\\TavikDrv", "board 81", "service TavikService"})
        EXPECT_TRUE(t.streams.count(stream)) << stream;
    EXPECT_NO_THROW(first(t, "reg_query"));

    unit().reset(); // no faults: the models alone would answer otherwise
    sim::startReplay(trace(), sim::ReplayMode::Strict);
    EXPECT_EQ(cases::run(), withRecording);
    const json status = sim::replayStatus();
    EXPECT_EQ(status["matched"], t.requests.size());
    EXPECT_EQ(status["failed"], 0);
    EXPECT_TRUE(status["first_difference"].is_null()) << status.dump();
}

TEST_F(RecordReplayTest, StrictReplayFailsTheFirstDifferingRequestAndNamesItsLine) {
    recorded(trace(), cases::run);
    const sim::Trace t = sim::readTraceFile(trace());
    const size_t line = first(t, "ioctl", 0x22241C).line; // Backlight_setIntensity(120)

    sim::startReplay(trace(), sim::ReplayMode::Strict);
    Tavik2Backlight* b = GetBacklight();
    EXPECT_EQ(Backlight_setIntensity(b, cases::kLevel + 1), ERR_IOCTRL_FAILED);
    const json d = sim::replayStatus()["first_difference"];
    EXPECT_EQ(d["line"], line) << d.dump();
    EXPECT_NE(d["what"].get<std::string>().find("in \"79\" where the trace has \"78\""), std::string::npos) << d.dump();
    const auto log = requests("replay");
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().note.find("trace line " + std::to_string(line)), std::string::npos) << log.back().note;
    Backlight_release(b);

    sim::startReplay(trace(), sim::ReplayMode::Loose); // the models answer what differs
    b = GetBacklight();
    EXPECT_EQ(Backlight_setIntensity(b, cases::kLevel + 1), ERR_SUCCESS);
    EXPECT_EQ(sim::replayStatus()["fallbacks"], 1);
    Backlight_release(b);
}

TEST_F(RecordReplayTest, ReplayStateIsSharedByProcessesAndEndsWithOff) {
    const cases::Results expected = recorded(trace(), cases::run);
    const std::string ctl = tavik::test::binPath("tavikctl");
    ASSERT_EQ(run(ctl + " sim replay " + trace()), 0);
    EXPECT_EQ(cases::run(), expected); // started by another process, answered here
    std::string out;
    ASSERT_EQ(run(ctl + " --json sim replay --status", &out), 0);
    const json status = json::parse(out);
    EXPECT_EQ(status["matched"], status["requests"]) << out;
    ASSERT_EQ(run(ctl + " sim replay --off"), 0);
    EXPECT_FALSE(sim::replayOn());
    EXPECT_EQ(sim::replayStatus()["active"], false);
}

TEST_F(RecordReplayTest, ResetEndsTheReplay) {
    recorded(trace(), cases::run);
    sim::startReplay(trace(), sim::ReplayMode::Strict);
    Tavik2Backlight* b = GetBacklight(); // the replay holds this process's positions from here
    unit().reset();
    EXPECT_FALSE(sim::replayOn());
    EXPECT_EQ(Backlight_setIntensity(b, cases::kLevel + 1), ERR_SUCCESS); // the models answer
    EXPECT_EQ(sim::replayStatus()["active"], false);
    Backlight_release(b);
}

TEST_F(RecordReplayTest, ServedUnitReplaysToRemoteClients) {
    std::ofstream(trace()) << R"({"tavik_trace":1,"library":"x","time":"t","pid":7}
{"seq":1,"pid":7,"t":0,"kind":"device_open","dev":"\\\\.\\TavikDrv","ok":true}
{"seq":2,"pid":7,"t":1,"kind":"ioctl","dev":"\\\\.\\TavikDrv","code":2237464,"in":"","out_size":1,"out":"2a","ret":1,"ok":true}
{"seq":3,"pid":7,"t":2,"kind":"ioctl","dev":"\\\\.\\TavikDrv","code":2237468,"in":"78","out_size":0,"out":"","ret":0,"ok":true}
)";
    sim::startReplay(trace(), sim::ReplayMode::Strict);
    sim::RemoteServer server("127.0.0.1", 0);
    std::thread serving([&] { server.run(); });
    {
        sim::RemoteClient c("127.0.0.1", server.port(), true, "app.exe");
        const uint32_t dev = c.deviceOpen(sim::kMainDevice);
        ASSERT_NE(dev, 0u);
        const auto get = c.deviceControl(dev, 0x222418, {}, 1); // Backlight get intensity
        EXPECT_TRUE(get.ok);
        EXPECT_EQ(get.out, std::vector<uint8_t>{0x2a});
        EXPECT_FALSE(c.deviceControl(dev, 0x22241C, {0x79}, 0).ok); // set intensity 121 where 120 was recorded
        const auto log = requests("replay");
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].client, "remote " + c.localEndpoint() + " (app.exe)");
        EXPECT_NE(log[0].note.find("trace line 4"), std::string::npos) << log[0].note;
    }
    server.stop();
    serving.join();
    EXPECT_EQ(sim::replayStatus()["matched"], 2);
}

TEST_F(RecordReplayTest, SerialTrafficRoundTrips) {
    auto talk = [](uint8_t byte) {
        json r;
        platform::SerialHandle port = platform::openSerialPort("COM1");
        r["open"] = port.valid();
        platform::SerialTimeouts t;
        t.readInterval = t.readTotalMultiplier = platform::kSerialNoLimit;
        t.readTotalConstant = 2000;
        r["timeouts"] = platform::setSerialTimeouts(port, t);
        uint32_t written = 0, got = 0;
        r["write"] = platform::writeSerial(port, &byte, 1, written);
        uint8_t reply[4] = {};
        r["read"] = platform::readSerial(port, reply, sizeof reply, got);
        r["reply"] = std::vector<uint8_t>(reply, reply + got);
        platform::closeSerialPort(port);
        return r;
    };
    json live;
    {
        sim::SerialLineServer bootloader(sim::LineTarget::SystemSupervisor);
        ::setenv("TAVIK_COM1", bootloader.path().c_str(), 1);
        live = recorded(trace(), [&] { return talk(0x7F); }); // synchronisation: ACK
        ::unsetenv("TAVIK_COM1");
    }
    EXPECT_EQ(live["reply"], json::array({0x79})) << live.dump();
    unit().reset();
    sim::startReplay(trace(), sim::ReplayMode::Strict);
    EXPECT_EQ(talk(0x7F), live);
    sim::startReplay(trace(), sim::ReplayMode::Strict);
    EXPECT_EQ(talk(0x00)["write"], false); // other bytes than recorded
}

TEST_F(RecordReplayTest, PayloadsAboveTheLimitAreSummarisedAndNotReplayedByteExact) {
    ::setenv("TAVIK_RECORD_LIMIT", "0", 1);
    recorded(trace(), cases::run);
    const sim::Trace t = sim::readTraceFile(trace());
    const json& get = first(t, "ioctl", 0x222418).data; // Backlight_getIntensity: 1 byte out
    EXPECT_EQ(get["out_len"], 1);
    EXPECT_FALSE(get.contains("out"));
    sim::startReplay(trace(), sim::ReplayMode::Strict);
    cases::run();
    const json d = sim::replayStatus()["first_difference"];
    EXPECT_NE(d.value("what", "").find("length and CRC-32"), std::string::npos) << d.dump();
}

TEST_F(RecordReplayTest, DamagedTracesAreRefusedNamingTheLine) {
    const std::string header = "{\"tavik_trace\":1,\"library\":\"x\",\"time\":\"t\",\"pid\":1}\n";
    const std::string open = "{\"seq\":1,\"pid\":1,\"t\":0,\"kind\":\"device_open\",\"dev\":\"d\",\"ok\":true}\n";
    const struct {
        std::string text;
        size_t line;
        const char* says;
    } kCases[] = {
        {"", 1, "empty"},
        {header + open.substr(0, open.size() - 1), 2, "truncated"},
        {header + "{\"seq\":1,\"pid\":1,\"t\":0,\"kind\":\"ioctl\",\"dev\":\"d\"\n", 2, "not a JSON object"},
        {"{\"tavik_trace\":2}\n" + open, 1, "newer"},
        {open, 1, "before the first header"},
        {header + open + "{\"seq\":2,\"pid\":1,\"t\":0,\"kind\":\"teleport\"}\n", 3, "unknown kind"},
        {header + "{\"seq\":1,\"pid\":1,\"t\":0,\"kind\":\"ioctl\",\"dev\":\"d\",\"code\":1,\"in\":\"7g\","
                  "\"out_size\":0,\"out\":\"\",\"ret\":0,\"ok\":true}\n", 2, "\"in\" is not hex"},
        {header + "{\"seq\":1,\"pid\":1,\"t\":0,\"kind\":\"service\",\"name\":\"s\",\"code\":-1,\"result\":\"x\"}\n", 2,
         "\"code\" is not a 32-bit"},
    };
    for (const auto& c : kCases) {
        try {
            sim::parseTrace(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const sim::TraceError& e) {
            EXPECT_EQ(e.line, c.line) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
    // Past crashers and samples of the fuzz corpus: read or refused, never a crash.
    for (const auto& f : std::filesystem::directory_iterator(std::string(TAVIK_SOURCE_DIR) + "/tests/fuzz/corpus/trace")) {
        std::ifstream in(f.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        try {
            sim::parseTrace(text);
        } catch (const sim::TraceError&) {
        }
    }
}

TEST_F(RecordReplayTest, SeveralProcessesRecordWholeLinesAndTheToolReadsThem) {
    const std::string ctl = tavik::test::binPath("tavikctl");
    const std::string all = trace("all.jsonl"), a = trace("a.jsonl"), b = trace("b.jsonl");
    ASSERT_EQ(run("export TAVIK_RECORD=" + all + "; for i in 1 2 3 4; do " + ctl + " backlight & done; wait"), 0);
    const sim::Trace t = sim::readTraceFile(all); // a line cut by another process's would not parse
    EXPECT_EQ(t.headers.size(), 4u);

    std::string out;
    ASSERT_EQ(run(ctl + " sim trace show " + all, &out), 0);
    EXPECT_NE(out.find("Backlight get intensity (0x222418)"), std::string::npos) << out;

    ASSERT_EQ(run("TAVIK_RECORD=" + a + " " + ctl + " backlight set 120"), 0);
    ASSERT_EQ(run("TAVIK_RECORD=" + b + " " + ctl + " backlight set 121"), 0);
    EXPECT_EQ(run(ctl + " sim trace diff " + a + " " + b, &out), 1);
    EXPECT_NE(out.find("Backlight set intensity (0x22241C) in=78"), std::string::npos) << out;
    EXPECT_NE(out.find("Backlight set intensity (0x22241C) in=79"), std::string::npos) << out;
}

} // namespace
