// tavikctl settings ...: the shared settings file through the library's store, under its lock.
#include "cli.h"

#include "frame/settings_file.h"

namespace tavikctl {
namespace {

using tavik::frame::SettingsFile;

void listSettings(Context& ctx) {
    SettingsFile store;
    store.load();
    json entries = json::object();
    std::string text;
    for (const auto& [key, value] : store.entries()) {
        entries[key] = value;
        text += key + "=" + value + "\n";
    }
    if (store.entries().empty()) text = "no settings in " + store.path();
    emit(ctx, json{{"path", store.path()}, {"entries", entries}}, text);
}

void getSetting(Context& ctx, const std::string& key) {
    SettingsFile store;
    store.load();
    const auto it = store.entries().find(key);
    if (it == store.entries().end()) {
        if (ctx.json)
            std::cout << json{{"key", key}, {"value", nullptr}}.dump(2) << '\n';
        else
            std::cerr << key << ": not set in " << store.path() << '\n';
        ctx.exitCode = 1;
        return;
    }
    emit(ctx, json{{"key", key}, {"value", it->second}}, it->second);
}

void setSetting(Context& ctx, const std::string& key, const std::string& value) {
    SettingsFile store;
    store.load();
    const bool written = store.set(key, value);
    if (!written) {
        if (ctx.json)
            std::cout << json{{"key", key}, {"value", value}, {"written", false}, {"path", store.path()}}.dump(2)
                      << '\n';
        else
            std::cerr << "cannot write " << store.path() << '\n';
        ctx.exitCode = 1;
        return;
    }
    emit(ctx, json{{"key", key}, {"value", value}, {"written", true}, {"path", store.path()}},
         key + "=" + value);
}

} // namespace

void addSettingsCommands(CLI::App& app, Context& ctx) {
    auto* settings = app.add_subcommand("settings", "Read and write the shared settings file (Tavik.ini)");
    settings->require_subcommand(1);

    settings->add_subcommand("list", "Show every key and value")->callback([&ctx] { listSettings(ctx); });

    settings->add_subcommand("path", "Show where the settings file is")->callback([&ctx] {
        const std::string path = tavik::frame::settingsFilePath();
        emit(ctx, json{{"path", path}}, path);
    });

    auto* get = settings->add_subcommand("get", "Show the value of one key (exit status 1 when absent)");
    static std::string getKey;
    get->add_option("key", getKey, "Key")->required();
    get->callback([&ctx] { getSetting(ctx, getKey); });

    auto* set = settings->add_subcommand("set", "Set one key, rewriting the file");
    static std::string setKey, setValue;
    set->add_option("key", setKey, "Key")->required();
    set->add_option("value", setValue, "Value (may be empty)")->required();
    set->callback([&ctx] { setSetting(ctx, setKey, setValue); });
}

} // namespace tavikctl
