#include "sim/remote_client.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/remote_target.h"
#include "sim/remote_socket.h"

namespace tavik::sim {

namespace proto = platform::remote;
using proto::Kind;
using namespace remote_socket;

RemoteClient::RemoteClient(const std::string& address, uint16_t port, bool hello, const std::string& description,
                           const std::string& token) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        throw RemoteError("cannot resolve " + address);
    for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0)
            fd_ = fd;
        else
            ::close(fd);
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) throw RemoteError("cannot connect to " + address + ":" + std::to_string(port));
    setNoDelay(fd_);
    // A server that stops answering fails the call instead of holding the test.
    const timeval limit{30, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_storage self{};
    socklen_t length = sizeof self;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&self), &length);
    local_ = endpointText(reinterpret_cast<sockaddr*>(&self), length);
    if (hello) {
        try {
            serverPid_ = this->hello(static_cast<uint32_t>(::getpid()), description, token);
        } catch (...) {
            ::close(fd_);
            throw;
        }
    }
}

RemoteClient::~RemoteClient() {
    if (fd_ >= 0) ::close(fd_);
}

std::vector<uint8_t> RemoteClient::call(Kind kind, const std::vector<uint8_t>& payload) {
    proto::Header h;
    h.kind = static_cast<uint16_t>(kind);
    h.id = nextId_++;
    h.length = static_cast<uint32_t>(payload.size());
    std::vector<uint8_t> frame(proto::kHeaderSize);
    proto::encodeHeader(h, frame.data());
    frame.insert(frame.end(), payload.begin(), payload.end());
    if (!writeAll(fd_, frame.data(), frame.size())) throw RemoteError("cannot send the request");
    uint8_t head[proto::kHeaderSize];
    if (!readFull(fd_, head, sizeof head)) throw RemoteError("connection closed by the server");
    const proto::Header r = proto::decodeHeader(head);
    if (!proto::headerAcceptable(r, true) || r.kind != (h.kind | proto::kReplyFlag) || r.id != h.id)
        throw RemoteError("reply frame does not match the request");
    std::vector<uint8_t> reply(r.length);
    if (r.length > 0 && !readFull(fd_, reply.data(), r.length)) throw RemoteError("connection closed mid-reply");
    return reply;
}

namespace {
void expectComplete(const proto::Reader& r) {
    if (!r.complete()) throw RemoteError("reply does not decode");
}
} // namespace

uint32_t RemoteClient::hello(uint32_t pid, const std::string& description, const std::string& token) {
    proto::Writer w;
    w.u32(pid).text(description);
    if (!token.empty()) w.text(token);
    const auto reply = call(Kind::Hello, w.data());
    proto::Reader r(reply);
    const uint32_t serverPid = r.u32();
    serverDescription_ = r.text();
    expectComplete(r);
    return serverPid;
}

std::unique_ptr<RemoteClient> RemoteClient::fromEnvironment(const std::string& description) {
    const char* sim = std::getenv("TAVIK_SIM");
    if (sim == nullptr || *sim == 0) throw RemoteError("TAVIK_SIM is not set");
    const char* token = std::getenv(proto::kTokenVariable);
    const proto::Target t = proto::parseTarget(sim, token == nullptr ? "" : token);
    const std::string& p = t.port;
    if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos || std::stoul(p) > 65535)
        throw RemoteError("TAVIK_SIM names no port: " + std::string(sim));
    return std::make_unique<RemoteClient>(t.host, static_cast<uint16_t>(std::stoul(p)), true, description, t.token);
}

uint32_t RemoteClient::deviceOpen(const std::string& name) {
    const auto reply = call(Kind::DeviceOpen, proto::Writer().text(name).data());
    proto::Reader r(reply);
    const uint32_t opened = r.u32(), id = r.u32();
    expectComplete(r);
    return opened ? id : 0;
}

RemoteClient::ControlReply RemoteClient::deviceControl(uint32_t device, uint32_t code,
                                                       const std::vector<uint8_t>& in, uint32_t outSize) {
    proto::Writer w;
    w.u32(device).u32(code).bytes(in.data(), static_cast<uint32_t>(in.size())).u32(outSize);
    const auto reply = call(Kind::DeviceControl, w.data());
    proto::Reader r(reply);
    ControlReply c;
    c.ok = r.u32() != 0;
    c.returned = r.u32();
    c.out = r.byteVector();
    expectComplete(r);
    return c;
}

RemoteClient::ControlReply RemoteClient::deviceRead(uint32_t device, uint32_t size) {
    const auto reply = call(Kind::DeviceRead, proto::Writer().u32(device).u32(size).data());
    proto::Reader r(reply);
    ControlReply c;
    c.ok = r.u32() != 0;
    c.out = r.byteVector();
    c.returned = static_cast<uint32_t>(c.out.size());
    expectComplete(r);
    return c;
}

void RemoteClient::deviceClose(uint32_t device) {
    const auto reply = call(Kind::DeviceClose, proto::Writer().u32(device).data());
    if (!reply.empty()) throw RemoteError("reply does not decode");
}

RemoteClient::BoardReply RemoteClient::boardCall(const BoardRequest& q) {
    proto::Writer w;
    w.u32(static_cast<uint32_t>(q.ordinal));
    for (uint32_t a : q.args) w.u32(a);
    w.wtext(q.hasClass ? q.className.c_str() : nullptr);
    w.bytes(q.data.data(), static_cast<uint32_t>(q.data.size())).u32(q.readLength);
    const auto reply = call(Kind::BoardCall, w.data());
    proto::Reader r(reply);
    BoardReply b;
    b.result = r.u32();
    for (uint32_t& o : b.outs) o = r.u32();
    b.data = r.byteVector();
    expectComplete(r);
    return b;
}

proto::ServiceAnswer RemoteClient::serviceControl(const std::string& service, uint32_t code) {
    const auto reply = call(Kind::ServiceControl, proto::Writer().text(service).u32(code).data());
    proto::Reader r(reply);
    const uint32_t a = r.u32();
    expectComplete(r);
    return static_cast<proto::ServiceAnswer>(a);
}

bool RemoteClient::sendRaw(const std::vector<uint8_t>& bytes) { return writeAll(fd_, bytes.data(), bytes.size()); }

bool RemoteClient::closedByServer(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    uint8_t byte;
    const ssize_t n = ::recv(fd_, &byte, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

} // namespace tavik::sim
