// tavikctl: the unit's hardware from the command line, through the library's exported functions,
// and control of the simulated unit on the host.
#include "cli.h"

#include <cstring>

#include "sim/unit.h"
#include "tavik2/messages.h"

namespace tavikctl {

std::string errorText(int32_t code) { return GetErrorStringA(code); }

json text8(const std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (b >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return utf8;
}

void emit(Context& ctx, const json& document, const std::string& text) {
    if (ctx.json)
        std::cout << document.dump(2) << '\n';
    else if (!text.empty())
        std::cout << text << (text.back() == '\n' ? "" : "\n");
}

void failWith(Context& ctx, const std::string& what, int32_t code) {
    if (ctx.json)
        std::cout << json{{"error", {{"what", what}, {"code", code}, {"message", errorText(code)}}}}.dump(2) << '\n';
    else
        std::cerr << what << ": " << errorText(code) << " (" << code << ")\n";
    ctx.exitCode = 1;
}

} // namespace tavikctl

int main(int argc, char** argv) {
    using namespace tavikctl;
    CLI::App app{"tavikctl: the panel computer's hardware through Tavik2"};
    app.require_subcommand(1);
    Context ctx;
    app.add_flag("--json", ctx.json, "Print JSON for scripts");
    // Read by the library on its first trace line, after the options are parsed.
    app.add_flag_callback("--trace", [] { setenv("TAVIK_TRACE", "1", 1); }, "Print the library's trace lines on stderr");

    addVersionCommands(app, ctx);
    addErrorCommands(app, ctx);
    addSettingsCommands(app, ctx);
    addMessageCommands(app, ctx);
    addAboutCommands(app, ctx);
    addDiagCommands(app, ctx);
    addPowerCommands(app, ctx);
    addConfigCommands(app, ctx);
    addIoCommands(app, ctx);
    addTouchCommands(app, ctx);
    addVideoCommands(app, ctx);
    addFirmwareCommands(app, ctx);
    addTelematicsCommands(app, ctx);
    addPowerMgrCommands(app, ctx);
    addBacklightCommands(app, ctx);
    addLightCommands(app, ctx);
    addAblCommands(app, ctx);
    addBuzzerCommands(app, ctx);
    addFrontLedCommands(app, ctx);
    addBatteryCommands(app, ctx);
    addStorageCommands(app, ctx);
    addPrivateCommands(app, ctx);
    addServiceCommands(app, ctx);
    addStatusCommands(app, ctx);
    addSimCommands(app, ctx);

    // A unit that cannot be used is reported before any command runs; only a reset (or a
    // profile load after it) can make it usable again.
    bool resetting = false;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "sim") == 0 && std::strcmp(argv[i + 1], "reset") == 0) resetting = true;
    if (!resetting) {
        try {
            tavik::sim::Unit::instance();
        } catch (const std::exception& e) {
            std::cerr << "tavikctl: " << e.what() << '\n';
            return 1;
        }
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        std::cerr << "tavikctl: " << e.what() << '\n';
        return 2;
    }
    return ctx.exitCode;
}
