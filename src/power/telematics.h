// The Telematics family: power of the GSM/GPRS modem, WLAN, Bluetooth and GPS modules, which hang
// on the pins of an 8-bit port expander on I2C bus 0 of the CPU board, the GPS antenna state, and
// each module's power at start-up (keys of the settings file, applied by the platform at power-up).
#pragma once

#include <cstdint>

#include "frame/board_session.h"
#include "tavik2/telematics.h"

namespace tavik::power {

// The port expander: write address byte 0x40, read 0x41 (7-bit address 0x20), bus 0.
constexpr uint32_t kExpanderBus = 0;
constexpr uint32_t kExpanderWriteAddress = 0x40;
constexpr uint32_t kExpanderReadAddress = 0x41;
constexpr uint32_t kExpanderDirectionRegister = 0x00; // 1 = input
constexpr uint32_t kExpanderPortRegister = 0x09;

// Direction once initialised: bits 2 and 3 inputs, the rest outputs. While initialising, bit 7
// is also set (0x8C); both count as initialised.
constexpr uint8_t kDirectionInitialised = 0x0C;
constexpr uint8_t kDirectionInitialising = 0x8C;

// Port bits.
constexpr uint8_t kGprsPowerKey = 0x01; // pulsed to switch the modem on or off
constexpr uint8_t kWlanPower = 0x02;
constexpr uint8_t kGprsState = 0x04; // input: modem on, valid while kGprsSense is set
constexpr uint8_t kGpsAntenna = 0x08; // input
constexpr uint8_t kBtPower = 0x10;
constexpr uint8_t kGpsPower = 0x20;
constexpr uint8_t kGprsSense = 0x40;
constexpr uint8_t kTelematicsSupply = 0x80; // common supply of all modules

// Waits, in milliseconds: modem state sensing, power-key pulse on / off, GPS pulse at initialisation.
constexpr uint32_t kSenseSettleMs = 100;
constexpr uint32_t kPowerKeyOnMs = 1100;
constexpr uint32_t kPowerKeyOffMs = 2100;
constexpr uint32_t kInitGpsPulseMs = 200;
// Sensings (kSenseSettleMs each) after the off pulse until the modem shows off, before the
// common supply is cut: at most 2 s, as long as the power manager waits for its service.
constexpr int kModemOffChecks = 20;

// The module availability is asked of the About family once per process and kept; the host tests
// and the simulator drop it when they move to another unit. The library itself never does.
void forgetFittedTelematics();

// Shared, counted. No lock around the expander's read-modify-write sequences: callers in several
// threads or processes switching modules at once can undo each other's changes, as on the unit.
class Telematics_Imp final : public Varnholtstad::Telematics {
public:
    enum class Module { Gprs, Wlan, Bt, Gps };

    Telematics_Imp();
    ~Telematics_Imp();
    Telematics_Imp(const Telematics_Imp&) = delete;
    Telematics_Imp& operator=(const Telematics_Imp&) = delete;

    ErrorCode getTelematicsAvailable(int32_t* available) override;
    ErrorCode getGPRSPowerStatus(int32_t* status) override;
    ErrorCode getGPRSStartUpPowerStatus(int32_t* status) override;
    ErrorCode getWLANPowerStatus(int32_t* status) override;
    ErrorCode getWLANStartUpPowerStatus(int32_t* status) override;
    ErrorCode getGPSAntennaStatus(int32_t* status) override;
    ErrorCode setGPRSPowerStatus(int32_t status) override;
    ErrorCode setGPRSStartUpPowerStatus(int32_t status) override;
    ErrorCode setWLANPowerStatus(int32_t status) override;
    ErrorCode setWLANStartUpPowerStatus(int32_t status) override;
    void release() override;
    ErrorCode getBTPowerStatus(int32_t* status) override;
    ErrorCode getBTStartUpPowerStatus(int32_t* status) override;
    ErrorCode getGPSPowerStatus(int32_t* status) override;
    ErrorCode getGPSStartUpPowerStatus(int32_t* status) override;
    ErrorCode setBTPowerStatus(int32_t status) override;
    ErrorCode setBTStartUpPowerStatus(int32_t status) override;
    ErrorCode setGPSPowerStatus(int32_t status) override;
    ErrorCode setGPSStartUpPowerStatus(int32_t status) override;

private:
    ErrorCode ensureExpander();
    bool readRegister(uint32_t reg, uint8_t& value);
    bool writeRegister(uint32_t reg, uint8_t value);
    // Sets or clears `mask` in the port; false when the read or the write fails.
    bool updatePort(uint8_t mask, bool set);
    // The modem's state, read with the sense line on. ERR_IOCTRL_FAILED when the sense line
    // cannot be switched on (bit 2 is not valid then), ERR_I2C_EXPANDER_READ_FAILED when the port
    // cannot be read.
    ErrorCode senseGprs(int32_t& state);
    // Whether `module` is powered; one that cannot be read counts as on.
    bool poweredForSupply(Module module);
    // Whether any module other than `module` is powered.
    bool otherModulePowered(Module module);
    // The common supply for `module` switched on or off; false when switching on failed.
    bool handleSupply(Module module, bool on);
    // After the modem's off pulse: waits (bounded) until it shows off, then cuts the supply
    // unless another module is powered.
    void cutSupplyAfterModemOff();
    ErrorCode readPortBit(Module module, uint8_t mask, int32_t* status);
    ErrorCode switchModule(Module module, int32_t status);
    ErrorCode getStartUp(Module module, int32_t* status);
    ErrorCode setStartUp(Module module, int32_t status);

    frame::BoardHandle board_ = 0;
    bool initialising_ = false;
};

} // namespace tavik::power
