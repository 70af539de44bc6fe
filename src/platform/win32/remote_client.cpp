// Winsock client of `tavikctl sim serve`: the process's one connection, its framing and its
// reconnection. Only reached when TAVIK_SIM is set; Winsock is started at the first connect.
#include "platform/win32/remote_client.h"
#include "platform/remote_target.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

namespace tavik::platform::remote {
namespace {

// Longest wait for the connection to be made, and for a reply or a send to progress: a server
// that stopped answering makes the calls fail instead of hanging the application.
constexpr long kConnectTimeoutMs = 5000;
constexpr DWORD kIoTimeoutMs = 60000;

struct Setting {
    bool enabled = false;
    Target target;
};

INIT_ONCE gTargetOnce = INIT_ONCE_STATIC_INIT;
Setting gSetting;

// A variable's value; empty when unset. `tooLong` when it is set but does not fit.
std::string variable(const char* name, bool& tooLong) {
    char value[512];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    tooLong = n >= sizeof value;
    return n == 0 || tooLong ? std::string() : std::string(value, n);
}

BOOL CALLBACK readTarget(PINIT_ONCE, PVOID, PVOID*) {
    bool tooLong = false, tokenTooLong = false;
    const std::string text = variable("TAVIK_SIM", tooLong);
    // Unset: the Windows path. An unusably long value still selects the remote unit (as if unset
    // would silently reach real hardware), which is then unreachable.
    gSetting.enabled = !text.empty() || tooLong;
    if (text.empty()) return TRUE;
    gSetting.target = parseTarget(text, variable(kTokenVariable, tokenTooLong));
    return TRUE;
}

const Setting& setting() {
    InitOnceExecuteOnce(&gTargetOnce, readTarget, nullptr, nullptr);
    return gSetting;
}

// The connection; every field is guarded by gLock.
SRWLOCK gLock = SRWLOCK_INIT;
bool gWinsockStarted = false;
SOCKET gSocket = INVALID_SOCKET;
Generation gGeneration = 0;     // of the open connection, 0 when none is
Generation gLastGeneration = 0; // the last one handed out
uint32_t gNextId = 0;

struct Locked {
    Locked() { AcquireSRWLockExclusive(&gLock); }
    ~Locked() { ReleaseSRWLockExclusive(&gLock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

void disconnect() {
    if (gSocket != INVALID_SOCKET) closesocket(gSocket);
    gSocket = INVALID_SOCKET;
    gGeneration = 0;
}

bool sendAll(const uint8_t* data, size_t size) {
    while (size > 0) {
        const int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
        const int sent = send(gSocket, reinterpret_cast<const char*>(data), chunk, 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool receiveAll(uint8_t* data, size_t size) {
    while (size > 0) {
        const int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
        const int got = recv(gSocket, reinterpret_cast<char*>(data), chunk, 0);
        if (got <= 0) return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// Sends one request frame and receives its reply on the open connection.
bool exchange(Kind kind, const std::vector<uint8_t>& request, std::vector<uint8_t>& reply) {
    if (request.size() > kMaxPayload) return false;
    Header header;
    header.kind = static_cast<uint16_t>(kind);
    header.id = ++gNextId;
    header.length = static_cast<uint32_t>(request.size());
    std::vector<uint8_t> frame(kHeaderSize + request.size());
    encodeHeader(header, frame.data());
    if (!request.empty()) memcpy(frame.data() + kHeaderSize, request.data(), request.size());
    if (!sendAll(frame.data(), frame.size())) return false;

    uint8_t raw[kHeaderSize];
    if (!receiveAll(raw, kHeaderSize)) return false;
    const Header answer = decodeHeader(raw);
    if (!headerAcceptable(answer, true) || answer.kind != (header.kind | kReplyFlag) || answer.id != header.id)
        return false;
    reply.assign(answer.length, 0);
    return answer.length == 0 || receiveAll(reply.data(), answer.length);
}

// The name of the program this DLL runs in, for the server's log.
std::string programName() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return "unknown program";
    const std::string full(path, n);
    const size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? full : full.substr(slash + 1);
}

// Connects with a time limit; the socket is left blocking, with Nagle off (one small request
// waits for its reply) and time limits on sending and receiving.
SOCKET connectTo(const addrinfo* address) {
    SOCKET s = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
    if (s == INVALID_SOCKET) return s;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    bool connected = connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit = {kConnectTimeoutMs / 1000, (kConnectTimeoutMs % 1000) * 1000};
        connected = select(0, nullptr, &writable, &failed, &limit) > 0 && FD_ISSET(s, &writable);
    }
    nonBlocking = 0;
    if (!connected || ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    const BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    const DWORD timeout = kIoTimeoutMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    return s;
}

// Opens the connection and greets the server. False when that fails; nothing stays open then.
bool connectServer() {
    const Target& t = setting().target;
    if (!gWinsockStarted) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
        gWinsockStarted = true;
    }
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* addresses = nullptr;
    if (t.host.empty() || getaddrinfo(t.host.c_str(), t.port.c_str(), &hints, &addresses) != 0) return false;
    for (const addrinfo* a = addresses; a != nullptr && gSocket == INVALID_SOCKET; a = a->ai_next)
        gSocket = connectTo(a);
    freeaddrinfo(addresses);
    if (gSocket == INVALID_SOCKET) return false;

    HelloRequest q;
    q.pid = GetCurrentProcessId();
    q.description = "Tavik2.dll in " + programName();
    q.token = t.token;
    Writer hello;
    encode(hello, q);
    std::vector<uint8_t> reply;
    if (!exchange(Kind::Hello, hello.data(), reply)) {
        disconnect();
        return false;
    }
    Reader r(reply);
    HelloReply answer;
    if (!decode(r, answer)) {
        disconnect();
        return false;
    }
    gGeneration = ++gLastGeneration;
    return true;
}

} // namespace

bool enabled() { return setting().enabled; }

bool call(Kind kind, const std::vector<uint8_t>& request, std::vector<uint8_t>& reply, Generation required,
          Generation* answered) {
    if (answered != nullptr) *answered = 0;
    if (!enabled()) return false;
    Locked lock;
    if (required != 0 && required != gGeneration) return false;
    if (gSocket == INVALID_SOCKET && !connectServer()) return false;
    if (!exchange(kind, request, reply)) {
        disconnect();
        return false;
    }
    if (answered != nullptr) *answered = gGeneration;
    return true;
}

} // namespace tavik::platform::remote
