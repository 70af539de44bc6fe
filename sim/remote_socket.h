// POSIX socket pieces shared by the remote server and its test client.
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace tavik::sim::remote_socket {

// How long a read polls before it blocks. Requests come in quick succession and a blocked thread
// of an otherwise idle machine (a virtual one above all) takes tens of microseconds to wake:
// polling briefly keeps a round trip near the cost of the work itself.
constexpr auto kSpinBeforeBlocking = std::chrono::microseconds(200);

// Reads exactly n bytes; false when the peer closed or the socket failed first. With `spin` the
// read polls (yielding the processor to anyone who needs it) before it blocks.
inline bool readFull(int fd, void* data, size_t n, bool spin = false) {
    auto* p = static_cast<uint8_t*>(data);
    const auto spinUntil = std::chrono::steady_clock::now() + (spin ? kSpinBeforeBlocking : std::chrono::microseconds(0));
    while (n > 0) {
        ssize_t got = ::recv(fd, p, n, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (spin && std::chrono::steady_clock::now() < spinUntil) {
                std::this_thread::yield();
                continue;
            }
            got = ::recv(fd, p, n, 0);
        }
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= size_t(got);
    }
    return true;
}

// Writes all n bytes (no SIGPIPE on a closed peer); false when the socket failed.
inline bool writeAll(int fd, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

// Request and reply are small and answered at once: no coalescing delay.
inline void setNoDelay(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// "127.0.0.1:53122", "[::1]:53122".
inline std::string endpointText(const sockaddr* sa, socklen_t length) {
    char host[NI_MAXHOST] = "?", service[NI_MAXSERV] = "?";
    ::getnameinfo(sa, length, host, sizeof host, service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
    const std::string h = sa->sa_family == AF_INET6 ? "[" + std::string(host) + "]" : std::string(host);
    return h + ":" + service;
}

} // namespace tavik::sim::remote_socket
