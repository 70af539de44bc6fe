#include "sim/remote_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/backend.h"
#include "platform/host/replay.h"
#include "platform/remote_protocol.h"
#include "sim/board_model.h"
#include "sim/driver.h"
#include "sim/remote_socket.h"
#include "sim/unit.h"

namespace tavik::sim {
namespace {

namespace proto = platform::remote;
using proto::Kind;
// Remote clients are answered as the host build answers its own callers: from the trace while a
// replay runs, else by the models. Board-library and service calls go through the host backend
// itself; device requests name their device by the connection's handle here.
namespace served_board = platform::board::os;
namespace served_replay = platform::host::replay;
using namespace remote_socket;

// Reply fields around the largest data a request may ask for (DeviceControl: ok, returned,
// byte count); sizes that would not fit a reply frame make the request malformed.
constexpr uint32_t kMaxReplyData = proto::kMaxPayload - 64;
// Open devices per connection; further opens are refused as a driver out of handles would.
constexpr size_t kMaxDevicesPerConnection = 4096;
// What a client may call itself in the log.
constexpr size_t kMaxDescription = 120;
// Longest device name a client may open (the Windows path limit); longer ones, and names that are
// not device names at all, are refused before they reach the unit and its log.
constexpr size_t kMaxDeviceName = 260;
// A request body is read in pieces of this size as they arrive, never reserved ahead.
constexpr size_t kReadPiece = 64 * 1024;
// Connections served at once; when all are taken, the longest-idle one makes room for a new one.
constexpr size_t kMaxConnections = 256;
// Bytes that request and reply buffers of all connections may hold together.
constexpr size_t kMaxBuffered = 64 * 1024 * 1024;
// Room one request may need while it is answered (its reply and the copies made on the way).
constexpr size_t kHandlingReserve = 2 * size_t(proto::kMaxPayload);

using Clock = std::chrono::steady_clock;

int64_t nowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

// A name a driver could have: "\\.\" and printable ASCII, at most kMaxDeviceName characters.
bool plausibleDeviceName(const std::string& name) {
    if (name.size() <= 4 || name.size() > kMaxDeviceName || name.compare(0, 4, "\\\\.\\") != 0) return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

// Same length and bytes, in time that does not depend on where they differ.
bool sameToken(const std::string& given, const std::string& expected) {
    unsigned char diff = given.size() == expected.size() ? 0 : 1;
    for (size_t i = 0; i < expected.size(); ++i)
        diff |= static_cast<unsigned char>(expected[i] ^ (i < given.size() ? given[i] : 0));
    return diff == 0;
}

// The bytes that request and reply buffers of every connection hold together. Bodies are read
// only while the total stays below the limit less one request's handling reserve; a request is
// answered only when its reserve fits. A connection that has to wait stops reading, so its
// client's sends stall; the frame time-out bounds the wait.
class Budget {
public:
    explicit Budget(size_t limit) : limit_(limit) {}

    // Takes n bytes for a body, waiting until `deadline`; false when they did not come free.
    bool takeForBody(size_t n, Clock::time_point deadline) { return take(n, limit_ - kHandlingReserve, deadline); }
    // Waits until one request's handling reserve fits; false when it did not by `deadline`.
    bool roomToAnswer(Clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_until(lock, deadline, [&] { return stopped_ || held_ + kHandlingReserve <= limit_; }) &&
               !stopped_;
    }
    // Charges a reply already made (answering is serialised and checked its room first).
    void charge(size_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ += n;
    }
    void give(size_t n) {
        if (n == 0) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_ -= n;
        }
        changed_.notify_all();
    }
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }

private:
    bool take(size_t n, size_t limit, Clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [&] { return stopped_ || held_ + n <= limit; }) || stopped_)
            return false;
        held_ += n;
        return true;
    }

    const size_t limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t held_ = 0;
    bool stopped_ = false;
};

// Bytes held from a Budget, given back when the scope ends.
struct Held {
    Budget& budget;
    size_t bytes = 0;
    ~Held() { budget.give(bytes); }
    void release() {
        budget.give(bytes);
        bytes = 0;
    }
};

enum class Io { Done, Closed, TimedOut };

// Receives exactly n bytes by `deadline`. With `spin` it polls briefly before it blocks (see
// kSpinBeforeBlocking).
Io receive(int fd, uint8_t* p, size_t n, Clock::time_point deadline, bool spin) {
    const auto spinUntil = Clock::now() + (spin ? kSpinBeforeBlocking : std::chrono::microseconds(0));
    while (n > 0) {
        const ssize_t got = ::recv(fd, p, n, MSG_DONTWAIT);
        if (got > 0) {
            p += got;
            n -= size_t(got);
            continue;
        }
        if (got == 0) return Io::Closed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Io::Closed;
        const auto now = Clock::now();
        if (now < spinUntil) {
            std::this_thread::yield();
            continue;
        }
        if (now >= deadline) return Io::TimedOut;
        pollfd pf{fd, POLLIN, 0};
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        if (::poll(&pf, 1, int(std::min<int64_t>(ms, 60000))) < 0 && errno != EINTR) return Io::Closed;
    }
    return Io::Done;
}

// Sends all n bytes by `deadline` (no SIGPIPE on a closed peer); false when the socket failed or
// the client did not take them in time.
bool sendBy(int fd, const uint8_t* p, size_t n, Clock::time_point deadline) {
    while (n > 0) {
        const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put > 0) {
            p += put;
            n -= size_t(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
        const auto now = Clock::now();
        if (now >= deadline) return false;
        pollfd pf{fd, POLLOUT, 0};
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        if (::poll(&pf, 1, int(std::min<int64_t>(ms, 60000))) < 0 && errno != EINTR) return false;
    }
    return true;
}

// What the acceptor knows of a connection, shared with the thread serving it.
struct Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
    std::atomic<bool> dropped{false}; // made room for a new client
    // Since when it waits for its client (steady clock, ns); -1 while a request is answered.
    std::atomic<int64_t> idleSince{0};
};

// Answering is serialised (the unit serialises its transactions anyway); the budget is checked
// under this lock, so two requests never count on the same room.
std::mutex& answering() {
    static std::mutex m;
    return m;
}

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
    Session(Connection& connection, std::string peer, const ServerOptions& options, Budget& budget)
        : fd_(connection.fd), connection_(connection), options_(options), budget_(budget) {
        client_.id = newClientId();
        client_.name = "remote " + peer;
        peer_ = std::move(peer);
    }

    // Serves frames until the peer closes, sends a malformed one, or keeps it waiting too long.
    void serve() {
        ClientScope scope(&client_);
        const auto frameTimeout = options_.frameTimeout;
        // Until its Hello a connection has the frame time-out to say it.
        auto idleUntil = Clock::now() + frameTimeout;
        for (;;) {
            connection_.idleSince = nowNs();
            uint8_t head[proto::kHeaderSize];
            if (receive(fd_, head, 1, idleUntil, /*spin=*/true) != Io::Done) break;
            const auto frameUntil = Clock::now() + frameTimeout;
            if (receive(fd_, head + 1, sizeof head - 1, frameUntil, false) != Io::Done) break;
            const proto::Header h = proto::decodeHeader(head);
            if (!proto::headerAcceptable(h, false)) break;
            const auto kind = static_cast<Kind>(h.kind);
            if (!greeted_ && kind != Kind::Hello) break;
            std::vector<uint8_t> payload;
            Held body{budget_};
            if (!receiveBody(payload, h.length, frameUntil, body)) break;

            proto::Writer reply;
            Held replyHeld{budget_};
            {
                std::unique_lock<std::mutex> lock(answering());
                if (!budget_.roomToAnswer(frameUntil)) break;
                connection_.idleSince = -1;
                // Room for the header in front of the payload: one send per reply.
                reply.data().resize(proto::kHeaderSize);
                proto::Reader in(payload);
                if (!handle(kind, in, reply)) break;
                replyHeld.bytes = reply.data().capacity();
                budget_.charge(replyHeld.bytes);
            }
            payload = std::vector<uint8_t>();
            body.release();
            proto::Header rh;
            rh.kind = static_cast<uint16_t>(h.kind | proto::kReplyFlag);
            rh.id = h.id;
            rh.length = static_cast<uint32_t>(reply.data().size() - proto::kHeaderSize);
            proto::encodeHeader(rh, reply.data().data());
            // A reply the client does not take in time ends this connection, not the server.
            if (!sendBy(fd_, reply.data().data(), reply.data().size(), Clock::now() + frameTimeout)) break;
            idleUntil = Clock::now() + options_.idleTimeout;
        }
        // The client's devices close with it, and its board-library session ends.
        devices_.clear();
        boardEndClientSession(client_.id);
    }

private:
    // Reads a body of `length` bytes as it arrives, taking room for it from the budget piece by
    // piece; false when the client stops, leaves, or the room does not come free in time.
    bool receiveBody(std::vector<uint8_t>& payload, uint32_t length, Clock::time_point until, Held& held) {
        size_t have = 0;
        while (have < length) {
            const size_t piece = std::min<size_t>(kReadPiece, length - have);
            if (payload.capacity() < have + piece) {
                const size_t capacity = std::min<size_t>(length, std::max(payload.capacity() * 2, have + piece));
                if (!budget_.takeForBody(capacity - payload.capacity(), until)) return false;
                held.bytes += capacity - payload.capacity();
                payload.reserve(capacity);
            }
            payload.resize(have + piece);
            if (receive(fd_, payload.data() + have, piece, until, false) != Io::Done) return false;
            have += piece;
        }
        return true;
    }

    // False when the request does not decode exactly (or asks for more than a reply can carry).
    bool handle(Kind kind, proto::Reader& in, proto::Writer& out) {
        switch (kind) {
        case Kind::Hello: return !greeted_ && hello(in, out);
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
        if (!options_.token.empty() && !sameToken(q.token, options_.token)) return false;
        client_.pid = q.pid;
        const std::string d = cleanDescription(q.description);
        client_.name = "remote " + peer_ + (d.empty() ? "" : " (" + d + ")");
        greeted_ = true;
        proto::HelloReply r;
        r.pid = static_cast<uint32_t>(::getpid());
        r.description = "simulated unit, profile " + answer([] { return Unit::instance().profileName(); }, std::string("?"));
        proto::encode(out, r);
        return true;
    }

    bool deviceOpen(proto::Reader& in, proto::Writer& out) {
        proto::DeviceOpenRequest q;
        if (!proto::decode(in, q)) return false;
        proto::DeviceOpenReply r;
        r.opened = devices_.size() < kMaxDevicesPerConnection && plausibleDeviceName(q.name) && answer([&] {
                       if (const auto replayed = served_replay::deviceOpen(q.name)) return *replayed;
                       return driverDeviceOpen(q.name);
                   }, false);
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
            const uint8_t* data = q.in.size > 0 ? q.in.data : nullptr;
            uint8_t* reply = q.outSize > 0 ? buffer.data() : nullptr;
            r.ok = answer([&] {
                if (const auto replayed =
                        served_replay::deviceControl(*name, q.code, data, q.in.size, reply, q.outSize, r.returned))
                    return *replayed;
                return driverDeviceControl(*name, q.code, data, q.in.size, reply, q.outSize, r.returned);
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
            r.ok = answer([&] {
                if (const auto replayed = served_replay::deviceRead(*name, buffer.data(), q.size, read))
                    return *replayed;
                return driverDeviceRead(*name, buffer.data(), q.size, read);
            }, false);
        if (!r.ok) read = 0;
        r.data = {buffer.data(), std::min(read, q.size)};
        proto::encode(out, r);
        return true;
    }

    bool deviceClose(proto::Reader& in, proto::Writer& out) {
        proto::DeviceCloseRequest q;
        if (!proto::decode(in, q)) return false;
        if (const std::string* name = device(q.device)) served_replay::deviceClose(*name);
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
        case O::LibraryInit: result = served_board::libraryInit(); break;
        case O::LibraryInitRetry: result = served_board::libraryInitRetry(a[0]); break;
        case O::BoardCount: result = served_board::boardCount(cls, a[0]); break;
        case O::BoardOpen: result = served_board::boardOpen(cls, a[0], a[1], &outs[0]); break;
        case O::BoardSelect: result = served_board::boardSelect(a[0]); break;
        case O::LibraryClose: served_board::libraryClose(); break;
        case O::I2cWriteRead:
            if (readLength > kMaxReplyData) return false;
            reply.assign(readLength, 0);
            result = served_board::i2cWriteRead(a[0], a[1], a[2], data.empty() ? nullptr : data.data(),
                                                static_cast<uint32_t>(data.size()),
                                                reply.empty() ? nullptr : reply.data(), readLength);
            break;
        case O::I2cWrite: {
            // The wire cannot carry a null pointer; an empty write still points somewhere.
            static const uint8_t none = 0;
            result = served_board::i2cWrite(a[0], a[1], a[2], data.empty() ? &none : data.data(),
                                            static_cast<uint32_t>(data.size()));
            break;
        }
        case O::I2cReadRegister: {
            uint8_t value = 0;
            result = served_board::i2cReadRegister(a[0], a[1], a[2], a[3], &value);
            outs[0] = value;
            break;
        }
        case O::I2cWriteRegister:
            result = served_board::i2cWriteRegister(a[0], a[1], a[2], a[3], a[4]);
            break;
        case O::TemperatureSensorCount: result = served_board::temperatureSensorCount(a[0]); break;
        case O::TemperatureRead: {
            int32_t value = 0;
            result = served_board::temperatureRead(a[0], a[1], &value, &outs[1]);
            outs[0] = static_cast<uint32_t>(value);
            break;
        }
        case O::TemperatureInfo: {
            // The record as the caller preset it (44 bytes), or none for a null pointer.
            constexpr size_t kRecord = 11 * 4;
            if (!data.empty() && data.size() != kRecord) return false;
            uint32_t record[11] = {};
            for (size_t i = 0; i < data.size() / 4; ++i) record[i] = proto::getU32(data.data() + 4 * i);
            result = served_board::temperatureInfo(a[0], a[1], data.empty() ? nullptr : record);
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
        using platform::ServiceControlResult;
        const ServiceControlResult a = platform::os::controlService(q.service, q.code);
        proto::ServiceControlReply r;
        r.answer = a == ServiceControlResult::Accepted  ? proto::ServiceAnswer::Accepted
                   : a == ServiceControlResult::Refused ? proto::ServiceAnswer::Refused
                                                        : proto::ServiceAnswer::NotOpened;
        proto::encode(out, r);
        return true;
    }

    int fd_;
    Connection& connection_;
    const ServerOptions& options_;
    Budget& budget_;
    std::string peer_;
    Client client_;
    bool greeted_ = false;
    std::map<uint32_t, std::string> devices_;
    uint32_t nextDevice_ = 1;
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

bool isLoopbackAddress(const std::string& numeric) {
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, numeric.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (::inet_pton(AF_INET6, numeric.c_str(), &v6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

std::string newToken() {
    uint8_t bytes[16];
    size_t have = 0;
    while (have < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + have, sizeof bytes - have, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(std::string("cannot make a token: ") + std::strerror(errno));
        have += size_t(n);
    }
    return toHex(bytes, sizeof bytes);
}

struct RemoteServer::Impl {
    int listenFd = -1;
    int wakeRead = -1, wakeWrite = -1;
    std::string address;
    uint16_t port = 0;
    ServerOptions options;
    Budget budget{kMaxBuffered};
    mutable std::mutex mutex;
    std::list<std::unique_ptr<Connection>> connections;

    // Joins the threads of finished connections and closes their sockets.
    void reap(bool all) {
        std::list<std::unique_ptr<Connection>> finished;
        if (all) budget.stop();
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

    // With every slot taken, ends the connection that has waited longest for its client (one
    // that is being answered is left alone); false when there is none.
    bool dropLongestIdle() {
        Connection* oldest = nullptr;
        int64_t since = 0;
        for (const auto& c : connections) {
            if (c->done || c->dropped) continue;
            const int64_t t = c->idleSince;
            if (t >= 0 && (oldest == nullptr || t < since)) {
                oldest = c.get();
                since = t;
            }
        }
        if (oldest == nullptr) return false;
        oldest->dropped = true;
        ::shutdown(oldest->fd, SHUT_RDWR); // its thread sees the end and leaves
        return true;
    }

    void accept() {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) return; // the client left already, or out of descriptors: try again later
        setNoDelay(fd);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->idleSince = nowNs();
        Connection* raw = c.get();
        const std::string peerText = endpointText(reinterpret_cast<sockaddr*>(&peer), length);
        std::lock_guard<std::mutex> guard(mutex);
        size_t serving = 0;
        for (const auto& other : connections) serving += other->done || other->dropped ? 0 : 1;
        if (serving >= kMaxConnections && !dropLongestIdle()) {
            ::close(fd);
            return;
        }
        try {
            raw->thread = std::thread([this, raw, peerText] {
                try {
                    Session(*raw, peerText, options, budget).serve();
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

RemoteServer::RemoteServer(const std::string& address, uint16_t port, ServerOptions options)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
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
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
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
    // Beyond loopback every client must know the token.
    if (impl_->options.token.empty() && !isLoopbackAddress(impl_->address)) impl_->options.token = newToken();
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
const std::string& RemoteServer::token() const { return impl_->options.token; }

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
    for (const auto& c : impl_->connections) n += c->done || c->dropped ? 0 : 1;
    return n;
}

} // namespace tavik::sim
