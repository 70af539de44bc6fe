// The unit of this process's home served to other processes and to the Windows build over TCP
// (`tavikctl sim serve`), in the frames of platform/remote_protocol.h. One thread per connection.
// Every request is answered as a local caller of the host build is answered: by the same
// models, faults and log, or from the trace while a replay runs (sim/replay.h); the log names
// the client (sim::Client). A frame that is malformed or over its size limit closes its own
// connection and nothing else.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace tavik::sim {

// "ADDRESS:PORT" ("127.0.0.1:47820", "[::1]:0", "localhost:47820") into its parts; false when
// the text is not one.
bool parseListenAddress(const std::string& text, std::string& address, uint16_t& port);

// Whether a numeric address ("127.0.0.1", "::1", "::ffff:127.0.0.2") is a loopback one.
bool isLoopbackAddress(const std::string& numeric);

struct ServerOptions {
    // A connection waiting for its next request this long is closed.
    std::chrono::milliseconds idleTimeout{std::chrono::hours(1)};
    // Longest time to send a frame once its first byte came (and to send the Hello after
    // connecting), and to take a reply.
    std::chrono::milliseconds frameTimeout{std::chrono::seconds(10)};
    // Required in every Hello when not empty. A server that does not listen on loopback makes one
    // up when none is given.
    std::string token;
};

class RemoteServer {
public:
    // Listens on address:port (port 0: a free one). Throws std::runtime_error saying why it cannot.
    RemoteServer(const std::string& address, uint16_t port, ServerOptions options = {});
    // Stops (as stop() and run() returning would) and waits for the connections' threads.
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // The numeric address and the port it listens on (the chosen one when 0 was asked).
    const std::string& address() const;
    uint16_t port() const;
    // The token clients must give; empty when none is needed.
    const std::string& token() const;

    // Accepts and serves connections until stop(); then closes every connection and returns.
    void run();
    // Makes run() return. Async-signal-safe (one write to a pipe); callable from any thread,
    // also before run().
    void stop();

    // Connections being served now.
    size_t connectionCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tavik::sim
