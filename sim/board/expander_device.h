// The telematics port expander: an 8-bit I/O port with eleven byte registers behind a register
// pointer. Register 0x00 is the pin direction (1 = input, 0xFF after power-up), 0x09 the port
// (reads the pins: output latches for outputs, the external levels for inputs; writes set the
// output latches), 0x0A the output latches themselves. The other registers just hold a byte.
#pragma once

#include <cstdint>

namespace tavik::sim::board {

class ExpanderDevice {
public:
    static constexpr uint8_t kRegisterCount = 11;
    static constexpr uint8_t kDirection = 0x00;
    static constexpr uint8_t kPort = 0x09;
    static constexpr uint8_t kLatch = 0x0A;

    ExpanderDevice();

    // A write transfer: register number, then bytes for that register and the following ones.
    // False for an empty transfer or a register past the last.
    bool write(const uint8_t* data, uint32_t length);
    // A read transfer from the register pointer on; the pointer advances. False when it runs
    // past the last register.
    bool read(uint8_t* out, uint32_t length);

    uint8_t registerValue(uint8_t reg) const;
    void setRegister(uint8_t reg, uint8_t value);

    // Levels that outside circuits drive onto the input pins.
    uint8_t inputs() const { return inputs_; }
    void setInputs(uint8_t levels) { inputs_ = levels; }

    uint8_t pointer() const { return pointer_; }
    void setPointer(uint8_t reg) { pointer_ = reg; }

private:
    uint8_t registers_[kRegisterCount];
    uint8_t inputs_ = 0;
    uint8_t pointer_ = 0;
};

} // namespace tavik::sim::board
