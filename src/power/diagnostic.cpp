#include "power/diagnostic.h"

#include <cstring>

#include "frame/board_session.h"
#include "frame/handle.h"
#include "platform/sync.h"
#include "power/wire.h"

namespace tavik::power {

namespace board = platform::board;

void Diagnostic_Imp::release() { frame::SharedInstance<Diagnostic_Imp>::releaseShared(); }

template <class T>
ErrorCode Diagnostic_Imp::readWord(uint32_t code, T* out) {
    if (out == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reply[2] = {};
    if (const ErrorCode e = channel_.read(code, reply, sizeof reply); e != ERR_SUCCESS) return e;
    *out = static_cast<T>(wire::get16(reply));
    return ERR_SUCCESS;
}

ErrorCode Diagnostic_Imp::getSSTemp(int16_t* t) { return readWord(kReqSsTemp, t); }
ErrorCode Diagnostic_Imp::getPCBTemp(int16_t* t) { return readWord(kReqPcbTemp, t); }
ErrorCode Diagnostic_Imp::getStartupReason(uint16_t* r) { return readWord(kReqStartupReason, r); }
ErrorCode Diagnostic_Imp::getShutDownReason(uint16_t* r) { return readWord(kReqShutDownReason, r); }
ErrorCode Diagnostic_Imp::getHwErrorStatus(uint16_t* s) { return readWord(kReqHwErrorStatus, s); }
ErrorCode Diagnostic_Imp::getPowerCycles(uint16_t* n) { return readWord(kReqPowerCycles, n); }

ErrorCode Diagnostic_Imp::getTimer(Varnholtstad::DiagnosticTimes* times) {
    if (times == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reply[sizeof times->raw] = {};
    if (const ErrorCode e = channel_.read(kReqTimer, reply, sizeof reply); e != ERR_SUCCESS) return e;
    std::memcpy(times->raw, reply, sizeof reply);
    return ERR_SUCCESS;
}

// The supervisor sends the maximum first: bytes 0..1 maximum, bytes 2..3 minimum.
ErrorCode Diagnostic_Imp::getMinMaxTemp(int16_t* minTemp, int16_t* maxTemp) {
    if (minTemp == nullptr || maxTemp == nullptr) return ERR_INVALID_PARAMETER;
    uint8_t reply[4] = {};
    if (const ErrorCode e = channel_.read(kReqMinMaxTemp, reply, sizeof reply); e != ERR_SUCCESS)
        return e;
    *minTemp = static_cast<int16_t>(wire::get16(reply + 2));
    *maxTemp = static_cast<int16_t>(wire::get16(reply));
    return ERR_SUCCESS;
}

// No buffers; whatever count the driver reports is accepted.
ErrorCode Diagnostic_Imp::clearHwErrorStatus() {
    return channel_.requestUnchecked(kReqClearHwError, nullptr, 0, nullptr, 0);
}

ErrorCode Diagnostic_Imp::getPMTemp(uint8_t sensorIndex, int16_t* temperature, int32_t* sensorType) {
    if (temperature == nullptr || sensorType == nullptr) return ERR_INVALID_PARAMETER;
    uint32_t status = 0;
    uint32_t type = 0;
    int32_t raw = 0;
    board::BoardHandle handle = board_.load();
    const bool opened = frame::openJidaBoard(handle);
    board_.store(handle);
    if (!opened) return ERR_GET_TEMP;

    bool read = false;
    {
        // The sensor calls use the handle the session left (the last board). The lock is held
        // through the settling pause, on every path.
        frame::I2cLock lock;
        if (sensorIndex < board::temperatureSensorCount(handle)) {
            int32_t value = 0;
            uint32_t valueStatus = 0;
            if (board::temperatureRead(handle, sensorIndex, &value, &valueStatus) == 1) {
                raw = value;
                status = valueStatus;
                uint32_t info[11] = {board::kTemperatureInfoBytes};
                if (board::temperatureInfo(handle, sensorIndex, info) == 1) {
                    type = info[1];
                    read = true;
                }
            }
        }
        platform::sleepMs(kSensorSettleMs);
    }
    if (!read || (status != 1 && status != 2)) return ERR_GET_TEMP;
    *sensorType = static_cast<int32_t>(type);
    *temperature = static_cast<int16_t>(raw / 1000); // thousandths, truncated toward zero
    return ERR_SUCCESS;
}

} // namespace tavik::power

using tavik::frame::Family;
using tavik::frame::forward;
using tavik::power::Diagnostic_Imp;
using Varnholtstad::Diagnostic;

TAVIK_API Diagnostic* TAVIK_CALL GetDiagnostic(void) {
    return tavik::frame::SharedInstance<Diagnostic_Imp>::acquire();
}

TAVIK_API void TAVIK_CALL Diagnostic_release(Diagnostic* h) {
    tavik::frame::forwardRelease<Family::Diagnostic>(h);
}

TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getSSTemp(Diagnostic* h, int16_t* t) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getSSTemp, t);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getPCBTemp(Diagnostic* h, int16_t* t) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getPCBTemp, t);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getPMTemp(Diagnostic* h, uint8_t index, int16_t* t, int32_t* type) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getPMTemp, index, t, type);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getStartupReason(Diagnostic* h, uint16_t* r) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getStartupReason, r);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getShutDownReason(Diagnostic* h, uint16_t* r) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getShutDownReason, r);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getHwErrorStatus(Diagnostic* h, uint16_t* s) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getHwErrorStatus, s);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getTimer(Diagnostic* h, Varnholtstad::DiagnosticTimes* t) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getTimer, t);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getMinMaxTemp(Diagnostic* h, int16_t* lo, int16_t* hi) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getMinMaxTemp, lo, hi);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_getPowerCycles(Diagnostic* h, uint16_t* n) {
    return forward<Family::Diagnostic>(h, &Diagnostic::getPowerCycles, n);
}
TAVIK_API ErrorCode TAVIK_CALL Diagnostic_clearHwErrorStatus(Diagnostic* h) {
    return forward<Family::Diagnostic>(h, &Diagnostic::clearHwErrorStatus);
}
