#include "sim/board/expander_device.h"

namespace tavik::sim::board {

ExpanderDevice::ExpanderDevice() {
    for (uint8_t& r : registers_) r = 0;
    registers_[kDirection] = 0xFF;
}

uint8_t ExpanderDevice::outputs() const {
    return static_cast<uint8_t>(registers_[kLatch] & ~registers_[kDirection]);
}

uint8_t ExpanderDevice::pinLevels() const {
    uint8_t levels = static_cast<uint8_t>(inputs_ & ~(kModemStatePin | kAntennaPin));
    if (modemOn_ && (outputs() & kModemSensePin) != 0) levels |= kModemStatePin;
    if (gpsAntenna_) levels |= kAntennaPin;
    return levels;
}

uint8_t ExpanderDevice::registerValue(uint8_t reg) const {
    if (reg >= kRegisterCount) return 0;
    if (reg == kPort) {
        const uint8_t direction = registers_[kDirection];
        return static_cast<uint8_t>((registers_[kLatch] & ~direction) | (pinLevels() & direction));
    }
    return registers_[reg];
}

void ExpanderDevice::setRegister(uint8_t reg, uint8_t value) {
    if (reg >= kRegisterCount) return;
    // The port register writes the output latches.
    registers_[reg == kPort ? kLatch : reg] = value;
}

// The modem without supply is off and forgets a key press; with supply it acts on a complete
// press of the right length.
void ExpanderDevice::outputsChanged(uint8_t before, uint8_t after) {
    if ((after & kSupplyPin) == 0) {
        modemOn_ = false;
        keyDownSinceMs_ = -1;
        return;
    }
    const bool keyWas = (before & kModemKeyPin) != 0, keyIs = (after & kModemKeyPin) != 0;
    if (!keyWas && keyIs) {
        keyDownSinceMs_ = nowMs_;
    } else if (keyWas && !keyIs && keyDownSinceMs_ >= 0) {
        const int64_t held = nowMs_ - keyDownSinceMs_;
        lastKeyPressMs_ = held;
        keyDownSinceMs_ = -1;
        if (!modemOn_ && held >= kModemOnMinMs && held <= kModemOnMaxMs) modemOn_ = true;
        else if (modemOn_ && held >= kModemOffMinMs && held <= kModemOffMaxMs) modemOn_ = false;
    }
}

bool ExpanderDevice::write(const uint8_t* data, uint32_t length) {
    if (length == 0 || data[0] >= kRegisterCount) return false;
    pointer_ = data[0];
    for (uint32_t i = 1; i < length; ++i) {
        if (pointer_ >= kRegisterCount) return false;
        const uint8_t before = outputs();
        setRegister(pointer_++, data[i]);
        outputsChanged(before, outputs());
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
