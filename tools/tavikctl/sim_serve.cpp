// tavikctl sim serve: the unit of this home served to other processes and the Windows build.
#include <malloc.h>

#include <atomic>
#include <csignal>
#include <fstream>

#include "cli.h"
#include "platform/remote_protocol.h"
#include "sim/remote_server.h"
#include "sim/unit.h"

namespace tavikctl {
namespace sim_serve_cmd {

std::atomic<tavik::sim::RemoteServer*> gServer{nullptr};

void onStopSignal(int) {
    if (tavik::sim::RemoteServer* s = gServer.load()) s->stop();
}

struct ServeOptions {
    std::string listen;
    std::string tokenFile;
    double idleTimeout = 3600;
    double frameTimeout = 10;
};

// The token of a file: its first line, without surrounding white space.
std::string readToken(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) throw CLI::ValidationError("--token-file", "cannot read " + path);
    const size_t first = line.find_first_not_of(" \t\r");
    const size_t last = line.find_last_not_of(" \t\r");
    const std::string token = first == std::string::npos ? "" : line.substr(first, last - first + 1);
    if (token.empty() || token.size() > 256 || token.find_first_of("@: \t") != std::string::npos)
        throw CLI::ValidationError("--token-file", path + " holds no token (one line of 1 to 256 characters "
                                                          "without '@', ':' or blanks)");
    return token;
}

std::chrono::milliseconds seconds(const char* option, double value) {
    if (!(value > 0 && value <= 86400)) throw CLI::ValidationError(option, "must be between 0 and 86400 seconds");
    return std::chrono::milliseconds(static_cast<int64_t>(value * 1000 + 0.5));
}

void serve(Context& ctx, const ServeOptions& o) {
    namespace proto = tavik::platform::remote;
    std::string address = proto::kDefaultAddress;
    uint16_t port = proto::kDefaultPort;
    if (!o.listen.empty() && !tavik::sim::parseListenAddress(o.listen, address, port))
        throw CLI::ValidationError("--listen", "\"" + o.listen + "\" is not ADDRESS:PORT (e.g. 127.0.0.1:47820)");
    tavik::sim::ServerOptions options;
    options.idleTimeout = seconds("--idle-timeout", o.idleTimeout);
    options.frameTimeout = seconds("--frame-timeout", o.frameTimeout);
    if (!o.tokenFile.empty()) options.token = readToken(o.tokenFile);
    // Request and reply buffers of up to 8 MiB come and go in each connection's thread. With
    // glibc's adaptive threshold they soon come from per-thread heaps, which keep the freed
    // memory: the server's size would follow the number of connections, not what it holds.
    // A fixed threshold maps every large buffer and gives it back when it is freed.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    tavik::sim::RemoteServer server(address, port, options);
    const std::string home = tavik::sim::Unit::instance().home();

    gServer = &server;
    struct sigaction action{};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const bool v6 = server.address().find(':') != std::string::npos;
    const std::string endpoint = (v6 ? "[" + server.address() + "]" : server.address()) + ":" +
                                 std::to_string(server.port());
    json doc{{"address", server.address()}, {"port", server.port()}, {"home", home}};
    std::string text = "serving the unit of " + home + " on " + endpoint;
    if (!tavik::sim::isLoopbackAddress(server.address()))
        std::cerr << "tavikctl: warning: " << endpoint << " is reachable from other machines; "
                  << "clients must give the token\n";
    if (!server.token().empty()) {
        doc["token"] = server.token();
        text += "\nclients need the token: TAVIK_SIM=" + server.token() + "@" + endpoint;
    }
    emit(ctx, doc, text);
    std::cout.flush();
    server.run();
    gServer = nullptr;
}

} // namespace sim_serve_cmd

void addSimServeCommands(CLI::App& sim, Context& ctx) {
    using namespace sim_serve_cmd;
    auto* cmd = sim.add_subcommand("serve", "Serve this unit to other processes and the Windows build "
                                            "(TAVIK_SIM=[TOKEN@]ADDRESS:PORT) until SIGINT/SIGTERM");
    static ServeOptions options;
    cmd->add_option("--listen", options.listen,
                    "ADDRESS:PORT to listen on (default 127.0.0.1:47820; port 0: a free one). Any address "
                    "but loopback requires a token");
    cmd->add_option("--token-file", options.tokenFile,
                    "Clients must give the token on this file's first line (default: none on loopback, "
                    "a new one printed at start elsewhere)");
    cmd->add_option("--idle-timeout", options.idleTimeout,
                    "Seconds a connection may wait between requests (default 3600)");
    cmd->add_option("--frame-timeout", options.frameTimeout,
                    "Seconds a client may take to send a frame or its Hello, or to take a reply (default 10)");
    cmd->callback([&ctx] { serve(ctx, options); });
}

} // namespace tavikctl
