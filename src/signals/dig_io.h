// The DigIO family: the states of the unit's digital inputs, read through the auxiliary driver.
#pragma once

#include "frame/driver_channel.h"
#include "tavik2/dig_io.h"

namespace tavik::signals {

constexpr uint32_t kReqGetDigIO = frame::requestCode(0x952); // out: 1 byte, inputs in bits 0..3

class DigIO_Imp final : public Varnholtstad::DigIO {
public:
    DigIO_Imp();

    ErrorCode getDigIO(uint8_t* inputs) override;
    ErrorCode setDigIO(int32_t outputs) override;
    void release() override;

private:
    frame::DriverChannel channel_;
    bool supported_;
};

} // namespace tavik::signals
