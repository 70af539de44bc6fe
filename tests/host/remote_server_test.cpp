// The unit served over TCP: framing robustness, the log naming the client, faults, board calls,
// service control, per-connection board sessions, and the `tavikctl sim serve` command.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "frame/request_index.h"
#include "sim/driver.h"
#include "sim/remote_client.h"
#include "sim/remote_server.h"
#include "sim/service_model.h"
#include "support/sim_fixture.h"

namespace tavik::test {
namespace {

namespace proto = platform::remote;
using proto::Kind;
using sim::RemoteClient;

constexpr uint32_t kFpgaVersion = frame::requestCode(0x93C);
constexpr uint32_t kBacklightSet = frame::requestCode(0x907);

std::vector<uint8_t> frameBytes(uint16_t kind, const std::vector<uint8_t>& payload, uint32_t magic = proto::kMagic,
                                uint16_t version = proto::kVersion, int64_t length = -1) {
    proto::Header h;
    h.magic = magic;
    h.version = version;
    h.kind = kind;
    h.id = 7;
    h.length = length < 0 ? static_cast<uint32_t>(payload.size()) : static_cast<uint32_t>(length);
    std::vector<uint8_t> out(proto::kHeaderSize + payload.size());
    proto::encodeHeader(h, out.data());
    std::copy(payload.begin(), payload.end(), out.begin() + proto::kHeaderSize);
    return out;
}

uint16_t k(Kind kind) { return static_cast<uint16_t>(kind); }

std::vector<uint8_t> boardPayload(uint32_t ordinal, std::vector<uint8_t> data = {}, uint32_t readLength = 0) {
    proto::Writer w;
    w.u32(ordinal);
    for (uint32_t i = 0; i < proto::kBoardArgs; ++i) w.u32(0);
    w.u32(0).bytes(data.data(), static_cast<uint32_t>(data.size())).u32(readLength);
    return w.data();
}

class RemoteServerTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        server_ = std::make_unique<sim::RemoteServer>("127.0.0.1", 0);
        thread_ = std::thread([this] { server_->run(); });
    }
    void TearDown() override {
        server_->stop();
        thread_.join();
        server_.reset();
        SimTest::TearDown();
    }
    std::unique_ptr<RemoteClient> connect(bool hello = true, const std::string& description = "test client") {
        return std::make_unique<RemoteClient>("127.0.0.1", server_->port(), hello, description);
    }
    // The FPGA version through a client, as bytes.
    static std::vector<uint8_t> fpgaVersion(RemoteClient& c) {
        const uint32_t dev = c.deviceOpen(sim::kMainDevice);
        EXPECT_NE(dev, 0u);
        const auto r = c.deviceControl(dev, kFpgaVersion, {}, 4);
        c.deviceClose(dev);
        return r.ok ? r.out : std::vector<uint8_t>{};
    }

    std::unique_ptr<sim::RemoteServer> server_;
    std::thread thread_;
};

TEST_F(RemoteServerTest, MalformedFramesCloseOnlyTheirConnection) {
    struct Case {
        const char* what;
        bool hello; // sent after a good Hello
        std::vector<uint8_t> bytes;
        bool cut;   // the client hangs up after sending
    };
    const std::vector<uint8_t> openPayload = proto::Writer().text(sim::kMainDevice).data();
    std::vector<uint8_t> helloExtra = proto::Writer().u32(1).text("x").data();
    helloExtra.push_back(0);
    const std::vector<uint8_t> shortControl = proto::Writer().u32(1).u32(kFpgaVersion).bytes("", 0).data();
    const std::vector<uint8_t> hugeOut = proto::Writer().u32(1).u32(kFpgaVersion).bytes("", 0).u32(proto::kMaxPayload).data();
    proto::Writer oddClass; // board count with a class name of 3 bytes
    oddClass.u32(55);
    for (uint32_t i = 0; i < proto::kBoardArgs; ++i) oddClass.u32(0);
    oddClass.u32(1).bytes("abc", 3).bytes("", 0).u32(0);
    const std::vector<uint8_t> header = frameBytes(k(Kind::DeviceOpen), openPayload);
    const Case cases[] = {
        {"wrong magic", true, frameBytes(k(Kind::DeviceOpen), openPayload, 0x12345678), false},
        {"wrong version", true, frameBytes(k(Kind::DeviceOpen), openPayload, proto::kMagic, 2), false},
        {"kind 0", true, frameBytes(0, {}), false},
        {"kind past the last", true, frameBytes(proto::kHighestKind + 1, {}), false},
        {"a reply sent as request", true, frameBytes(k(Kind::DeviceOpen) | proto::kReplyFlag, openPayload), false},
        {"length over the limit", true, frameBytes(k(Kind::DeviceOpen), {}, proto::kMagic, proto::kVersion, proto::kMaxPayload + 1), false},
        {"first request not Hello", false, frameBytes(k(Kind::DeviceOpen), openPayload), false},
        {"Hello with a byte left over", false, frameBytes(k(Kind::Hello), helloExtra), false},
        {"short payload", true, frameBytes(k(Kind::DeviceControl), shortControl), false},
        {"out size no reply can carry", true, frameBytes(k(Kind::DeviceControl), hugeOut), false},
        {"UTF-16 text of odd length", true, frameBytes(k(Kind::BoardCall), oddClass.data()), false},
        {"unknown board ordinal", true, frameBytes(k(Kind::BoardCall), boardPayload(2)), false},
        {"temperature record not 44 bytes", true, frameBytes(k(Kind::BoardCall), boardPayload(80, {44, 0, 0, 0})), false},
        {"cut in the header", true, std::vector<uint8_t>(header.begin(), header.begin() + 9), true},
        {"cut in the payload", true, std::vector<uint8_t>(header.begin(), header.end() - 2), true},
    };

    // Connections that say nothing, or stop halfway through a frame, hold up nobody.
    auto silent = connect(false);
    auto halfway = connect();
    ASSERT_TRUE(halfway->sendRaw(std::vector<uint8_t>(header.begin(), header.begin() + 20)));
    auto bystander = connect();
    const uint32_t device = bystander->deviceOpen(sim::kMainDevice);
    ASSERT_NE(device, 0u);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto victim = connect(c.hello);
        ASSERT_TRUE(victim->sendRaw(c.bytes));
        if (c.cut)
            victim.reset();
        else
            EXPECT_TRUE(victim->closedByServer()) << "the connection stays open";
        const auto r = bystander->deviceControl(device, kFpgaVersion, {}, 4);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.out, (std::vector<uint8_t>{0, 4, 0, 1}));
    }
    EXPECT_EQ(fpgaVersion(*connect()), (std::vector<uint8_t>{0, 4, 0, 1}));
}

TEST_F(RemoteServerTest, RemoteRequestIsLoggedByteForByteNamingTheClient) {
    auto c = connect(false);
    c->hello(4242, "app.exe");
    const uint32_t dev = c->deviceOpen(sim::kMainDevice);
    ASSERT_NE(dev, 0u);
    unit().clearLog();
    const auto version = c->deviceControl(dev, kFpgaVersion, {}, 4);
    const auto set = c->deviceControl(dev, kBacklightSet, {0x5A}, 0);
    EXPECT_TRUE(set.ok);

    const auto log = requests();
    ASSERT_EQ(log.size(), 2u);
    const std::string client = "remote " + c->localEndpoint() + " (app.exe)";
    EXPECT_EQ(log[0].code, kFpgaVersion);
    EXPECT_TRUE(log[0].in.empty());
    EXPECT_EQ(log[0].out, version.out);
    EXPECT_EQ(log[0].returned, 4u);
    EXPECT_EQ(log[1].code, kBacklightSet);
    EXPECT_EQ(log[1].in, std::vector<uint8_t>{0x5A});
    for (const auto& e : log) {
        EXPECT_EQ(e.pid, 4242u);
        EXPECT_EQ(e.client, client);
        EXPECT_EQ(sim::logEntryToJson(e).value("client", ""), client);
    }
    // The server's own callers stay unnamed.
    uint32_t returned = 0;
    uint8_t out[4];
    sim::driverDeviceControl(sim::kMainDevice, kFpgaVersion, nullptr, 0, out, 4, returned);
    const auto local = requests().back();
    EXPECT_EQ(local.pid, static_cast<uint32_t>(::getpid()));
    EXPECT_TRUE(local.client.empty());
    EXPECT_FALSE(sim::logEntryToJson(local).contains("client"));
}

TEST_F(RemoteServerTest, FaultsOfTheUnitReachRemoteClients) {
    auto c = connect();
    unit().addFault({{"target", sim::kMainDevice}, {"code", kFpgaVersion}, {"action", "reply"}, {"reply", "09080706"}});
    EXPECT_EQ(fpgaVersion(*c), (std::vector<uint8_t>{9, 8, 7, 6}));
    unit().clearFaults();
    unit().addFault({{"target", sim::kMainDevice}, {"code", 0}, {"action", "absent"}});
    EXPECT_EQ(c->deviceOpen(sim::kMainDevice), 0u);
    unit().addFault({{"target", "service"}, {"code", 0}, {"action", "refusing"}});
    EXPECT_EQ(c->serviceControl("TavikService", 128), proto::ServiceAnswer::Refused);
    unit().addFault({{"target", "board"}, {"code", 81}, {"action", "fail"}});
    RemoteClient::BoardRequest read;
    read.ordinal = proto::BoardOrdinal::TemperatureRead;
    read.args[0] = 0xC0;
    EXPECT_EQ(c->boardCall(read).result, 0u);
}

TEST_F(RemoteServerTest, BoardCallsAndServiceControlRoundTrip) {
    auto c = connect();
    using O = proto::BoardOrdinal;
    auto call = [&](O ordinal, std::initializer_list<uint32_t> args, std::vector<uint8_t> data = {},
                    uint32_t readLength = 0) {
        RemoteClient::BoardRequest q;
        q.ordinal = ordinal;
        std::copy(args.begin(), args.end(), q.args);
        q.data = std::move(data);
        q.readLength = readLength;
        return c->boardCall(q);
    };
    EXPECT_EQ(call(O::LibraryInit, {}).result, 1u);
    RemoteClient::BoardRequest open;
    open.ordinal = O::BoardOpen;
    open.hasClass = true;
    open.className = u"CPU";
    const auto opened = c->boardCall(open);
    ASSERT_EQ(opened.result, 1u);
    const uint32_t cpu = opened.outs[0];
    EXPECT_EQ(cpu, 0xC0u);

    const auto t = call(O::TemperatureRead, {cpu, 1});
    EXPECT_EQ(t.result, 1u);
    EXPECT_EQ(static_cast<int32_t>(t.outs[0]), 38500);
    EXPECT_EQ(t.outs[1], 1u);
    std::vector<uint8_t> record(44, 0);
    record[0] = 44;
    const auto info = call(O::TemperatureInfo, {cpu, 1}, record);
    ASSERT_EQ(info.data.size(), 44u);
    EXPECT_EQ(proto::getU32(info.data.data()), 44u);
    EXPECT_EQ(proto::getU32(info.data.data() + 4), 2u); // sensor type

    // The expander's direction register written and read back; an I2C read of given length.
    EXPECT_EQ(call(O::I2cWriteRegister, {cpu, 0, 0x40, 3, 0x3C}).result, 1u);
    const auto reg = call(O::I2cReadRegister, {cpu, 0, 0x40, 3});
    EXPECT_EQ(reg.result, 1u);
    EXPECT_EQ(reg.outs[0], 0x3Cu);
    const auto eeprom = call(O::I2cWriteRead, {cpu, 0, 0xAE}, {0, 0}, 16);
    EXPECT_EQ(eeprom.result, 1u);
    EXPECT_EQ(eeprom.data.size(), 16u);
    const auto missing = call(O::I2cWriteRead, {cpu, 0, 0x22}, {0}, 8);
    EXPECT_EQ(missing.result, 0u);
    EXPECT_EQ(missing.data.size(), 8u);

    sim::clearServiceReceived();
    EXPECT_EQ(c->serviceControl("TavikService", 130), proto::ServiceAnswer::Accepted);
    EXPECT_EQ(c->serviceControl("Other", 130), proto::ServiceAnswer::NotOpened);
    EXPECT_EQ(sim::serviceReceived(), std::vector<uint32_t>{130});
    const auto log = requests("service:TavikService");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().client, "remote " + c->localEndpoint() + " (test client)");
}

TEST_F(RemoteServerTest, EachConnectionIsABoardSessionOfItsOwn) {
    unit().setValue("board.library", "needs_retry");
    RemoteClient::BoardRequest init, retry;
    init.ordinal = proto::BoardOrdinal::LibraryInit;
    retry.ordinal = proto::BoardOrdinal::LibraryInitRetry;
    retry.args[0] = 1;
    auto first = connect();
    auto second = connect();
    EXPECT_EQ(first->boardCall(retry).result, 1u);
    EXPECT_EQ(first->boardCall(init).result, 1u);
    EXPECT_EQ(second->boardCall(init).result, 0u) << "another connection shares the session";
    first.reset();
    EXPECT_EQ(connect()->boardCall(init).result, 0u) << "a new connection starts a new session";
}

// `tavikctl sim serve` reports where it listens, serves, and stops on SIGTERM.
TEST_F(RemoteServerTest, ServeCommandReportsItsPortAndStopsOnSigterm) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const std::string tool = binPath("tavikctl");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(tool.c_str(), "tavikctl", "--json", "sim", "serve", "--listen", "127.0.0.1:0", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[256];
    ssize_t n;
    while (text.find('}') == std::string::npos && (n = ::read(out[0], buf, sizeof buf)) > 0) text.append(buf, size_t(n));
    ::close(out[0]);
    const sim::json doc = sim::json::parse(text, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << text;
    EXPECT_EQ(doc.value("address", ""), "127.0.0.1");
    const uint16_t port = doc.value("port", uint16_t{0});
    EXPECT_NE(port, 0);
    {
        RemoteClient c("127.0.0.1", port);
        EXPECT_EQ(c.serverPid(), static_cast<uint32_t>(child));
        EXPECT_EQ(fpgaVersion(c), (std::vector<uint8_t>{0, 4, 0, 1}));
        ::kill(child, SIGTERM); // with a client still connected
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

} // namespace
} // namespace tavik::test
