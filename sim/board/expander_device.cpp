#include "sim/board/expander_device.h"

namespace tavik::sim::board {

ExpanderDevice::ExpanderDevice() {
    for (uint8_t& r : registers_) r = 0;
    registers_[kDirection] = 0xFF;
}

uint8_t ExpanderDevice::registerValue(uint8_t reg) const {
    if (reg >= kRegisterCount) return 0;
    if (reg == kPort) {
        const uint8_t direction = registers_[kDirection];
        return static_cast<uint8_t>((registers_[kLatch] & ~direction) | (inputs_ & direction));
    }
    return registers_[reg];
}

void ExpanderDevice::setRegister(uint8_t reg, uint8_t value) {
    if (reg >= kRegisterCount) return;
    // The port register writes the output latches.
    registers_[reg == kPort ? kLatch : reg] = value;
}

bool ExpanderDevice::write(const uint8_t* data, uint32_t length) {
    if (length == 0 || data[0] >= kRegisterCount) return false;
    pointer_ = data[0];
    for (uint32_t i = 1; i < length; ++i) {
        if (pointer_ >= kRegisterCount) return false;
        setRegister(pointer_++, data[i]);
    }
    return true;
}

bool ExpanderDevice::read(uint8_t* out, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        if (pointer_ >= kRegisterCount) return false;
        out[i] = registerValue(pointer_++);
    }
    return true;
}

} // namespace tavik::sim::board
