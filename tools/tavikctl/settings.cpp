// tavikctl settings ...: the shared settings file through the library's store, under its lock.
// Keys and values are 8-bit texts; --json gives them losslessly (see text8 in cli.h).
#include "cli.h"

#include "frame/settings_file.h"
#include "platform/files.h"

namespace tavikctl {
namespace settings_cmd {

using tavik::frame::SettingsFile;

// Reports a failure of the settings command: the message on stderr (or in JSON), exit status 1.
void fail(Context& ctx, const std::string& message, json detail = json::object()) {
    if (ctx.json) {
        detail["error"] = message;
        std::cout << detail.dump(2) << '\n';
    } else {
        std::cerr << "tavikctl: " << message << '\n';
    }
    ctx.fail(kExitRefused);
}

// Loads the store; false (reported) when the file exists but cannot be read.
bool loadStore(Context& ctx, SettingsFile& store) {
    store.load();
    if (!store.readFailed()) return true;
    fail(ctx, "cannot read " + store.path() + " (" + tavik::platform::streamPath(store.path()) +
                  "): it exists but could not be read",
         {{"path", store.path()}});
    return false;
}

void listSettings(Context& ctx) {
    SettingsFile store;
    if (!loadStore(ctx, store)) return;
    json entries = json::object();
    std::string text;
    for (const auto& [key, value] : store.entries()) {
        entries[text8(key).get<std::string>()] = text8(value);
        text += key + "=" + value + "\n";
    }
    if (store.entries().empty()) text = "no settings in " + store.path();
    emit(ctx, json{{"path", store.path()}, {"entries", entries}}, text);
}

void getSetting(Context& ctx, const std::string& key) {
    SettingsFile store;
    if (!loadStore(ctx, store)) return;
    const auto it = store.entries().find(key);
    if (it == store.entries().end()) {
        if (ctx.json)
            std::cout << json{{"key", text8(key)}, {"value", nullptr}}.dump(2) << '\n';
        else
            std::cerr << key << ": not set in " << store.path() << '\n';
        ctx.fail(kExitRefused);
        return;
    }
    emit(ctx, json{{"key", text8(key)}, {"value", text8(it->second)}}, it->second);
}

void setSetting(Context& ctx, const std::string& key, const std::string& value) {
    if (const std::string problem = tavik::frame::settingsEntryProblem(key, value); !problem.empty()) {
        fail(ctx, "settings set: " + problem + "; nothing written", {{"key", text8(key)}, {"value", text8(value)}, {"written", false}});
        return;
    }
    SettingsFile store;
    store.load();
    if (!store.set(key, value)) {
        fail(ctx, "cannot write " + store.path() + ": " + store.writeError(),
             {{"key", text8(key)}, {"value", text8(value)}, {"written", false}, {"path", store.path()}});
        return;
    }
    emit(ctx, json{{"key", text8(key)}, {"value", text8(value)}, {"written", true}, {"path", store.path()}},
         key + "=" + value);
}

} // namespace settings_cmd

void addSettingsCommands(CLI::App& app, Context& ctx) {
    using namespace settings_cmd;
    auto* settings = app.add_subcommand("settings", "Read and write the shared settings file (Tavik.ini)");
    settings->require_subcommand(1);

    settings->add_subcommand("list", "Show every key and value")->callback([&ctx] { listSettings(ctx); });

    settings->add_subcommand("path", "Show where the settings file is, as the library names it and on this machine")
        ->callback([&ctx] {
            const std::string path = tavik::frame::settingsFilePath();
            const std::string host = tavik::platform::streamPath(path);
            emit(ctx, json{{"path", path}, {"host_path", host}}, path + "\non this machine: " + host);
        });

    auto* get = settings->add_subcommand("get", "Show the value of one key (exit status 1 when absent)");
    static std::string getKey;
    get->add_option("key", getKey, "Key")->required();
    get->callback([&ctx] { getSetting(ctx, getKey); });

    auto* set = settings->add_subcommand("set", "Set one key, rewriting the file");
    static std::string setKey, setValue;
    set->add_option("key", setKey, "Key: not empty; no \"=\", CR or LF; no leading \";\"; no blanks at either end")
        ->required();
    set->add_option("value", setValue, "Value (may be empty): no CR or LF, no spaces at either end")->required();
    set->callback([&ctx] { setSetting(ctx, setKey, setValue); });
}

} // namespace tavikctl
