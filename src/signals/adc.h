// The Adc family: the system supervisor's measurement of one supply voltage, in volts.
#pragma once

#include "frame/driver_channel.h"
#include "identity/aux_version.h"
#include "tavik2/adc.h"

namespace tavik::signals {

// in: the selector (32-bit LE); out: the selector echoed (32-bit), the raw reading (16-bit),
// two unused bytes.
constexpr uint32_t kReqGetVoltage = frame::requestCode(0x919);

constexpr uint16_t kAdcUnmeasured = 0xF0F0;    // raw reading of a voltage the unit does not measure
constexpr int32_t kAdcSelectorCount = 16;
constexpr int32_t kAdcGatedSelector = 11;      // measured from supervisor firmware 1.0.0.0 on
constexpr identity::FirmwareVersionNumber kAdcGatedSsVersion = 1000000;

// Scale of each selector's conversion: volts = scale * 33 * raw / 40960.
constexpr int kAdcScale[kAdcSelectorCount] = {12, 12, 5, 5, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1};

constexpr double adcVolts(int32_t selector, uint16_t raw) {
    return kAdcScale[selector] * 33.0 * raw / 40960.0;
}

class Adc_Imp final : public Varnholtstad::Adc {
public:
    Adc_Imp();

    ErrorCode getVoltage(int32_t selector, double* voltage) override;
    void release() override;

private:
    frame::DriverChannel channel_;
    identity::FirmwareVersionNumber ssVersion_ = 0;
};

} // namespace tavik::signals
