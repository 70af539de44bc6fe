// A small client of `tavikctl sim serve` (sim/remote_server.h) for the host's tests and
// benchmarks: one connection, one request at a time, the frames of platform/remote_protocol.h.
// A reply or a send that makes no progress for 30 s fails the call.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/remote_protocol.h"

namespace tavik::sim {

// The connection failed, was closed by the server, or a reply did not decode.
struct RemoteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class RemoteClient {
public:
    // Connects; says Hello (with `token` when not empty) unless `hello` is false (tests of
    // malformed first frames). Throws RemoteError when it cannot.
    RemoteClient(const std::string& address, uint16_t port, bool hello = true,
                 const std::string& description = "test client", const std::string& token = "");
    // Connects where TAVIK_SIM says ([TOKEN@]ADDRESS[:PORT], the token also from TAVIK_SIM_TOKEN;
    // platform/remote_target.h) and says Hello. Throws RemoteError when it is unset or fails.
    static std::unique_ptr<RemoteClient> fromEnvironment(const std::string& description = "test client");
    ~RemoteClient();
    RemoteClient(const RemoteClient&) = delete;
    RemoteClient& operator=(const RemoteClient&) = delete;

    // "127.0.0.1:53122": this end of the connection, as the server sees it.
    const std::string& localEndpoint() const { return local_; }
    uint32_t serverPid() const { return serverPid_; }

    // One request and its reply payload (the reply's kind and id are checked).
    std::vector<uint8_t> call(platform::remote::Kind kind, const std::vector<uint8_t>& payload);

    uint32_t hello(uint32_t pid, const std::string& description, const std::string& token = "");
    // The server's description from its Hello reply.
    const std::string& serverDescription() const { return serverDescription_; }

    // The device id, 0 when the open failed.
    uint32_t deviceOpen(const std::string& name);
    struct ControlReply {
        bool ok = false;
        uint32_t returned = 0;
        std::vector<uint8_t> out;
    };
    ControlReply deviceControl(uint32_t device, uint32_t code, const std::vector<uint8_t>& in, uint32_t outSize);
    ControlReply deviceRead(uint32_t device, uint32_t size);
    void deviceClose(uint32_t device);

    struct BoardReply {
        uint32_t result = 0;
        uint32_t outs[platform::remote::kBoardOuts] = {};
        std::vector<uint8_t> data;
    };
    struct BoardRequest {
        platform::remote::BoardOrdinal ordinal{};
        uint32_t args[platform::remote::kBoardArgs] = {};
        bool hasClass = false;
        std::u16string className;
        std::vector<uint8_t> data;
        uint32_t readLength = 0;
    };
    BoardReply boardCall(const BoardRequest& request);

    platform::remote::ServiceAnswer serviceControl(const std::string& service, uint32_t code);

    // Raw access for tests of the framing.
    bool sendRaw(const std::vector<uint8_t>& bytes);
    // Waits (up to `timeoutMs`) for the server to close the connection: true when it did.
    bool closedByServer(int timeoutMs = 5000);

private:
    int fd_ = -1;
    uint32_t nextId_ = 1;
    uint32_t serverPid_ = 0;
    std::string serverDescription_;
    std::string local_;
};

} // namespace tavik::sim
