// tavikctl: the unit's hardware from the command line, through the library's exported functions,
// and control of the simulated unit on the host.
#include "cli.h"

#include <cctype>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "sim/unit.h"
#include "tavik2/messages.h"

namespace tavikctl {

std::string errorText(int32_t code) { return GetErrorStringA(code); }

int exitStatusFor(int32_t code) {
    if (code == ERR_SUCCESS) return kExitSuccess;
    return code == ERR_OPEN_FAILED ? kExitUnreachable : kExitRefused;
}

bool lacksFeature(int32_t code) {
    return code == ERR_NOT_SUPPORTED || code == ERR_NEWER_SS_VERSION_REQUIRED ||
           code == ERR_NEWER_FPGA_VERSION_REQUIRED || code == ERR_NEWER_FRONT_VERSION_REQUIRED;
}

namespace {
std::map<const CLI::App*, std::vector<std::function<std::string(const std::string&)>>>& usageHints() {
    static std::map<const CLI::App*, std::vector<std::function<std::string(const std::string&)>>> hints;
    return hints;
}
} // namespace

void addUsageHint(const CLI::App* command, std::function<std::string(const std::string& word)> hint) {
    usageHints()[command].push_back(std::move(hint));
}

CLI::Validator finiteRange(double lowest, double highest) {
    std::ostringstream range;
    range << "[" << lowest << " - " << highest << "]";
    return CLI::Validator(
        [lowest, highest, bounds = range.str()](std::string& text) -> std::string {
            double v = 0;
            if (!CLI::detail::lexical_cast(text, v)) return "not a number: " + text;
            if (!(v >= lowest && v <= highest)) return "Value " + text + " not in range " + bounds; // NaN too
            return {};
        },
        "NUMBER in " + range.str());
}

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
    ctx.fail(exitStatusFor(code));
}

namespace {

const char* kExitHelp =
    "Exit status: 0 done (an overview also when the unit lacks a part, a feature or a setting: it\n"
    "shows them as such); 1 the unit or the library refused (the result code is printed);\n"
    "2 the command line was not understood, or a value or input file is wrong; 3 the unit could\n"
    "not be reached (driver, device or service not there: code 1; simulated unit not usable).";

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "tavikctl led set" for a command.
std::string pathOf(const CLI::App* command) {
    std::string path;
    for (const CLI::App* a = command; a != nullptr; a = a->get_parent())
        path = a->get_parent() == nullptr ? "tavikctl" + path : " " + a->get_name() + path;
    return path;
}

std::string commandList(const CLI::App* command) {
    std::string list;
    for (const CLI::App* sub : command->get_subcommands([](const CLI::App*) { return true; }))
        list += (list.empty() ? "" : ", ") + sub->get_name();
    return list;
}

const CLI::App* findSubcommand(const CLI::App* command, const std::string& name) {
    for (const CLI::App* sub : command->get_subcommands([](const CLI::App*) { return true; }))
        if (sub->get_name() == name) return sub;
    return nullptr;
}

// Explains a command line that was not understood, naming what was not and what would be.
// Returns the usage exit status.
int usageError(CLI::App& app, const CLI::ParseError& error) {
    // The deepest command that was recognised: the context of the message.
    CLI::App* at = &app;
    while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
    const std::string path = pathOf(at);
    const std::vector<std::string> rest = app.remaining(true);
    const bool hasCommands = !at->get_subcommands([](const CLI::App*) { return true; }).empty();

    std::string message;
    std::string hint;
    if (!rest.empty()) {
        const std::string& word = rest.front();
        if (word.size() > 1 && word[0] == '-') {
            message = path + ": unknown option \"" + word + "\"";
        } else if (hasCommands) {
            message = path + ": \"" + word + "\" is not a command";
            if (const CLI::App* close = findSubcommand(at, lower(word)); close != nullptr && close->get_name() != word)
                hint = pathOf(close) + " (commands are lower case)";
        } else {
            message = path + ": unexpected \"" + word + "\"";
        }
        const bool option = word.size() > 1 && word[0] == '-';
        for (const CLI::App* a = at; a != nullptr && hint.empty() && !option; a = a->get_parent()) {
            const auto found = usageHints().find(a);
            if (found == usageHints().end()) continue;
            for (const auto& h : found->second)
                if (hint.empty()) hint = h(word);
        }
    } else if (error.get_name() == "RequiredError" && hasCommands && at->get_subcommands().empty() &&
               std::string(error.what()).find("subcommand") != std::string::npos) {
        message = path + ": a command is needed";
    } else {
        message = path + ": " + error.what();
    }
    std::cerr << message << '\n';
    if (!hint.empty()) std::cerr << "Did you mean: " << hint << '\n';
    if (hasCommands) std::cerr << "Commands of " << path << ": " << commandList(at) << '\n';
    std::cerr << "Run \"" << path << " --help\" for the usage.\n";
    return kExitUsage;
}

// --json and --trace are understood after any command too (`tavikctl status --json`).
void letGlobalOptionsThrough(CLI::App& command) {
    for (CLI::App* sub : command.get_subcommands([](const CLI::App*) { return true; })) {
        sub->fallthrough();
        letGlobalOptionsThrough(*sub);
    }
}

} // namespace

} // namespace tavikctl

int main(int argc, char** argv) {
    using namespace tavikctl;
    CLI::App app{"tavikctl: the panel computer's hardware through Tavik2"};
    app.require_subcommand(1);
    app.footer(kExitHelp);
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
    letGlobalOptionsThrough(app);

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
            return kExitUnreachable;
        }
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e); // --help
        return usageError(app, e);
    } catch (const tavik::sim::UnitError& e) {
        std::cerr << "tavikctl: " << e.what() << '\n';
        return kExitUnreachable;
    } catch (const std::invalid_argument& e) {
        // A value or a profile that the simulated unit's models do not take.
        std::cerr << "tavikctl: " << e.what() << '\n';
        return kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "tavikctl: " << e.what() << '\n';
        return kExitRefused;
    }
    return ctx.exitCode;
}
