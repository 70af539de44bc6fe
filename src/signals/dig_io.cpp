#include "signals/dig_io.h"

#include "frame/handle.h"
#include "identity/fitted_hardware.h"

namespace tavik::signals {

// The fitted-hardware question first, then the driver (opened once, never retried).
DigIO_Imp::DigIO_Imp() : supported_(identity::digitalIoFitted()) { channel_.open(); }

void DigIO_Imp::release() { delete this; }

ErrorCode DigIO_Imp::getDigIO(uint8_t* inputs) {
    if (!supported_) return ERR_NOT_SUPPORTED;
    if (inputs == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reply = 0;
    if (const ErrorCode e = channel_.read(kReqGetDigIO, &reply, 1); e != ERR_SUCCESS) return e;
    *inputs = reply & 0x0F; // four inputs; the upper bits carry nothing
    return ERR_SUCCESS;
}

// The unit has no digital outputs.
ErrorCode DigIO_Imp::setDigIO(int32_t) { return ERR_NOT_SUPPORTED; }

} // namespace tavik::signals

using tavik::frame::Family;
using tavik::frame::forward;
using Varnholtstad::DigIO;

TAVIK_API DigIO* TAVIK_CALL GetDigIO(void) { return tavik::frame::createFresh<tavik::signals::DigIO_Imp>(); }
TAVIK_API void TAVIK_CALL DigIO_release(DigIO* h) { tavik::frame::forwardRelease<Family::DigIO>(h); }
TAVIK_API ErrorCode TAVIK_CALL DigIO_getDigIO(DigIO* h, uint8_t* inputs) {
    return forward<Family::DigIO>(h, &DigIO::getDigIO, inputs);
}
TAVIK_API ErrorCode TAVIK_CALL DigIO_setDigIO(DigIO* h, int32_t outputs) {
    return forward<Family::DigIO>(h, &DigIO::setDigIO, outputs);
}
