#include "signals/adc.h"

#include "frame/handle.h"

namespace tavik::signals {

// The supervisor version first (0 when unreadable), then the driver (opened once).
Adc_Imp::Adc_Imp() {
    identity::getSsVersionNumber(&ssVersion_);
    channel_.open();
}

void Adc_Imp::release() { delete this; }

ErrorCode Adc_Imp::getVoltage(int32_t selector, double* voltage) {
    if (selector < 0 || selector >= kAdcSelectorCount) return ERR_NOT_SUPPORTED;
    if (selector == kAdcGatedSelector && ssVersion_ < kAdcGatedSsVersion) return ERR_NOT_SUPPORTED;
    if (voltage == nullptr) return ERR_INVALID_PARAMETER;

    const auto s = static_cast<uint32_t>(selector);
    const uint8_t request[4] = {static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8),
                                static_cast<uint8_t>(s >> 16), static_cast<uint8_t>(s >> 24)};
    uint8_t reply[8] = {};
    if (const ErrorCode e = channel_.transfer(kReqGetVoltage, request, sizeof request, reply, sizeof reply,
                                              sizeof reply);
        e != ERR_SUCCESS)
        return e;
    const uint32_t echo = reply[0] | reply[1] << 8 | reply[2] << 16 | static_cast<uint32_t>(reply[3]) << 24;
    if (echo != s) return ERR_DATATYPE_MISMATCH; // the answer belongs to another selector
    const uint16_t raw = static_cast<uint16_t>(reply[4] | reply[5] << 8);
    if (raw == kAdcUnmeasured) return ERR_NOT_SUPPORTED;
    *voltage = adcVolts(selector, raw);
    return ERR_SUCCESS;
}

} // namespace tavik::signals

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::Adc;

TAVIK_API Adc* TAVIK_CALL GetAdc(void) { return tavik::frame::createFresh<tavik::signals::Adc_Imp>(); }
TAVIK_API void TAVIK_CALL Adc_release(Adc* h) { tavik::frame::forwardRelease<Family::Adc>(h); }
TAVIK_API ErrorCode TAVIK_CALL Adc_getVoltage(Adc* h, int32_t selector, double* voltage) {
    return forward<Family::Adc>(h, &Adc::getVoltage, selector, voltage);
}
