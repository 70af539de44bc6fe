#include "sim/service_model.h"

#include <unistd.h>

#include "frame/settings_file.h"
#include "sim/unit.h"

namespace tavik::sim {
namespace service_model {

constexpr const char* kServiceName = "TavikService";

bool knownMode(const std::string& mode) {
    return mode == "accepting" || mode == "refusing" || mode == "absent";
}

void initService(const json& profile, Txn& txn) {
    const json s = profile.value("service", json::object());
    std::string mode = s.value("mode", std::string("accepting"));
    if (!knownMode(mode)) mode = "accepting";
    txn.edit("service") = {{"mode", mode}, {"received", json::array()}, {"refused", json::array()}};
}

bool validateService(json& d, std::string& error) {
    if (d["mode"].is_string() && knownMode(d["mode"].get<std::string>())) return true;
    error = "mode is accepting, refusing or absent";
    return false;
}

const bool registered = (registerModel({"service", &initService, &validateService}), true);

std::vector<uint32_t> codeList(const char* field) {
    std::vector<uint32_t> codes;
    Unit::instance().transact([&](Txn& txn) {
        const json list = txn.get("service").value(field, json::array());
        for (const json& c : list)
            if (c.is_number_unsigned()) codes.push_back(c.get<uint32_t>());
    });
    return codes;
}

} // namespace service_model

ServiceAnswer serviceControl(const std::string& serviceName, uint32_t code) {
    ServiceAnswer answer = ServiceAnswer::NotOpened;
    Unit::instance().transact([&](Txn& txn) {
        LogEntry e;
        e.pid = static_cast<uint32_t>(::getpid());
        e.target = "service:" + serviceName;
        e.code = code;
        json& s = txn.edit("service");
        if (!s.is_object()) s = json::object();
        std::string mode = s.value("mode", std::string("accepting"));
        const json fault = takeFault(txn, "service", code);
        if (!fault.is_null()) {
            mode = fault.value("action", mode);
            e.note = "fault: ";
        }
        if (serviceName != service_model::kServiceName || mode == "absent") {
            answer = ServiceAnswer::NotOpened;
            e.note += "service not installed";
        } else if (mode == "refusing") {
            answer = ServiceAnswer::Refused;
            e.note += "control refused";
            s["refused"].push_back(code);
        } else {
            answer = ServiceAnswer::Accepted;
            e.note += "control accepted";
            s["received"].push_back(code);
        }
        e.ok = answer == ServiceAnswer::Accepted;
        txn.touch();
        Unit::instance().appendLog(txn, std::move(e));
    });
    return answer;
}

bool setServiceMode(const std::string& mode) {
    if (!service_model::knownMode(mode)) return false;
    Unit::instance().transact([&](Txn& txn) {
        txn.edit("service")["mode"] = mode;
        txn.touch();
    });
    return true;
}

std::string serviceMode() {
    std::string mode;
    Unit::instance().transact([&](Txn& txn) {
        mode = txn.get("service").value("mode", std::string("accepting"));
    });
    return mode;
}

std::vector<uint32_t> serviceReceived() { return service_model::codeList("received"); }
std::vector<uint32_t> serviceRefused() { return service_model::codeList("refused"); }

void clearServiceReceived() {
    Unit::instance().transact([&](Txn& txn) {
        txn.edit("service")["received"] = json::array();
        txn.edit("service")["refused"] = json::array();
        txn.touch();
    });
}

void setServiceSetting(const std::string& key, const std::string& value) {
    frame::SettingsFile store;
    store.load();
    store.set(key, value);
}

std::string serviceSetting(const std::string& key) {
    frame::SettingsFile store;
    store.load();
    return store.get(key);
}

} // namespace tavik::sim
