// The supervisor's switchable power outputs ("power"), the front button power transition and the
// power request it raises; and the power cycle that sets the outputs from the start-up
// configuration.
#include "frame/request_index.h"
#include "sim/driver.h"
#include "sim/supervisor.h"
#include "sim/board_model.h"

namespace tavik::sim {
namespace power_model {

constexpr const char* kModel = "power";
constexpr int kVideoOutputsMask = 0x0F;
constexpr int kMaxButtonTransition = 6;

json defaults() {
    return {{"backlight", 1}, {"can", 1}, {"video", 3}, {"fan", 0}, {"buttonTransition", 0},
            {"powerRequest", 0}};
}

bool validate(json& doc, std::string& error) {
    const char* switches[] = {"backlight", "can", "fan", "powerRequest"};
    for (const char* f : switches)
        if (!checkInteger(doc, f, 0, 1, error)) return false;
    return checkInteger(doc, "video", 0, kVideoOutputsMask, error) &&
           checkInteger(doc, "buttonTransition", 0, kMaxButtonTransition, error);
}

void init(const json& profile, Txn& txn) {
    txn.edit(kModel) = documentFromProfile(profile, kModel, defaults(), &validate);
}

const bool modelRegistered = (registerModel({kModel, &init, &validate}), true);

bool serveByte(Txn& txn, Request& r, const char* field) {
    r.out[0] = static_cast<uint8_t>(txn.get(kModel).at(field).get<int>());
    r.returned = 1;
    return true;
}

// The supervisor takes 0 (off) or 1 (on) and refuses every other byte.
bool switchOutput(Txn& txn, Request& r, const char* field) {
    if (r.in[0] > 1) {
        r.note = "refused: switch byte " + std::to_string(r.in[0]) + " is not 0 or 1";
        return false;
    }
    txn.edit(kModel)[field] = r.in[0];
    r.returned = 1;
    return true;
}

bool getBacklight(Txn& t, Request& r) { return serveByte(t, r, "backlight"); }
bool setBacklight(Txn& t, Request& r) { return switchOutput(t, r, "backlight"); }
bool getCan(Txn& t, Request& r) { return serveByte(t, r, "can"); }
bool setCan(Txn& t, Request& r) { return switchOutput(t, r, "can"); }
bool getVideo(Txn& t, Request& r) { return serveByte(t, r, "video"); }
bool getFan(Txn& t, Request& r) { return serveByte(t, r, "fan"); }
bool setFan(Txn& t, Request& r) { return switchOutput(t, r, "fan"); }
bool buttonTransition(Txn& t, Request& r) { return serveByte(t, r, "buttonTransition"); }

// Four video power outputs: a mask of 0..15.
bool setVideo(Txn& txn, Request& r) {
    if (r.in[0] > kVideoOutputsMask) {
        r.note = "refused: video mask " + std::to_string(r.in[0]) + " above 15";
        return false;
    }
    txn.edit(kModel)["video"] = r.in[0];
    r.returned = 1;
    return true;
}

bool ackPowerRequest(Txn& txn, Request& r) {
    json& d = txn.edit(kModel);
    r.note = d.at("powerRequest").get<int>() != 0 ? "power request acknowledged" : "no power request pending";
    d["powerRequest"] = 0;
    r.returned = 1;
    return true;
}

const bool handlersRegistered = [] {
    registerRequestHandler(frame::requestCode(0x924), &getBacklight);
    registerRequestHandler(frame::requestCode(0x925), &setBacklight);
    registerRequestHandler(frame::requestCode(0x926), &getCan);
    registerRequestHandler(frame::requestCode(0x927), &setCan);
    registerRequestHandler(frame::requestCode(0x928), &getVideo);
    registerRequestHandler(frame::requestCode(0x929), &setVideo);
    registerRequestHandler(frame::requestCode(0x92A), &getFan);
    registerRequestHandler(frame::requestCode(0x92B), &setFan);
    registerRequestHandler(frame::requestCode(0x92C), &buttonTransition);
    registerRequestHandler(frame::requestCode(0x92D), &ackPowerRequest);
    return true;
}();

} // namespace power_model

void powerCycle(Txn& txn, uint16_t startupReason, int32_t shutdownReason) {
    json& health = txn.edit("supervisor");
    health["powerCycles"] = (health.at("powerCycles").get<int64_t>() + 1) & 0xFFFF;
    health["startupReason"] = startupReason;
    if (shutdownReason >= 0) health["shutdownReason"] = shutdownReason & 0xFFFF;

    const json& startup = txn.get("startup");
    json& outputs = txn.edit(power_model::kModel);
    outputs["backlight"] = 1;
    outputs["can"] = startup.at("canStartupPower").get<int64_t>() != 0 ? 1 : 0;
    outputs["video"] = startup.at("videoStartupPower").get<int64_t>() & power_model::kVideoOutputsMask;
    outputs["fan"] = startup.at("fanStartupPower").get<int64_t>() != 0 ? 1 : 0;
    outputs["buttonTransition"] = 0;
    outputs["powerRequest"] = 0;
    boardPowerUp(txn);
}

} // namespace tavik::sim
