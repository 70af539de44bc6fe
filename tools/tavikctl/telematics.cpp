// tavikctl telematics: power of the telematics modules (now and at start-up) and the GPS
// antenna, through the Telematics family.
#include <sstream>

#include "readings.h"
#include "tavik2/telematics.h"

namespace tavikctl {
namespace telematics_cmd {

using Varnholtstad::Telematics;
using Getter = ErrorCode(TAVIK_CALL*)(Telematics*, int32_t*);
using Setter = ErrorCode(TAVIK_CALL*)(Telematics*, int32_t);

struct ModuleCommands {
    const char* name;
    const char* label;
    ErrorCode notFitted;
    Getter power;
    Getter startUp;
    Setter setPower;
    Setter setStartUp;
};

const ModuleCommands kModules[] = {
    {"gprs", "GSM/GPRS modem", ERR_TELEMATICS_GPRS_NOT_AVAILABLE, &Telematics_getGPRSPowerStatus,
     &Telematics_getGPRSStartUpPowerStatus, &Telematics_setGPRSPowerStatus, &Telematics_setGPRSStartUpPowerStatus},
    {"wlan", "WLAN", ERR_TELEMATICS_WLAN_NOT_AVAILABLE, &Telematics_getWLANPowerStatus,
     &Telematics_getWLANStartUpPowerStatus, &Telematics_setWLANPowerStatus, &Telematics_setWLANStartUpPowerStatus},
    {"bt", "Bluetooth", ERR_TELEMATICS_BT_NOT_AVAILABLE, &Telematics_getBTPowerStatus,
     &Telematics_getBTStartUpPowerStatus, &Telematics_setBTPowerStatus, &Telematics_setBTStartUpPowerStatus},
    {"gps", "GPS", ERR_TELEMATICS_GPS_NOT_AVAILABLE, &Telematics_getGPSPowerStatus,
     &Telematics_getGPSStartUpPowerStatus, &Telematics_setGPSPowerStatus, &Telematics_setGPSStartUpPowerStatus},
};

std::string onOff(int32_t v) { return v != 0 ? "on" : "off"; }

// One value of a module: "on"/"off", or the refusal.
json valueOf(ErrorCode e, int32_t v, Context& ctx) {
    if (e == ERR_SUCCESS) return onOff(v);
    ctx.noteReading(e);
    return json{{"code", e}, {"message", errorText(e)}};
}

std::string shown(const json& v) {
    return v.is_string() ? v.get<std::string>() : v["message"].get<std::string>() + " (" + std::to_string(v["code"].get<int>()) + ")";
}

void showTelematics(Context& ctx) {
    Telematics* h = GetTelematics();
    if (h == nullptr) {
        failWith(ctx, "telematics", ERR_MEMORY_ALLOCATION);
        return;
    }
    json doc = json::object();
    std::ostringstream text;
    int32_t any = 0;
    Telematics_getTelematicsAvailable(h, &any);
    doc["available"] = any != 0;
    text << "Telematics modules: " << (any != 0 ? "fitted" : "none fitted") << '\n';
    for (const ModuleCommands& m : kModules) {
        int32_t power = 0, startUp = 0;
        const ErrorCode pe = m.power(h, &power);
        json entry;
        if (pe == m.notFitted) {
            entry = {{"fitted", false}};
            text << m.label << ": not fitted\n";
        } else {
            const ErrorCode se = m.startUp(h, &startUp);
            entry = {{"fitted", true}, {"power", valueOf(pe, power, ctx)}, {"startup_power", valueOf(se, startUp, ctx)}};
            text << m.label << ": power " << shown(entry["power"]) << ", at start-up " << shown(entry["startup_power"]) << '\n';
        }
        doc[m.name] = entry;
    }
    int32_t antenna = 0;
    const ErrorCode ae = Telematics_getGPSAntennaStatus(h, &antenna);
    if (ae == ERR_TELEMATICS_GPS_NOT_AVAILABLE) {
        doc["gps_antenna"] = nullptr;
    } else {
        doc["gps_antenna"] = ae == ERR_SUCCESS ? json(antenna != 0 ? "connected" : "not connected") : valueOf(ae, 0, ctx);
        text << "GPS antenna: " << shown(doc["gps_antenna"]) << '\n';
    }
    Telematics_release(h);
    emit(ctx, doc, text.str());
}

void setModule(Context& ctx, const std::string& module, const std::string& value, bool atStartUp) {
    const ModuleCommands* m = nullptr;
    for (const ModuleCommands& candidate : kModules)
        if (module == candidate.name) m = &candidate;
    if (m == nullptr) throw CLI::ValidationError("MODULE", "unknown module " + module + " (gprs, wlan, bt, gps)");
    if (value != "on" && value != "off") throw CLI::ValidationError("VALUE", "on or off, not " + value);
    Telematics* h = GetTelematics();
    if (h == nullptr) {
        failWith(ctx, "telematics", ERR_MEMORY_ALLOCATION);
        return;
    }
    const int32_t v = value == "on" ? 1 : 0;
    const ErrorCode e = atStartUp ? m->setStartUp(h, v) : m->setPower(h, v);
    Telematics_release(h);
    reportSet(ctx, std::string(m->name) + (atStartUp ? " power at start-up" : " power"), e, value, value);
}

} // namespace telematics_cmd

void addTelematicsCommands(CLI::App& app, Context& ctx) {
    using namespace telematics_cmd;
    auto* tel = app.add_subcommand("telematics", "Telematics modules: fitted, power now and at start-up; GPS antenna");
    tel->callback([&ctx, tel] {
        if (tel->get_subcommands().empty()) showTelematics(ctx);
    });
    auto* set = tel->add_subcommand("set", "Switch a module: gprs|wlan|bt|gps on|off [--at-startup]");
    static std::string module, value;
    static bool atStartUp = false;
    set->add_option("MODULE", module, "gprs, wlan, bt or gps")->required();
    set->add_option("VALUE", value, "on or off")->required();
    set->add_flag("--at-startup", atStartUp, "Change the power at start-up instead of now");
    set->callback([&ctx] { setModule(ctx, module, value, atStartUp); });
}

} // namespace tavikctl
