// tavikctl sim service ...: the simulated platform service, its mode, the codes it received and
// its side of the shared settings keys.
#include "cli.h"

#include "sim/service_model.h"

namespace tavikctl {
namespace sim_service_cmd {

namespace sim = tavik::sim;

std::string codesText(const std::vector<uint32_t>& codes) {
    std::string text;
    for (uint32_t c : codes) text += (text.empty() ? "" : " ") + std::to_string(c);
    return text.empty() ? "none" : text;
}

void showStatus(Context& ctx) {
    const std::string mode = sim::serviceMode();
    const std::vector<uint32_t> received = sim::serviceReceived();
    const std::vector<uint32_t> refused = sim::serviceRefused();
    emit(ctx, json{{"mode", mode}, {"received", received}, {"refused", refused}},
         "TavikService: " + mode + "\naccepted: " + codesText(received) + "\nrefused: " + codesText(refused));
}

} // namespace sim_service_cmd

void addSimServiceCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_service_cmd;
    auto* service = simApp.add_subcommand("service", "The simulated platform service TavikService");
    service->require_subcommand(1);

    service->add_subcommand("status", "Mode and the control codes received")->callback([&ctx] { showStatus(ctx); });

    auto* mode = service->add_subcommand("mode", "Make the service accept, refuse or be absent");
    static std::string modeName;
    mode->add_option("mode", modeName, "accepting | refusing | absent")
        ->required()
        ->check(CLI::IsMember({"accepting", "refusing", "absent"}));
    mode->callback([&ctx] {
        sim::setServiceMode(modeName);
        emit(ctx, json{{"mode", modeName}}, "TavikService: " + modeName);
    });

    service->add_subcommand("received", "Control codes the service accepted, in order")->callback([&ctx] {
        const std::vector<uint32_t> received = sim::serviceReceived();
        emit(ctx, json(received), codesText(received));
    });

    service->add_subcommand("clear", "Forget the received and refused codes")->callback([&ctx] {
        sim::clearServiceReceived();
        emit(ctx, json{{"cleared", true}}, "received codes cleared");
    });

    auto* setKey = service->add_subcommand("set-key", "Write a settings key from the service's side");
    static std::string key, value;
    setKey->add_option("key", key, "Key (PowerMgrRunning, PowerMgrReq, PowerMgrResume, ...)")->required();
    setKey->add_option("value", value, "Value")->required();
    setKey->callback([&ctx] {
        sim::setServiceSetting(key, value);
        emit(ctx, json{{"key", key}, {"value", value}}, key + "=" + value);
    });

    auto* getKey = service->add_subcommand("get-key", "Read a settings key as the service sees it");
    static std::string readKey;
    getKey->add_option("key", readKey, "Key")->required();
    getKey->callback([&ctx] {
        const std::string v = sim::serviceSetting(readKey);
        emit(ctx, json{{"key", readKey}, {"value", v}}, v);
    });
}

} // namespace tavikctl
