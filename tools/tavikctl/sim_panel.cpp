// tavikctl sim panel: the unit of this home as a live front panel in the browser. A thin HTTP
// layer over the `tavikctl sim` operations (sim_ops.h): the page is installed data
// (share/tavik/panel), the JSON API calls the same functions as the command line, and a watcher
// announces every commit to the unit as a server-sent event.
//
// Safety, for a server on a developer's machine: every API request carries the token printed at
// start (query "token" or "Authorization: Bearer"), also on loopback, so that another web site in
// the same browser cannot drive the unit; the Host header must name this server by an address or
// "localhost" (no DNS rebinding), and an Origin, when sent, must be this server.
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "sim_panel.h"
#include "power/power_mgr.h"
#include "powermgr_service.h"
#include "sim/lighting_model.h"
#include "sim/profile_files.h"
#include "sim/remote_server.h"
#include "sim/unit.h"
#include "sim/video_model.h"
#include "sim_ops.h"
#include "sim_panel_parts.h"
#include "sim_panel_watch.h"

namespace tavikctl {
namespace sim_panel_cmd {

namespace fs = std::filesystem;
namespace sim = tavik::sim;
using namespace std::chrono_literals;

constexpr uint16_t kDefaultPort = 47821;
constexpr size_t kMaxBody = 16u << 20;    // a raw video frame; other bodies are far smaller
constexpr size_t kMaxJsonBody = 64u << 10;
constexpr int kThreads = 16;
constexpr int kMaxStreams = 8;            // event streams open at once; each holds a thread
constexpr auto kWatchPeriod = 40ms;       // a commit is announced within this (plus the send)
constexpr auto kHeartbeat = 10s;          // an idle stream sends a comment, to find closed pages
constexpr time_t kTimeoutSeconds = 5;     // to read a request, or write a reply
constexpr time_t kKeepAliveSeconds = 1;   // an idle kept-alive connection polls, so it ends soon
constexpr size_t kMinTokenChars = 16;
constexpr size_t kMaxRampPoints = 64;
constexpr uint32_t kThumbnailWidth = 160; // pixels, when the page asks for no other width
constexpr uint32_t kMaxThumbnailWidth = 720;

std::string randomToken() {
    std::random_device random;
    std::string token;
    static const char* const kHex = "0123456789abcdef";
    for (int i = 0; i < 32; ++i) token += kHex[random() & 15];
    return token;
}

std::string readTokenFile(const std::string& path) {
    std::ifstream in(path);
    std::string token;
    if (!in || !(in >> token)) throw CLI::ValidationError("--token-file", "cannot read a token from " + path);
    if (token.size() < kMinTokenChars || token.find_first_not_of("0123456789abcdefABCDEFghijklmnopqrstuvwxyzGHIJKLMNOPQRSTUVWXYZ-_") != std::string::npos)
        throw CLI::ValidationError("--token-file", "the token must be at least 16 letters, digits, '-' or '_'");
    return token;
}

bool sameText(const std::string& a, const std::string& b) {
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool isLoopback(const std::string& address) {
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

// A host as the Host header or an Origin gives it, with its port: "localhost", an IPv4 address or
// a bracketed IPv6 address (a DNS name could be rebound to this machine by another site).
bool acceptedHost(const std::string& hostPort, uint16_t port) {
    std::string host = hostPort, portText;
    const size_t colon = hostPort.rfind(':');
    const size_t bracket = hostPort.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        host = hostPort.substr(0, colon);
        portText = hostPort.substr(colon + 1);
    }
    if (portText != std::to_string(port)) return false;
    if (host == "localhost") return true;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return host.find_first_not_of("0123456789abcdefABCDEF:.", 1) == host.size() - 1;
    int dots = 0;
    for (char c : host) {
        if (c == '.') ++dots;
        else if (c < '0' || c > '9') return false;
    }
    return dots == 3;
}

// The page's folder: share/tavik/panel beside the program's bin folder, in the build tree as in
// an installation.
std::string pageFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return (exe.parent_path().parent_path() / "share" / "tavik" / "panel").string();
}

json bodyObject(const httplib::Request& req) {
    if (req.body.size() > kMaxJsonBody) throw std::invalid_argument("the body is larger than 64 KiB");
    json body = json::parse(req.body, nullptr, false);
    if (!body.is_object()) throw std::invalid_argument("the body must be a JSON object");
    return body;
}

// A number or a text from a JSON body, as the command line would give it.
std::string optionText(const json& body, const char* key) {
    if (!body.contains(key) || body[key].is_null()) return {};
    const json& v = body[key];
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_unsigned() || v.is_number_integer()) return v.dump();
    throw std::invalid_argument(std::string(key) + ": a number or a text");
}

class Panel {
public:
    Panel(std::string token, uint16_t port) : token_(std::move(token)), port_(port) {
        client_.id = sim::newClientId();
        client_.pid = static_cast<uint32_t>(::getpid());
        client_.name = "panel (tavikctl sim panel)";
    }

    void attach(httplib::Server& server, UnitWatcher& watcher);
    void setPort(uint16_t port) { port_ = port; }

private:
    using Handler = std::function<json(const httplib::Request&)>;
    // `serial`: the handler calls the library's families, whose shared objects are not
    // thread-safe; reads of the unit alone run beside them (the unit serialises its transactions).
    void api(httplib::Server& server, const char* method, const char* path, Handler handler, bool serial = true);
    httplib::Server::HandlerResponse guard(const httplib::Request& req, httplib::Response& res);
    json pressButton(const std::string& press);
    json setLight(const json& body);
    json setVideo(const httplib::Request& req);

    std::string token_;
    uint16_t port_;
    std::mutex ops_; // the operations (and the library's shared objects) one request at a time
    sim::Client client_;
    std::atomic<int> streams_{0};
    panel_parts::FirmwareTracker firmware_;
};

httplib::Server::HandlerResponse Panel::guard(const httplib::Request& req, httplib::Response& res) {
    auto refuse = [&](int status, const std::string& why) {
        res.status = status;
        res.set_content(json{{"error", why}}.dump(), "application/json");
        return httplib::Server::HandlerResponse::Handled;
    };
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Referrer-Policy", "no-referrer"); // the page's address carries the token
    res.set_header("Cache-Control", "no-store");
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; img-src 'self' data: blob:; media-src 'self' blob:; frame-ancestors 'none'");
    if (!acceptedHost(req.get_header_value("Host"), port_)) return refuse(403, "Host not accepted");
    if (req.has_header("Origin")) {
        const std::string origin = req.get_header_value("Origin");
        if (origin.rfind("http://", 0) != 0 || !acceptedHost(origin.substr(7), port_))
            return refuse(403, "Origin not accepted");
    }
    if (req.path.rfind("/api/", 0) != 0) return httplib::Server::HandlerResponse::Unhandled;
    std::string given = req.get_param_value("token");
    const std::string auth = req.get_header_value("Authorization");
    if (auth.rfind("Bearer ", 0) == 0) given = auth.substr(7);
    if (!sameText(given, token_)) return refuse(403, "a valid token is needed (the URL printed at start)");
    return httplib::Server::HandlerResponse::Unhandled;
}

void Panel::api(httplib::Server& server, const char* method, const char* path, Handler handler, bool serial) {
    auto run = [this, handler, serial](const httplib::Request& req, httplib::Response& res) {
        json reply;
        try {
            std::unique_lock<std::mutex> lock(ops_, std::defer_lock);
            if (serial) lock.lock();
            reply = handler(req);
        } catch (const sim::UnitError& e) {
            res.status = 500;
            reply = {{"error", e.what()}};
        } catch (const simops::Refused& e) {
            res.status = 400;
            reply = {{"error", e.message}, {"option", e.option}};
        } catch (const std::exception& e) {
            res.status = 400;
            reply = {{"error", e.what()}};
        }
        res.set_content(reply.dump(), "application/json");
    };
    if (std::string(method) == "GET")
        server.Get(path, run);
    else
        server.Post(path, run);
}

// The front button pressed and released, as the scenarios press it (simops::buttonUp): the
// platform service (`tavikctl service run`), when it runs, acknowledges the power request and
// starts the cycle the start-up configuration gives the press.
json Panel::pressButton(const std::string& press) {
    if (press != "short" && press != "long") throw simops::Refused("press", "short or long");
    simops::buttonDown();
    const int transition = simops::buttonUp(press == "long");
    json reply = {{"press", press}, {"action", transition == kTransitionSuspend    ? "suspend"
                                               : transition == kTransitionShutdown ? "shutdown"
                                                                                   : "none"}};
    const bool running = tavik::power::readPowerMgrKey(tavik::power::kPowerMgrRunningKey) != 0;
    reply["service"] = running ? "running" : "not running";
    return reply;
}

// {"lux": L} holds the light; {"ramp": [[seconds, lux], ...]} plays a ramp from now.
json Panel::setLight(const json& body) {
    if (body.contains("ramp")) {
        const json& ramp = body["ramp"];
        if (!ramp.is_array() || ramp.empty() || ramp.size() > kMaxRampPoints)
            throw simops::Refused("ramp", "1 to 64 points [seconds, lux]");
        std::string script;
        for (const json& p : ramp) {
            if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number())
                throw simops::Refused("ramp", "each point is [seconds, lux]");
            script += p[0].dump() + " " + p[1].dump() + "\n";
        }
        json points;
        std::string error;
        if (!sim::parseLightScript(script, points, error)) throw simops::Refused("ramp", error);
        sim::startLightScript(points);
        return {{"script", points}};
    }
    if (!body.contains("lux") || !body["lux"].is_number()) throw simops::Refused("lux", "a number of lux");
    const double lux = body["lux"].get<double>();
    if (!(lux >= 0 && lux <= 1e6)) throw simops::Refused("lux", "0 to 1000000");
    sim::setAmbientLight(lux);
    return {{"lux", lux}};
}

// ?input=N with {"source": "pattern"}, or the raw frame's bytes (application/octet-stream).
json Panel::setVideo(const httplib::Request& req) {
    const std::string inputText = req.get_param_value("input");
    if (inputText != "1" && inputText != "2") throw simops::Refused("input", "video input 1 or 2");
    const int input = inputText[0] - '0';
    const std::string key = "input" + inputText;
    if (req.get_header_value("Content-Type") == "application/octet-stream") {
        const std::vector<uint8_t> bytes(req.body.begin(), req.body.end());
        if (bytes.empty()) throw simops::Refused("frame", "an empty file");
        sim::Unit::instance().transact([&](sim::Txn& txn) {
            txn.blobAssign(sim::videoFrameBlob(input), bytes);
            txn.edit("video")[key]["source"] = "file";
        });
        return {{"input", input}, {"source", "file"}, {"bytes", bytes.size()}};
    }
    const json body = bodyObject(req);
    if (body.value("source", std::string()) != "pattern") throw simops::Refused("source", "\"pattern\" or a file");
    sim::Unit::instance().transact([&](sim::Txn& txn) {
        txn.edit("video")[key]["source"] = "pattern";
        txn.blobRemove(sim::videoFrameBlob(input));
    });
    return {{"input", input}, {"source", "pattern"}};
}

void Panel::attach(httplib::Server& server, UnitWatcher& watcher) {
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) { return guard(req, res); });

    api(server, "GET", "/api/get", [](const httplib::Request& req) { return simops::get(req.get_param_value("field")); },
        false);
    api(server, "POST", "/api/set", [](const httplib::Request& req) {
        const json body = bodyObject(req);
        if (!body.contains("field") || !body["field"].is_string() || !body.contains("value"))
            throw std::invalid_argument("give {\"field\": \"MODEL.FIELD\", \"value\": ...}");
        const json& v = body["value"];
        return simops::set(body["field"].get<std::string>(), v.is_string() ? v.get<std::string>() : v.dump());
    });
    api(server, "GET", "/api/status", [this](const httplib::Request&) {
        sim::ClientScope scope(&client_); // the log names the panel's reads as such
        return simops::status().document;
    });
    api(server, "GET", "/api/log", [](const httplib::Request& req) {
        simops::LogFilter f;
        f.since = req.get_param_value("since");
        f.target = req.get_param_value("target");
        f.code = req.get_param_value("code");
        const std::string last = req.get_param_value("last");
        if (!last.empty()) f.last = simops::parseNumber("last", last);
        return simops::logJson(simops::readLog(f));
    }, false);
    api(server, "GET", "/api/faults", [](const httplib::Request&) { return simops::faults(); }, false);
    api(server, "POST", "/api/fault", [](const httplib::Request& req) {
        const json body = bodyObject(req);
        simops::FaultOptions options;
        if (body.contains("target")) options.target = optionText(body, "target");
        if (body.contains("code")) options.code = optionText(body, "code");
        options.action = optionText(body, "action");
        options.count = optionText(body, "count");
        options.reply = optionText(body, "reply");
        options.times = optionText(body, "times");
        options.skip = optionText(body, "skip");
        options.address = optionText(body, "address");
        options.value = optionText(body, "value");
        return simops::addFault(options);
    });
    api(server, "POST", "/api/faults/clear", [](const httplib::Request&) {
        simops::clearFaults();
        return json{{"cleared", true}};
    });
    api(server, "GET", "/api/profiles", [](const httplib::Request&) {
        json list = json::array();
        for (const auto& p : sim::listShippedProfiles())
            if (p.error.empty()) list.push_back({{"name", p.name}, {"description", p.description}});
        return list;
    });
    api(server, "POST", "/api/profile", [](const httplib::Request& req) {
        const json body = bodyObject(req);
        const std::string name = optionText(body, "profile");
        // Shipped profiles only: a path would let a page read any file of this machine.
        if (name.empty() || name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_") != std::string::npos)
            throw simops::Refused("profile", "the name of a shipped profile");
        return simops::loadProfile(name);
    });
    api(server, "POST", "/api/reset", [](const httplib::Request&) { return simops::reset(); });
    api(server, "POST", "/api/light", [this](const httplib::Request& req) { return setLight(bodyObject(req)); });
    api(server, "POST", "/api/button", [this](const httplib::Request& req) {
        return pressButton(optionText(bodyObject(req), "press"));
    });
    api(server, "POST", "/api/video", [this](const httplib::Request& req) { return setVideo(req); });
    api(server, "GET", "/api/powermgr", [](const httplib::Request&) {
        // The service's side, as the settings file holds it (a power manager object would mark
        // the unit as resumed).
        namespace power = tavik::power;
        int32_t request = power::readPowerMgrKey(power::kPowerMgrRequestKey);
        if (request < 0 || request > power::kHighestPowerMgrRequest) request = 0;
        return json{{"service", power::powerMgrServiceRunning()},
                    {"request", request},
                    {"request_name", powerMgrRequestName(request)},
                    {"ready_reports", power::readPowerMgrKey(power::kPowerMgrReadyKey)}};
    });
    api(server, "GET", "/api/supply", [](const httplib::Request&) { return panel_parts::supplyVoltages(); }, false);
    api(server, "POST", "/api/supply", [](const httplib::Request& req) { return panel_parts::setSupply(bodyObject(req)); });
    // Read from the unit alone: asking the library would take the job lock for a moment, and a
    // job starting then elsewhere would be refused as one in progress.
    api(server, "GET", "/api/firmware", [this](const httplib::Request&) { return firmware_.state(); }, false);
    // The current frame of an input as a small picture; 404 with the reason when there is none.
    server.Get("/api/video/frame", [](const httplib::Request& req, httplib::Response& res) {
        const std::string input = req.get_param_value("input");
        const std::string width = req.get_param_value("width");
        std::string error;
        uint32_t w = kThumbnailWidth;
        if (input != "1" && input != "2") error = "input: video input 1 or 2";
        else if (!width.empty() && (width.size() > 4 || width.find_first_not_of("0123456789") != std::string::npos ||
                                    (w = std::stoul(width)) == 0 || w > kMaxThumbnailWidth))
            error = "width: 1 to 720 pixels";
        if (!error.empty()) {
            res.status = 400;
            res.set_content(json{{"error", error}}.dump(), "application/json");
            return;
        }
        try {
            const panel_parts::Thumbnail t = panel_parts::videoThumbnail(input[0] - '0', w);
            if (t.bmp.empty()) {
                res.status = 404;
                res.set_content(json{{"error", "no signal: " + t.noSignal}}.dump(), "application/json");
                return;
            }
            res.set_content(reinterpret_cast<const char*>(t.bmp.data()), t.bmp.size(), "image/bmp");
        } catch (const std::exception& e) {
            res.status = 500;
            res.set_content(json{{"error", e.what()}}.dump(), "application/json");
        }
    });

    server.Get("/api/events", [this, &watcher](const httplib::Request& req, httplib::Response& res) {
        if (++streams_ > kMaxStreams) {
            --streams_;
            res.status = 503;
            res.set_content(json{{"error", "too many event streams"}}.dump(), "application/json");
            return;
        }
        // Starts with the current state, so that a page knows the sequence number to read from.
        auto seen = std::make_shared<uint64_t>(0);
        auto first = std::make_shared<bool>(true);
        res.set_header("X-Accel-Buffering", "no");
        (void)req;
        res.set_chunked_content_provider(
            "text/event-stream",
            [&watcher, seen, first](size_t, httplib::DataSink& sink) {
                std::string out;
                if (*first) {
                    *first = false;
                    UnitWatcher::Event now = watcher.latest();
                    *seen = now.id;
                    out = "retry: 1000\nevent: hello\ndata: " + eventJson(now).dump() + "\n\n";
                } else {
                    const auto events = watcher.eventsAfter(*seen, kHeartbeat);
                    if (watcher.stopping()) {
                        sink.done();
                        return true;
                    }
                    for (const auto& e : events) {
                        out += "id: " + std::to_string(e.id) + "\nevent: change\ndata: " + eventJson(e).dump() + "\n\n";
                        *seen = e.id;
                    }
                    if (events.empty()) out = ": idle\n\n";
                }
                return sink.write(out.data(), out.size());
            },
            [this](bool) { --streams_; });
    });
}

// SIGINT and SIGTERM are taken by one thread that stops the server.
sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

struct PanelOptions {
    std::string listen;
    std::string tokenFile;
};

void servePanel(Context& ctx, const PanelOptions& o) {
    std::string address = "127.0.0.1";
    uint16_t port = kDefaultPort;
    if (!o.listen.empty() && !sim::parseListenAddress(o.listen, address, port))
        throw CLI::ValidationError("--listen", "\"" + o.listen + "\" is not ADDRESS:PORT (e.g. 127.0.0.1:47821)");
    const std::string token = o.tokenFile.empty() ? randomToken() : readTokenFile(o.tokenFile);
    const std::string folder = pageFolder();
    if (!fs::exists(folder + "/index.html")) throw std::runtime_error("the panel's page is missing: " + folder + "/index.html");
    const std::string home = sim::Unit::instance().home();

    // Blocked before any thread starts, so that every thread inherits the mask.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_read_timeout(kTimeoutSeconds);
    server.set_write_timeout(kTimeoutSeconds);
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    server.set_payload_max_length(kMaxBody);
    if (!server.set_mount_point("/", folder)) throw std::runtime_error("cannot serve " + folder);
    server.set_file_extension_and_mimetype_mapping("js", "text/javascript");

    UnitWatcher watcher(home, std::chrono::duration_cast<std::chrono::milliseconds>(kWatchPeriod));
    Panel panel(token, port);
    panel.attach(server, watcher);
    const int bound = port == 0 ? server.bind_to_any_port(address) : (server.bind_to_port(address, port) ? port : -1);
    if (bound <= 0) throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port));
    port = static_cast<uint16_t>(bound);
    panel.setPort(port);

    const bool v6 = address.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + address + "]" : address;
    const std::string shown = address == "0.0.0.0" ? "127.0.0.1" : address == "::" ? "[::1]" : host;
    const std::string url = "http://" + shown + ":" + std::to_string(port) + "/?token=" + token;
    if (!isLoopback(address))
        std::cerr << "tavikctl: warning: listening on " << address
                  << ", not only on this machine: whoever reaches it with the token drives the unit\n";
    if (ctx.json)
        std::cout << json{{"url", url}, {"address", address}, {"port", port}, {"home", home}}.dump() << std::endl;
    else
        std::cout << "the panel of the unit in " << home << ": open " << url << std::endl;

    std::thread watching([&watcher] { watcher.run(); });
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&signals, &signal);
        watcher.stop();
        server.stop();
    });
    const bool served = server.listen_after_bind();
    watcher.stop();
    if (stopper.joinable()) {
        // Wakes the signal thread when the server ended by itself.
        if (!served) pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
    }
    watching.join();
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

} // namespace sim_panel_cmd

void addSimPanelCommands(CLI::App& sim, Context& ctx) {
    using namespace sim_panel_cmd;
    auto* cmd = sim.add_subcommand("panel", "Serve a live front panel of this unit to a web browser, with its JSON "
                                            "API, until SIGINT/SIGTERM");
    static PanelOptions o;
    cmd->add_option("--listen", o.listen, "ADDRESS:PORT to listen on (default 127.0.0.1:47821; port 0: a free one)");
    cmd->add_option("--token-file", o.tokenFile, "Take the access token from this file instead of a new random one");
    cmd->callback([&ctx] { servePanel(ctx, o); });
}

} // namespace tavikctl
