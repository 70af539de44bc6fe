// tavikctl sim serve: the unit of this home served to other processes and the Windows build.
#include <atomic>
#include <csignal>

#include "cli.h"
#include "platform/remote_protocol.h"
#include "sim/remote_server.h"
#include "sim/unit.h"

namespace tavikctl {
namespace {

std::atomic<tavik::sim::RemoteServer*> gServer{nullptr};

void onStopSignal(int) {
    if (tavik::sim::RemoteServer* s = gServer.load()) s->stop();
}

void serve(Context& ctx, const std::string& listen) {
    namespace proto = tavik::platform::remote;
    std::string address = proto::kDefaultAddress;
    uint16_t port = proto::kDefaultPort;
    if (!listen.empty() && !tavik::sim::parseListenAddress(listen, address, port))
        throw CLI::ValidationError("--listen", "\"" + listen + "\" is not ADDRESS:PORT (e.g. 127.0.0.1:47820)");
    tavik::sim::RemoteServer server(address, port);
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
    emit(ctx, json{{"address", server.address()}, {"port", server.port()}, {"home", home}},
         "serving the unit of " + home + " on " + endpoint);
    std::cout.flush();
    server.run();
    gServer = nullptr;
}

} // namespace

void addSimServeCommands(CLI::App& sim, Context& ctx) {
    auto* cmd = sim.add_subcommand("serve", "Serve this unit to other processes and the Windows build "
                                            "(TAVIK_SIM=ADDRESS:PORT) until SIGINT/SIGTERM");
    static std::string listen;
    cmd->add_option("--listen", listen, "ADDRESS:PORT to listen on (default 127.0.0.1:47820; port 0: a free one)");
    cmd->callback([&ctx] { serve(ctx, listen); });
}

} // namespace tavikctl
