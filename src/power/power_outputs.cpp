#include "power/power_outputs.h"

#include "frame/handle.h"
#include "identity/fitted_hardware.h"

namespace tavik::power {

Power_Imp::Power_Imp() : channel_(frame::DriverChannel::OpenPolicy::OnDemand) {
    identity::getSsVersionNumber(&ssVersion_);
    canSupported_ = identity::canFitted();
    videoSupported_ = identity::videoFitted();
    backlightSupported_ = identity::displayFitted();
}

void Power_Imp::release() { delete this; }

// CAN and video are refused before the driver is opened, the backlight and the supervisor
// version only after it.
ErrorCode Power_Imp::admit(Gate gate) {
    if (gate == Gate::Can && !canSupported_) return ERR_NOT_SUPPORTED;
    if (gate == Gate::Video && !videoSupported_) return ERR_NOT_SUPPORTED;
    if (const ErrorCode e = channel_.ensureOpen(); e != ERR_SUCCESS) return e;
    if (gate == Gate::Backlight && !backlightSupported_) return ERR_NOT_SUPPORTED;
    if (gate == Gate::ButtonTransition && ssVersion_ < kButtonTransitionMinSs)
        return ERR_NEWER_SS_VERSION_REQUIRED;
    return ERR_SUCCESS;
}

ErrorCode Power_Imp::readByte(Gate gate, uint32_t code, uint8_t& value) {
    if (const ErrorCode e = admit(gate); e != ERR_SUCCESS) return e;
    uint8_t reply = 0;
    if (const ErrorCode e = channel_.read(code, &reply, 1); e != ERR_SUCCESS) return e;
    value = reply;
    return ERR_SUCCESS;
}

ErrorCode Power_Imp::writeByte(Gate gate, uint32_t code, uint8_t value) {
    if (const ErrorCode e = admit(gate); e != ERR_SUCCESS) return e;
    return channel_.write(code, &value, 1);
}

// Any non-zero reply reads as on.
ErrorCode Power_Imp::getOnOff(Gate gate, uint32_t code, int32_t* status) {
    if (status == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reply = 0;
    if (const ErrorCode e = readByte(gate, code, reply); e != ERR_SUCCESS) return e;
    *status = reply != 0 ? 1 : 0;
    return ERR_SUCCESS;
}

// Only 1 switches on; every other value switches off.
ErrorCode Power_Imp::setOnOff(Gate gate, uint32_t code, int32_t status) {
    return writeByte(gate, code, status == 1 ? 1 : 0);
}

ErrorCode Power_Imp::getBLPowerStatus(int32_t* s) { return getOnOff(Gate::Backlight, kReqGetBacklightPower, s); }
ErrorCode Power_Imp::getCanPowerStatus(int32_t* s) { return getOnOff(Gate::Can, kReqGetCanPower, s); }
ErrorCode Power_Imp::getExtFanPowerStatus(int32_t* s) { return getOnOff(Gate::None, kReqGetExtFanPower, s); }
ErrorCode Power_Imp::setBLPowerStatus(int32_t s) { return setOnOff(Gate::Backlight, kReqSetBacklightPower, s); }
ErrorCode Power_Imp::setCanPowerStatus(int32_t s) { return setOnOff(Gate::Can, kReqSetCanPower, s); }
ErrorCode Power_Imp::setExtFanPowerStatus(int32_t s) { return setOnOff(Gate::None, kReqSetExtFanPower, s); }

ErrorCode Power_Imp::getVideoPowerStatus(uint8_t* mask) {
    if (mask == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reply = 0;
    if (const ErrorCode e = readByte(Gate::Video, kReqGetVideoPower, reply); e != ERR_SUCCESS) return e;
    *mask = reply;
    return ERR_SUCCESS;
}

// The mask is the low 8 bits of the argument (the interface passes a byte); above 15 it is
// refused after the gates and the open.
ErrorCode Power_Imp::setVideoPowerStatus(uint8_t mask) {
    if (const ErrorCode e = admit(Gate::Video); e != ERR_SUCCESS) return e;
    if (mask > kMaxVideoPowerMask) return ERR_INVALID_DATA;
    return channel_.write(kReqSetVideoPower, &mask, 1);
}

ErrorCode Power_Imp::getButtonPowerTransitionStatus(int32_t* status) {
    if (status == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reply = 0;
    if (const ErrorCode e = readByte(Gate::ButtonTransition, kReqButtonTransition, reply);
        e != ERR_SUCCESS)
        return e;
    if (reply > kMaxButtonTransition) return ERR_INVALID_DATA;
    *status = reply;
    return ERR_SUCCESS;
}

// One zero byte; the returned count is not examined.
ErrorCode Power_Imp::ackPowerRequest() {
    if (const ErrorCode e = admit(Gate::None); e != ERR_SUCCESS) return e;
    const uint8_t zero = 0;
    return channel_.requestUnchecked(kReqAckPowerRequest, &zero, 1, nullptr, 0);
}

// Over-current detection is not reported by this hardware.
ErrorCode Power_Imp::getVideoOCDStatus(int32_t*) { return ERR_NOT_SUPPORTED; }
ErrorCode Power_Imp::getCanOCDStatus(int32_t*) { return ERR_NOT_SUPPORTED; }

} // namespace tavik::power

using tavik::frame::Family;
using tavik::frame::forward;
using tavik::power::Power_Imp;
using Varnholtstad::Power;

TAVIK_API Power* TAVIK_CALL GetPower(void) { return tavik::frame::createFresh<Power_Imp>(); }

TAVIK_API void TAVIK_CALL Power_release(Power* h) { tavik::frame::forwardRelease<Family::Power>(h); }

#define TAVIK_POWER_EXPORT(op, Arg)                                                                \
    TAVIK_API ErrorCode TAVIK_CALL Power_##op(Power* h, Arg value) {                               \
        return forward<Family::Power>(h, &Power::op, value);                                       \
    }

TAVIK_POWER_EXPORT(getBLPowerStatus, int32_t*)
TAVIK_POWER_EXPORT(getCanPowerStatus, int32_t*)
TAVIK_POWER_EXPORT(getVideoPowerStatus, uint8_t*)
TAVIK_POWER_EXPORT(getExtFanPowerStatus, int32_t*)
TAVIK_POWER_EXPORT(getVideoOCDStatus, int32_t*)
TAVIK_POWER_EXPORT(getCanOCDStatus, int32_t*)
TAVIK_POWER_EXPORT(setBLPowerStatus, int32_t)
TAVIK_POWER_EXPORT(setCanPowerStatus, int32_t)
TAVIK_POWER_EXPORT(setVideoPowerStatus, uint8_t)
TAVIK_POWER_EXPORT(setExtFanPowerStatus, int32_t)
TAVIK_POWER_EXPORT(getButtonPowerTransitionStatus, int32_t*)

TAVIK_API ErrorCode TAVIK_CALL Power_ackPowerRequest(Power* h) {
    return forward<Family::Power>(h, &Power::ackPowerRequest);
}
