#include "sim/remote_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/remote_protocol.h"
#include "sim/board_model.h"
#include "sim/driver.h"
#include "sim/remote_socket.h"
#include "sim/service_model.h"
#include "sim/unit.h"

namespace tavik::sim {
namespace {

namespace proto = platform::remote;
using proto::Kind;
using namespace remote_socket;

// Reply fields around the largest data a request may ask for (DeviceControl: ok, returned,
// byte count); sizes that would not fit a reply frame make the request malformed.
constexpr uint32_t kMaxReplyData = proto::kMaxPayload - 64;
// Open devices per connection; further opens are refused as a driver out of handles would.
constexpr size_t kMaxDevicesPerConnection = 4096;
// Connections served at once; more are closed as soon as they are accepted (a thread each).
constexpr size_t kMaxConnections = 256;
// What a client may call itself in the log.
constexpr size_t kMaxDescription = 120;

std::string cleanDescription(const std::string& text) {
    std::string s;
    for (const char c : text.substr(0, kMaxDescription))
        s.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    return s;
}

// The unit's answer, or `failed` when the unit could not serve it (as the host platform does:
// a unit that cannot be opened is hardware that does not answer).
template <class Call>
auto answer(Call call, decltype(call()) failed) -> decltype(call()) {
    try {
        return call();
    } catch (...) {
        return failed;
    }
}

// One connection: its client, its devices; lives on its own thread.
class Session {
public:
    Session(int fd, std::string peer) : fd_(fd) {
        client_.id = newClientId();
        client_.name = "remote " + peer;
        peer_ = std::move(peer);
    }

    // Serves frames until the peer closes or sends a malformed one.
    void serve() {
        ClientScope scope(&client_);
        std::vector<uint8_t> payload;
        for (;;) {
            uint8_t head[proto::kHeaderSize];
            if (!readFull(fd_, head, sizeof head, /*spin=*/true)) break;
            const proto::Header h = proto::decodeHeader(head);
            if (!proto::headerAcceptable(h, false)) break;
            payload.resize(h.length);
            if (h.length > 0 && !readFull(fd_, payload.data(), h.length)) break;
            const auto kind = static_cast<Kind>(h.kind);
            if (!greeted_ && kind != Kind::Hello) break;
            proto::Writer reply;
            // Room for the header in front of the payload: one send per reply.
            reply.data().resize(proto::kHeaderSize);
            proto::Reader in(payload);
            if (!handle(kind, in, reply)) break;
            proto::Header rh;
            rh.kind = static_cast<uint16_t>(h.kind | proto::kReplyFlag);
            rh.id = h.id;
            rh.length = static_cast<uint32_t>(reply.data().size() - proto::kHeaderSize);
            proto::encodeHeader(rh, reply.data().data());
            if (!writeAll(fd_, reply.data().data(), reply.data().size())) break;
        }
        // The client's devices close with it, and its board-library session ends.
        devices_.clear();
        boardEndClientSession(client_.id);
    }

private:
    // False when the request does not decode exactly (or asks for more than a reply can carry).
    bool handle(Kind kind, proto::Reader& in, proto::Writer& out) {
        switch (kind) {
        case Kind::Hello: return hello(in, out);
        case Kind::DeviceOpen: return deviceOpen(in, out);
        case Kind::DeviceControl: return deviceControl(in, out);
        case Kind::DeviceRead: return deviceRead(in, out);
        case Kind::DeviceClose: return deviceClose(in, out);
        case Kind::BoardCall: return boardCall(in, out);
        case Kind::ServiceControl: return serviceCall(in, out);
        }
        return false;
    }

    bool hello(proto::Reader& in, proto::Writer& out) {
        proto::HelloRequest q;
        if (!proto::decode(in, q)) return false;
        client_.pid = q.pid;
        const std::string d = cleanDescription(q.description);
        client_.name = "remote " + peer_ + (d.empty() ? "" : " (" + d + ")");
        greeted_ = true;
        proto::HelloReply r;
        r.pid = static_cast<uint32_t>(::getpid());
        r.description = "simulated unit " + answer([] { return Unit::instance().home(); }, std::string("?"));
        proto::encode(out, r);
        return true;
    }

    bool deviceOpen(proto::Reader& in, proto::Writer& out) {
        proto::DeviceOpenRequest q;
        if (!proto::decode(in, q)) return false;
        proto::DeviceOpenReply r;
        r.opened = devices_.size() < kMaxDevicesPerConnection &&
                   answer([&] { return driverDeviceOpen(q.name); }, false);
        if (r.opened) {
            r.device = nextDevice_++;
            if (nextDevice_ == 0) nextDevice_ = 1;
            devices_[r.device] = q.name;
        }
        proto::encode(out, r);
        return true;
    }

    const std::string* device(uint32_t id) const {
        const auto it = devices_.find(id);
        return it == devices_.end() ? nullptr : &it->second;
    }

    bool deviceControl(proto::Reader& in, proto::Writer& out) {
        proto::DeviceControlRequest q;
        if (!proto::decode(in, q) || q.outSize > kMaxReplyData) return false;
        std::vector<uint8_t> buffer(q.outSize);
        proto::DeviceControlReply r;
        if (const std::string* name = device(q.device)) {
            r.ok = answer([&] {
                return driverDeviceControl(*name, q.code, q.in.size > 0 ? q.in.data : nullptr, q.in.size,
                                           q.outSize > 0 ? buffer.data() : nullptr, q.outSize, r.returned);
            }, false);
        }
        if (!r.ok) r.returned = 0;
        r.out = {buffer.data(), std::min(r.returned, q.outSize)};
        proto::encode(out, r);
        return true;
    }

    bool deviceRead(proto::Reader& in, proto::Writer& out) {
        proto::DeviceReadRequest q;
        if (!proto::decode(in, q) || q.size > kMaxReplyData) return false;
        std::vector<uint8_t> buffer(q.size);
        uint32_t read = 0;
        proto::DeviceReadReply r;
        if (const std::string* name = device(q.device))
            r.ok = answer([&] { return driverDeviceRead(*name, buffer.data(), q.size, read); }, false);
        if (!r.ok) read = 0;
        r.data = {buffer.data(), std::min(read, q.size)};
        proto::encode(out, r);
        return true;
    }

    bool deviceClose(proto::Reader& in, proto::Writer& out) {
        proto::DeviceCloseRequest q;
        if (!proto::decode(in, q)) return false;
        devices_.erase(q.device);
        proto::encode(out, proto::DeviceCloseReply{});
        return true;
    }

    bool boardCall(proto::Reader& in, proto::Writer& out) {
        proto::BoardCallRequest q;
        if (!proto::decode(in, q)) return false;
        const uint32_t* a = q.args;
        const std::vector<uint8_t> data(q.data.data, q.data.data + q.data.size);
        const uint32_t readLength = q.readLength;
        const TavikWChar* cls = q.hasClass ? reinterpret_cast<const TavikWChar*>(q.className.c_str()) : nullptr;
        static_assert(sizeof(TavikWChar) == sizeof(char16_t), "UTF-16 code units");

        uint32_t result = 0, outs[proto::kBoardOuts] = {0, 0};
        std::vector<uint8_t> reply;
        using O = proto::BoardOrdinal;
        switch (q.ordinal) {
        case O::LibraryInit: result = answer([] { return boardLibraryInit(); }, 0u); break;
        case O::LibraryInitRetry: result = answer([&] { return boardLibraryInitRetry(a[0]); }, 0u); break;
        case O::BoardCount: result = answer([&] { return boardCount(cls, a[0]); }, 0u); break;
        case O::BoardOpen: result = answer([&] { return boardOpen(cls, a[0], a[1], &outs[0]); }, 0u); break;
        case O::BoardSelect: result = answer([&] { return boardSelect(a[0]); }, 0u); break;
        case O::LibraryClose: result = answer([] { return boardLibraryClose(); }, 0u); break;
        case O::I2cWriteRead:
            if (readLength > kMaxReplyData) return false;
            reply.assign(readLength, 0);
            result = answer([&] {
                return boardI2cWriteRead(a[0], a[1], a[2], data.empty() ? nullptr : data.data(),
                                         static_cast<uint32_t>(data.size()),
                                         reply.empty() ? nullptr : reply.data(), readLength);
            }, 0u);
            break;
        case O::I2cWrite: {
            // The wire cannot carry a null pointer; an empty write still points somewhere.
            static const uint8_t none = 0;
            result = answer([&] {
                return boardI2cWrite(a[0], a[1], a[2], data.empty() ? &none : data.data(),
                                     static_cast<uint32_t>(data.size()));
            }, 0u);
            break;
        }
        case O::I2cReadRegister: {
            uint8_t value = 0;
            result = answer([&] { return boardI2cReadRegister(a[0], a[1], a[2], a[3], &value); }, 0u);
            outs[0] = value;
            break;
        }
        case O::I2cWriteRegister:
            result = answer([&] { return boardI2cWriteRegister(a[0], a[1], a[2], a[3], a[4]); }, 0u);
            break;
        case O::TemperatureSensorCount: result = answer([&] { return boardTemperatureCount(a[0]); }, 0u); break;
        case O::TemperatureRead: {
            int32_t value = 0;
            result = answer([&] { return boardTemperatureRead(a[0], a[1], &value, &outs[1]); }, 0u);
            outs[0] = static_cast<uint32_t>(value);
            break;
        }
        case O::TemperatureInfo: {
            // The record as the caller preset it (44 bytes), or none for a null pointer.
            constexpr size_t kRecord = 11 * 4;
            if (!data.empty() && data.size() != kRecord) return false;
            uint32_t record[11] = {};
            for (size_t i = 0; i < data.size() / 4; ++i) record[i] = proto::getU32(data.data() + 4 * i);
            result = answer([&] { return boardTemperatureInfo(a[0], a[1], data.empty() ? nullptr : record); }, 0u);
            if (!data.empty()) {
                reply.resize(kRecord);
                for (size_t i = 0; i < 11; ++i) proto::putU32(reply.data() + 4 * i, record[i]);
            }
            break;
        }
        default: return false; // no such call in the library
        }
        proto::BoardCallReply r;
        r.result = result;
        std::copy(std::begin(outs), std::end(outs), r.outs);
        r.data = {reply.data(), static_cast<uint32_t>(reply.size())};
        proto::encode(out, r);
        return true;
    }

    bool serviceCall(proto::Reader& in, proto::Writer& out) {
        proto::ServiceControlRequest q;
        if (!proto::decode(in, q)) return false;
        const ServiceAnswer a = answer([&] { return serviceControl(q.service, q.code); }, ServiceAnswer::NotOpened);
        proto::ServiceControlReply r;
        r.answer = a == ServiceAnswer::Accepted  ? proto::ServiceAnswer::Accepted
                   : a == ServiceAnswer::Refused ? proto::ServiceAnswer::Refused
                                                 : proto::ServiceAnswer::NotOpened;
        proto::encode(out, r);
        return true;
    }

    int fd_;
    std::string peer_;
    Client client_;
    bool greeted_ = false;
    std::map<uint32_t, std::string> devices_;
    uint32_t nextDevice_ = 1;
};

struct Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
};

} // namespace

bool parseListenAddress(const std::string& text, std::string& address, uint16_t& port) {
    std::string host, digits;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
        host = text.substr(1, close - 1);
        digits = text.substr(close + 2);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string::npos) return false;
        host = text.substr(0, colon);
        digits = text.substr(colon + 1);
        if (host.find(':') != std::string::npos) return false; // IPv6 needs brackets
    }
    if (host.empty() || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long p = std::stoul(digits);
    if (p > 65535) return false;
    address = host;
    port = static_cast<uint16_t>(p);
    return true;
}

struct RemoteServer::Impl {
    int listenFd = -1;
    int wakeRead = -1, wakeWrite = -1;
    std::string address;
    uint16_t port = 0;
    mutable std::mutex mutex;
    std::list<std::unique_ptr<Connection>> connections;

    // Joins the threads of finished connections and closes their sockets.
    void reap(bool all) {
        std::list<std::unique_ptr<Connection>> finished;
        {
            std::lock_guard<std::mutex> guard(mutex);
            for (auto it = connections.begin(); it != connections.end();) {
                if (all) ::shutdown((*it)->fd, SHUT_RDWR);
                if (all || (*it)->done) {
                    finished.push_back(std::move(*it));
                    it = connections.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& c : finished) {
            c->thread.join();
            ::close(c->fd);
        }
    }

    void accept() {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) return; // the client left already, or out of descriptors: try again later
        setNoDelay(fd);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        Connection* raw = c.get();
        const std::string peerText = endpointText(reinterpret_cast<sockaddr*>(&peer), length);
        std::lock_guard<std::mutex> guard(mutex);
        if (connections.size() >= kMaxConnections) {
            ::close(fd);
            return;
        }
        try {
            raw->thread = std::thread([raw, peerText] {
                try {
                    Session(raw->fd, peerText).serve();
                } catch (...) {
                    // Out of memory or the like: this connection ends, the server goes on.
                }
                ::shutdown(raw->fd, SHUT_RDWR); // the client sees the end now; the fd closes at reaping
                raw->done = true;
            });
        } catch (const std::system_error&) {
            ::close(fd); // no thread to serve it
            return;
        }
        connections.push_back(std::move(c));
    }
};

RemoteServer::RemoteServer(const std::string& address, uint16_t port) : impl_(std::make_unique<Impl>()) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found); rc != 0)
        throw std::runtime_error("cannot listen on " + address + ": " + ::gai_strerror(rc));
    std::string error = "no address";
    for (addrinfo* a = found; a != nullptr && impl_->listenFd < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = std::strerror(errno);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
            error = std::strerror(errno);
            ::close(fd);
            continue;
        }
        impl_->listenFd = fd;
    }
    ::freeaddrinfo(found);
    if (impl_->listenFd < 0)
        throw std::runtime_error("cannot listen on " + address + ":" + service + ": " + error);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&bound), &length);
    const std::string text = endpointText(reinterpret_cast<sockaddr*>(&bound), length);
    const size_t colon = text.rfind(':');
    impl_->port = static_cast<uint16_t>(std::stoul(text.substr(colon + 1)));
    impl_->address = text.substr(0, colon);
    if (impl_->address.size() > 1 && impl_->address.front() == '[')
        impl_->address = impl_->address.substr(1, impl_->address.size() - 2);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(impl_->listenFd);
        throw std::runtime_error(std::string("cannot make the stop pipe: ") + std::strerror(errno));
    }
    impl_->wakeRead = wake[0];
    impl_->wakeWrite = wake[1];
}

RemoteServer::~RemoteServer() {
    impl_->reap(true);
    ::close(impl_->listenFd);
    ::close(impl_->wakeRead);
    ::close(impl_->wakeWrite);
}

const std::string& RemoteServer::address() const { return impl_->address; }
uint16_t RemoteServer::port() const { return impl_->port; }

void RemoteServer::run() {
    for (;;) {
        pollfd fds[2] = {{impl_->listenFd, POLLIN, 0}, {impl_->wakeRead, POLLIN, 0}};
        // Wakes now and then to join the threads of connections that ended.
        const int n = ::poll(fds, 2, 500);
        if (n < 0 && errno != EINTR) break;
        if (fds[1].revents != 0) break;
        impl_->reap(false);
        if (n > 0 && (fds[0].revents & POLLIN) != 0) impl_->accept();
    }
    impl_->reap(true);
}

void RemoteServer::stop() {
    const char byte = 1;
    // A full pipe already holds a stop request.
    [[maybe_unused]] const ssize_t n = ::write(impl_->wakeWrite, &byte, 1);
}

size_t RemoteServer::connectionCount() const {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    size_t n = 0;
    for (const auto& c : impl_->connections) n += c->done ? 0 : 1;
    return n;
}

} // namespace tavik::sim
