// The Diagnostic family: the system supervisor's health record through the auxiliary driver, and
// the CPU board's temperature sensors through the board-access library.
#pragma once

#include <atomic>
#include <cstdint>

#include "frame/driver_channel.h"
#include "platform/board_library.h"
#include "tavik2/diagnostic.h"

namespace tavik::power {

constexpr uint32_t kReqSsTemp = frame::requestCode(0x91A);
constexpr uint32_t kReqPcbTemp = frame::requestCode(0x91B);
constexpr uint32_t kReqTimer = frame::requestCode(0x91C);
constexpr uint32_t kReqStartupReason = frame::requestCode(0x91D);
constexpr uint32_t kReqShutDownReason = frame::requestCode(0x91E);
constexpr uint32_t kReqHwErrorStatus = frame::requestCode(0x91F);
constexpr uint32_t kReqPowerCycles = frame::requestCode(0x920);
constexpr uint32_t kReqMinMaxTemp = frame::requestCode(0x921);
constexpr uint32_t kReqClearHwError = frame::requestCode(0x967);

// Pause after every temperature sensor access, before the I2C lock is given back.
constexpr uint32_t kSensorSettleMs = 10;

// Shared, counted. The driver is opened by the first request and again by every request until
// an open succeeds.
class Diagnostic_Imp final : public Varnholtstad::Diagnostic {
public:
    Diagnostic_Imp() : channel_(frame::DriverChannel::OpenPolicy::OnDemand) {}

    ErrorCode getSSTemp(int16_t* temperature) override;
    ErrorCode getPCBTemp(int16_t* temperature) override;
    ErrorCode getPMTemp(uint8_t sensorIndex, int16_t* temperature, int32_t* sensorType) override;
    ErrorCode getStartupReason(uint16_t* reason) override;
    ErrorCode getShutDownReason(uint16_t* reason) override;
    ErrorCode getHwErrorStatus(uint16_t* status) override;
    ErrorCode getTimer(Varnholtstad::DiagnosticTimes* times) override;
    ErrorCode getMinMaxTemp(int16_t* minTemp, int16_t* maxTemp) override;
    ErrorCode getPowerCycles(uint16_t* powerCycles) override;
    ErrorCode clearHwErrorStatus() override;
    void release() override;

private:
    // One 16-bit little-endian reply (bytes 0..1) of a 2-byte read.
    template <class T>
    ErrorCode readWord(uint32_t code, T* out);

    frame::DriverChannel channel_;
    // Left by the last session; never closed here. Threads sharing the object each read with
    // the handle of their own session and only record it here.
    std::atomic<platform::board::BoardHandle> board_{0};
};

} // namespace tavik::power
