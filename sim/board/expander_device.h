// The telematics port expander: an 8-bit I/O port with eleven byte registers behind a register
// pointer. Register 0x00 is the pin direction (1 = input, 0xFF after power-up), 0x09 the port
// (reads the pins: output latches for outputs, the external levels for inputs; writes set the
// output latches), 0x0A the output latches themselves. The other registers just hold a byte.
//
// Behind the pins sit the telematics modules. An output pin set as input drives nothing (reads
// as 0 to the modules). Pin 7 is the common supply: without it every module is off. WLAN (pin 1),
// Bluetooth (pin 4) and GPS (pin 5) are on while their pin and the supply are. The GSM/GPRS modem
// has a power key (pin 0): with the supply on, a key press of kModemOnMinMs..kModemOnMaxMs switches
// an off modem on, one of kModemOffMinMs..kModemOffMaxMs switches an on modem off, any other
// length does nothing. It shows its state on input pin 2 only while sensing (pin 6) is driven.
// The GPS antenna drives input pin 3. Key press lengths are measured with the clock the caller
// sets before each transfer (unit milliseconds).
#pragma once

#include <cstdint>

namespace tavik::sim::board {

class ExpanderDevice {
public:
    static constexpr uint8_t kRegisterCount = 11;
    static constexpr uint8_t kDirection = 0x00;
    static constexpr uint8_t kPort = 0x09;
    static constexpr uint8_t kLatch = 0x0A;

    // Pins.
    static constexpr uint8_t kModemKeyPin = 0x01;
    static constexpr uint8_t kWlanPin = 0x02;
    static constexpr uint8_t kModemStatePin = 0x04;
    static constexpr uint8_t kAntennaPin = 0x08;
    static constexpr uint8_t kBtPin = 0x10;
    static constexpr uint8_t kGpsPin = 0x20;
    static constexpr uint8_t kModemSensePin = 0x40;
    static constexpr uint8_t kSupplyPin = 0x80;

    // Power-key press lengths the modem acts on, unit milliseconds.
    static constexpr int64_t kModemOnMinMs = 900;
    static constexpr int64_t kModemOnMaxMs = 1600;
    static constexpr int64_t kModemOffMinMs = 1800;
    static constexpr int64_t kModemOffMaxMs = 3000;

    ExpanderDevice();

    // A write transfer: register number, then bytes for that register and the following ones.
    // False for an empty transfer or a register past the last. The modules follow the new levels.
    bool write(const uint8_t* data, uint32_t length);
    // A read transfer from the register pointer on; the pointer advances. False when it runs
    // past the last register.
    bool read(uint8_t* out, uint32_t length);

    // Raw register access (state loading, tests): the modules do not react.
    uint8_t registerValue(uint8_t reg) const;
    void setRegister(uint8_t reg, uint8_t value);

    // Levels that outside circuits drive onto the input pins (pins 2 and 3 come from the
    // modem and the antenna instead).
    uint8_t inputs() const { return inputs_; }
    void setInputs(uint8_t levels) { inputs_ = levels; }

    uint8_t pointer() const { return pointer_; }
    void setPointer(uint8_t reg) { pointer_ = reg; }

    // The clock for key press lengths, in unit milliseconds.
    void setClockMs(int64_t nowMs) { nowMs_ = nowMs; }

    // Levels the output pins drive.
    uint8_t outputs() const;

    // The modules.
    bool modemOn() const { return modemOn_; }
    void setModemOn(bool on) { modemOn_ = on; }
    // When the power key went down (unit ms), -1 while it is up.
    int64_t keyDownSinceMs() const { return keyDownSinceMs_; }
    void setKeyDownSinceMs(int64_t ms) { keyDownSinceMs_ = ms; }
    // Length of the last complete key press (unit ms), -1 before the first.
    int64_t lastKeyPressMs() const { return lastKeyPressMs_; }
    void setLastKeyPressMs(int64_t ms) { lastKeyPressMs_ = ms; }
    bool gpsAntenna() const { return gpsAntenna_; }
    void setGpsAntenna(bool connected) { gpsAntenna_ = connected; }
    bool supplyOn() const { return (outputs() & kSupplyPin) != 0; }
    bool wlanOn() const { return poweredBy(kWlanPin); }
    bool btOn() const { return poweredBy(kBtPin); }
    bool gpsOn() const { return poweredBy(kGpsPin); }

private:
    bool poweredBy(uint8_t pin) const { return supplyOn() && (outputs() & pin) != 0; }
    uint8_t pinLevels() const;
    void outputsChanged(uint8_t before, uint8_t after);

    uint8_t registers_[kRegisterCount];
    uint8_t inputs_ = 0;
    uint8_t pointer_ = 0;
    int64_t nowMs_ = 0;
    bool modemOn_ = false;
    int64_t keyDownSinceMs_ = -1;
    int64_t lastKeyPressMs_ = -1;
    bool gpsAntenna_ = true;
};

} // namespace tavik::sim::board
