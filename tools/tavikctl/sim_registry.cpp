// tavikctl sim registry ... / sim touch ...: the simulated unit's registry stand-in and the
// touch controller's calibration.
#include "cli.h"

#include "sim/registry_model.h"
#include "sim/touch_model.h"

namespace tavikctl {
namespace sim_registry_cmd {

namespace sim = tavik::sim;

std::string valueText(const json& v) {
    std::string text = v.value("type", "") + " (" + std::to_string(v.value("size", 0)) + " bytes) " + v.value("hex", "");
    if (v.contains("text")) text += " \"" + v["text"].get<std::string>() + "\"";
    if (v.contains("value")) text += " = " + std::to_string(v["value"].get<uint32_t>());
    return text;
}

struct RegistryOptions {
    std::string path;
    std::string name;
    std::string type;
    std::string value;
};

void getValue(Context& ctx, const RegistryOptions& o) {
    if (o.name.empty()) { // the key's values
        const json all = sim::registryList(o.path);
        for (auto k = all.begin(); k != all.end(); ++k) {
            if (k.key().size() != o.path.size()) continue; // keys below it are listed by "list"
            std::string text;
            for (auto v = k.value().begin(); v != k.value().end(); ++v) text += v.key() + ": " + valueText(v.value()) + "\n";
            emit(ctx, k.value(), text.empty() ? "no values" : text);
            return;
        }
        if (ctx.json) std::cout << json{{"error", "no such key"}, {"path", o.path}}.dump(2) << '\n';
        else std::cerr << o.path << ": no such key\n";
        ctx.fail(kExitRefused);
        return;
    }
    const auto value = sim::registryGet(o.path, o.name);
    if (!value) {
        if (ctx.json) std::cout << json{{"error", "no such value"}, {"path", o.path}, {"name", o.name}}.dump(2) << '\n';
        else std::cerr << o.path << "\\" << o.name << ": no such value\n";
        ctx.fail(kExitRefused);
        return;
    }
    const json j = sim::registryValueJson(*value);
    emit(ctx, j, valueText(j));
}

void setValue(Context& ctx, const RegistryOptions& o) {
    uint32_t type = 0;
    if (!sim::registryTypeFromName(o.type, type))
        throw CLI::ValidationError("type", "unknown registry type: " + o.type);
    sim::RegistryValue value;
    if (!sim::registryValueFromText(type, o.value, value))
        throw CLI::ValidationError("value", "not a value of type " + o.type + ": " + o.value);
    sim::registryPut(o.path, o.name, value);
    const json j = sim::registryValueJson(value);
    emit(ctx, j, o.path + "\\" + o.name + " = " + valueText(j));
}

void listKeys(Context& ctx, const std::string& path) {
    const json all = sim::registryList(path);
    std::string text;
    for (auto k = all.begin(); k != all.end(); ++k) {
        text += k.key() + "\n";
        for (auto v = k.value().begin(); v != k.value().end(); ++v)
            text += "  " + v.key() + ": " + valueText(v.value()) + "\n";
    }
    emit(ctx, all, text.empty() ? "no keys" : text);
}

void deleteValue(Context& ctx, const RegistryOptions& o) {
    if (!sim::registryDelete(o.path, o.name)) {
        if (ctx.json) std::cout << json{{"deleted", false}, {"path", o.path}, {"name", o.name}}.dump(2) << '\n';
        else std::cerr << o.path << (o.name.empty() ? "" : "\\" + o.name) << ": nothing to delete\n";
        ctx.fail(kExitRefused);
        return;
    }
    emit(ctx, json{{"deleted", true}, {"path", o.path}, {"name", o.name}},
         "deleted " + o.path + (o.name.empty() ? "" : "\\" + o.name));
}

} // namespace sim_registry_cmd

void addSimRegistryCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_registry_cmd;
    auto* reg = simApp.add_subcommand("registry", "The unit's registry (HKEY_LOCAL_MACHINE; paths without the hive)");
    reg->require_subcommand(1);

    static RegistryOptions o;
    auto* get = reg->add_subcommand("get", "Show a value's type and exact bytes (or all values of a key)");
    get->add_option("path", o.path, "Key path, e.g. SYSTEM\\CurrentControlSet\\...\\Device0")->required();
    get->add_option("name", o.name, "Value name");
    get->callback([&ctx] { getValue(ctx, o); });

    auto* set = reg->add_subcommand("set", "Write a value (the key is created when missing)");
    set->add_option("path", o.path, "Key path")->required();
    set->add_option("name", o.name, "Value name")->required();
    set->add_option("type", o.type, "REG_SZ (text), REG_DWORD (number), REG_BINARY or a type number (hex bytes)")
        ->required();
    set->add_option("value", o.value, "The value")->required();
    set->callback([&ctx] { setValue(ctx, o); });

    auto* list = reg->add_subcommand("list", "List the keys at or below a path, with their values");
    list->add_option("path", o.path, "Key path (default: every key)");
    list->callback([&ctx] { listKeys(ctx, o.path); });

    auto* del = reg->add_subcommand("delete", "Remove a value, or a key with its subkeys");
    del->add_option("path", o.path, "Key path")->required();
    del->add_option("name", o.name, "Value name (none: the whole key)");
    del->callback([&ctx] { deleteValue(ctx, o); });
}

void addSimTouchCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_registry_cmd;
    auto* touch = simApp.add_subcommand("touch", "The touch controller (values: sim get/set touch.FIELD)");
    touch->require_subcommand(1);
    touch->add_subcommand("finish", "Touch the target of the pending calibration point now")->callback([&ctx] {
        const auto point = sim::touchFinishPoint();
        if (!point) {
            if (ctx.json) std::cout << json{{"finished", nullptr}}.dump(2) << '\n';
            else std::cerr << "no calibration point pending\n";
            ctx.fail(kExitRefused);
            return;
        }
        emit(ctx, json{{"finished", *point}}, "calibration point " + std::to_string(*point) + " finished");
    });
}

} // namespace tavikctl
