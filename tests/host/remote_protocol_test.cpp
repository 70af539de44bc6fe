// The request and reply payloads on the wire: each kind's bytes as the protocol lays them out (a
// client built earlier must still be understood), and decoding only what fits exactly.
#include <gtest/gtest.h>

#include <functional>

#include "platform/remote_protocol.h"

namespace {

namespace proto = tavik::platform::remote;

struct Case {
    const char* what;
    std::vector<uint8_t> bytes;                        // the documented layout
    std::function<void(proto::Writer&)> encode;        // a message with those fields
    std::function<bool(proto::Reader&)> decodeChecks;  // decodes and checks the fields
};

std::vector<uint8_t> le(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> v;
    for (const uint32_t w : words)
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return v;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(RemoteProtocol, EachPayloadHasItsLayoutAndDecodesOnlyWhenExact) {
    const uint8_t in[] = {0xA1, 0xB2};
    const std::vector<Case> cases = {
        {"Hello request", le({7, 2}) + std::vector<uint8_t>{'h', 'i'},
         [](proto::Writer& w) { proto::encode(w, proto::HelloRequest{7, "hi"}); },
         [](proto::Reader& r) {
             proto::HelloRequest m;
             return proto::decode(r, m) && m.pid == 7 && m.description == "hi";
         }},
        {"DeviceOpen reply", le({1, 9}), [](proto::Writer& w) { proto::encode(w, proto::DeviceOpenReply{true, 9}); },
         [](proto::Reader& r) {
             proto::DeviceOpenReply m;
             return proto::decode(r, m) && m.opened && m.device == 9;
         }},
        {"DeviceControl request", le({3, 0x222000, 2}) + std::vector<uint8_t>{0xA1, 0xB2} + le({16}),
         [&](proto::Writer& w) { proto::encode(w, proto::DeviceControlRequest{3, 0x222000, {in, 2}, 16}); },
         [](proto::Reader& r) {
             proto::DeviceControlRequest m;
             return proto::decode(r, m) && m.device == 3 && m.code == 0x222000 && m.in.size == 2 &&
                    m.in.data[1] == 0xB2 && m.outSize == 16;
         }},
        {"DeviceControl reply", le({0, 5, 1}) + std::vector<uint8_t>{0xA1},
         [&](proto::Writer& w) { proto::encode(w, proto::DeviceControlReply{false, 5, {in, 1}}); },
         [](proto::Reader& r) {
             proto::DeviceControlReply m;
             return proto::decode(r, m) && !m.ok && m.returned == 5 && m.out.size == 1 && m.out.data[0] == 0xA1;
         }},
        {"DeviceRead reply", le({1, 2}) + std::vector<uint8_t>{0xA1, 0xB2},
         [&](proto::Writer& w) { proto::encode(w, proto::DeviceReadReply{true, {in, 2}}); },
         [](proto::Reader& r) {
             proto::DeviceReadReply m;
             return proto::decode(r, m) && m.ok && m.data.size == 2;
         }},
        {"BoardCall request", le({56, 1, 2, 3, 4, 5, 1, 4}) + std::vector<uint8_t>{'A', 0, 0x34, 0x12} + le({0, 8}),
         [](proto::Writer& w) {
             proto::BoardCallRequest m;
             m.ordinal = proto::BoardOrdinal::BoardOpen;
             for (uint32_t i = 0; i < proto::kBoardArgs; ++i) m.args[i] = i + 1;
             m.hasClass = true;
             m.className = u"A\u1234";
             m.readLength = 8;
             proto::encode(w, m);
         },
         [](proto::Reader& r) {
             proto::BoardCallRequest m;
             return proto::decode(r, m) && m.ordinal == proto::BoardOrdinal::BoardOpen && m.args[4] == 5 &&
                    m.hasClass && m.className == u"A\u1234" && m.data.size == 0 && m.readLength == 8;
         }},
        {"BoardCall request without a class", le({3, 0, 0, 0, 0, 0, 0, 0, 0}),
         [](proto::Writer& w) {
             proto::BoardCallRequest m;
             m.ordinal = proto::BoardOrdinal::LibraryInit;
             proto::encode(w, m);
         },
         [](proto::Reader& r) {
             proto::BoardCallRequest m;
             m.hasClass = true;
             return proto::decode(r, m) && !m.hasClass;
         }},
        {"BoardCall reply", le({1, 0x40, 2, 1}) + std::vector<uint8_t>{0xB2},
         [&](proto::Writer& w) { proto::encode(w, proto::BoardCallReply{1, {0x40, 2}, {in + 1, 1}}); },
         [](proto::Reader& r) {
             proto::BoardCallReply m;
             return proto::decode(r, m) && m.result == 1 && m.outs[0] == 0x40 && m.outs[1] == 2 && m.data.size == 1;
         }},
        {"ServiceControl request", le({2}) + std::vector<uint8_t>{'s', 'v'} + le({1}),
         [](proto::Writer& w) { proto::encode(w, proto::ServiceControlRequest{"sv", 1}); },
         [](proto::Reader& r) {
             proto::ServiceControlRequest m;
             return proto::decode(r, m) && m.service == "sv" && m.code == 1;
         }},
        {"ServiceControl reply", le({2}),
         [](proto::Writer& w) { proto::encode(w, proto::ServiceControlReply{proto::ServiceAnswer::Accepted}); },
         [](proto::Reader& r) {
             proto::ServiceControlReply m;
             return proto::decode(r, m) && m.answer == proto::ServiceAnswer::Accepted;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        proto::Writer w;
        c.encode(w);
        EXPECT_EQ(w.data(), c.bytes);
        proto::Reader exact(c.bytes);
        EXPECT_TRUE(c.decodeChecks(exact));
        std::vector<uint8_t> shorter(c.bytes.begin(), c.bytes.end() - 1), longer = c.bytes + std::vector<uint8_t>{0};
        proto::Reader shortReader(shorter), longReader(longer);
        EXPECT_FALSE(c.decodeChecks(shortReader));
        EXPECT_FALSE(c.decodeChecks(longReader));
    }
}

} // namespace
