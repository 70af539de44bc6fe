#include "sim/remote_client.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

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
// One request and its reply, decoded from `payload` (which its byte fields point into); throws
// when the reply does not decode.
template <class Request, class Reply>
void ask(RemoteClient& client, const Request& request, std::vector<uint8_t>& payload, Reply& reply) {
    payload = client.call(Request::kind, proto::encoded(request));
    if (!proto::decode(payload, reply)) throw RemoteError("reply does not decode");
}

// The same for a reply without byte fields.
template <class Reply, class Request>
Reply ask(RemoteClient& client, const Request& request) {
    std::vector<uint8_t> payload;
    Reply reply;
    ask(client, request, payload, reply);
    return reply;
}

std::vector<uint8_t> bytesOf(const proto::ByteView& b) { return std::vector<uint8_t>(b.data, b.data + b.size); }

proto::ByteView viewOf(const std::vector<uint8_t>& v) { return {v.data(), static_cast<uint32_t>(v.size())}; }
} // namespace

uint32_t RemoteClient::hello(uint32_t pid, const std::string& description, const std::string& token) {
    proto::HelloRequest q;
    q.pid = pid;
    q.description = description;
    q.token = token;
    const auto r = ask<proto::HelloReply>(*this, q);
    serverDescription_ = r.description;
    return r.pid;
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
    proto::DeviceOpenRequest q;
    q.name = name;
    const auto r = ask<proto::DeviceOpenReply>(*this, q);
    return r.opened ? r.device : 0;
}

RemoteClient::ControlReply RemoteClient::deviceControl(uint32_t device, uint32_t code,
                                                       const std::vector<uint8_t>& in, uint32_t outSize) {
    proto::DeviceControlRequest q;
    q.device = device;
    q.code = code;
    q.in = viewOf(in);
    q.outSize = outSize;
    std::vector<uint8_t> payload;
    proto::DeviceControlReply r;
    ask(*this, q, payload, r);
    return {r.ok, r.returned, bytesOf(r.out)};
}

RemoteClient::ControlReply RemoteClient::deviceRead(uint32_t device, uint32_t size) {
    proto::DeviceReadRequest q;
    q.device = device;
    q.size = size;
    std::vector<uint8_t> payload;
    proto::DeviceReadReply r;
    ask(*this, q, payload, r);
    return {r.ok, r.data.size, bytesOf(r.data)};
}

void RemoteClient::deviceClose(uint32_t device) {
    proto::DeviceCloseRequest q;
    q.device = device;
    ask<proto::DeviceCloseReply>(*this, q);
}

RemoteClient::BoardReply RemoteClient::boardCall(const BoardRequest& request) {
    proto::BoardCallRequest q;
    q.ordinal = request.ordinal;
    std::copy(std::begin(request.args), std::end(request.args), q.args);
    q.hasClass = request.hasClass;
    q.className = request.className;
    q.data = viewOf(request.data);
    q.readLength = request.readLength;
    std::vector<uint8_t> payload;
    proto::BoardCallReply r;
    ask(*this, q, payload, r);
    BoardReply b;
    b.result = r.result;
    std::copy(std::begin(r.outs), std::end(r.outs), b.outs);
    b.data = bytesOf(r.data);
    return b;
}

proto::ServiceAnswer RemoteClient::serviceControl(const std::string& service, uint32_t code) {
    proto::ServiceControlRequest q;
    q.service = service;
    q.code = code;
    return ask<proto::ServiceControlReply>(*this, q).answer;
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
