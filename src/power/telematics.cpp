#include "power/telematics.h"

#include <atomic>
#include <string>

#include "frame/handle.h"
#include "frame/settings_file.h"
#include "identity/fitted_hardware.h"
#include "platform/board_library.h"
#include "platform/sync.h"

namespace tavik::power {
namespace {

using Module = Telematics_Imp::Module;
using identity::TelematicsModule;

struct ModuleRow {
    Module module;
    TelematicsModule about;
    ErrorCode notFitted;
    uint8_t powerBit; // the port bit of its power (the modem's is sensed instead)
    const char* startUpKey;
};

const ModuleRow kModules[] = {
    {Module::Gprs, TelematicsModule::Gprs, ERR_TELEMATICS_GPRS_NOT_AVAILABLE, kGprsState, "GPRSPowerAtStartup"},
    {Module::Wlan, TelematicsModule::Wlan, ERR_TELEMATICS_WLAN_NOT_AVAILABLE, kWlanPower, "WLANPowerAtStartup"},
    {Module::Bt, TelematicsModule::Bluetooth, ERR_TELEMATICS_BT_NOT_AVAILABLE, kBtPower, "BTPowerAtStartup"},
    {Module::Gps, TelematicsModule::Gps, ERR_TELEMATICS_GPS_NOT_AVAILABLE, kGpsPower, "GPSPowerAtStartup"},
};

const ModuleRow& row(Module module) { return kModules[static_cast<int>(module)]; }

// Per process: -1 not yet asked, else 0 or 1.
std::atomic<int> fittedCache[4] = {-1, -1, -1, -1};

bool fitted(Module module) {
    std::atomic<int>& cached = fittedCache[static_cast<int>(module)];
    int known = cached.load();
    if (known < 0) {
        known = identity::telematicsModuleFitted(row(module).about) ? 1 : 0;
        cached.store(known);
    }
    return known == 1;
}

} // namespace

void forgetFittedTelematics() {
    for (std::atomic<int>& c : fittedCache) c.store(-1);
}

Telematics_Imp::Telematics_Imp() { ensureExpander(); }

// The last release ends the board library session of the process.
Telematics_Imp::~Telematics_Imp() { platform::board::libraryClose(); }

void Telematics_Imp::release() { frame::SharedInstance<Telematics_Imp>::releaseShared(); }

bool Telematics_Imp::readRegister(uint32_t reg, uint8_t& value) {
    return platform::board::i2cReadRegister(board_, kExpanderBus, kExpanderReadAddress, reg, &value);
}

bool Telematics_Imp::writeRegister(uint32_t reg, uint8_t value) {
    return platform::board::i2cWriteRegister(board_, kExpanderBus, kExpanderWriteAddress, reg, value);
}

bool Telematics_Imp::updatePort(uint8_t mask, bool set) {
    uint8_t port = 0;
    if (!readRegister(kExpanderPortRegister, port)) return false;
    port = set ? static_cast<uint8_t>(port | mask) : static_cast<uint8_t>(port & ~mask);
    return writeRegister(kExpanderPortRegister, port);
}

// Programs the expander unless its direction register shows it done (by any process since the
// board's power-up).
ErrorCode Telematics_Imp::ensureExpander() {
    if (!frame::openJidaBoard(board_)) return ERR_I2C_EXPANDER_INIT_FAILED;
    uint8_t direction = 0;
    if (!readRegister(kExpanderDirectionRegister, direction)) return ERR_I2C_EXPANDER_INIT_FAILED;
    if ((direction & 0x7F) == kDirectionInitialised || initialising_) return ERR_SUCCESS;
    if (!writeRegister(kExpanderDirectionRegister, kDirectionInitialising) ||
        !writeRegister(kExpanderPortRegister, 0x00))
        return ERR_I2C_EXPANDER_INIT_FAILED;
    // Bit 7 becomes an output again (direction 0x0C) and the common supply goes off.
    if (readRegister(kExpanderDirectionRegister, direction))
        writeRegister(kExpanderDirectionRegister, static_cast<uint8_t>(direction & 0x7F));
    updatePort(kTelematicsSupply, false);
    // A short GPS pulse through the whole switching sequence, as at every start-up.
    initialising_ = true;
    setGPSPowerStatus(1);
    platform::sleepMs(kInitGpsPulseMs);
    setGPSPowerStatus(0);
    initialising_ = false;
    return ERR_SUCCESS;
}

// Bit 2 shows the modem's state only while the sense line is on: without it the state is unknown.
ErrorCode Telematics_Imp::senseGprs(int32_t& state) {
    if (!updatePort(kGprsSense, true)) return ERR_IOCTRL_FAILED;
    platform::sleepMs(kSenseSettleMs);
    uint8_t port = 0;
    const bool read = readRegister(kExpanderPortRegister, port);
    updatePort(kGprsSense, false);
    if (!read) return ERR_I2C_EXPANDER_READ_FAILED;
    state = (port & kGprsState) != 0 ? 1 : 0;
    return ERR_SUCCESS;
}

bool Telematics_Imp::poweredForSupply(Module module) {
    if (module == Module::Gprs) {
        int32_t state = 0;
        return senseGprs(state) != ERR_SUCCESS || state != 0;
    }
    uint8_t port = 0;
    if (!readRegister(kExpanderPortRegister, port)) return true;
    return (port & row(module).powerBit) != 0;
}

bool Telematics_Imp::otherModulePowered(Module module) {
    for (const ModuleRow& other : kModules)
        if (other.module != module && poweredForSupply(other.module)) return true;
    return false;
}

// On: the common supply on; false when it could not be switched on (a module switched on
// without it stays off). Off: the supply off unless another module is still powered, asked in
// the order GPRS, WLAN, Bluetooth, GPS; a supply left on does no harm to a module switched off.
bool Telematics_Imp::handleSupply(Module module, bool on) {
    if (on) return updatePort(kTelematicsSupply, true);
    if (!otherModulePowered(module)) updatePort(kTelematicsSupply, false);
    return true;
}

// The modem shuts down after its off pulse; the supply goes only once it shows off, so that it
// is not cut in the middle of that shutdown. A modem that never shows off within the bound loses
// the supply all the same: off was asked for.
void Telematics_Imp::cutSupplyAfterModemOff() {
    if (otherModulePowered(Module::Gprs)) return;
    for (int attempt = 0; attempt < kModemOffChecks; ++attempt) {
        int32_t state = 1;
        if (senseGprs(state) == ERR_SUCCESS && state == 0) break;
    }
    updatePort(kTelematicsSupply, false);
}

ErrorCode Telematics_Imp::readPortBit(Module module, uint8_t mask, int32_t* status) {
    if (!fitted(module)) return row(module).notFitted;
    if (status == nullptr) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = ensureExpander(); e != ERR_SUCCESS) return e;
    uint8_t port = 0;
    if (!readRegister(kExpanderPortRegister, port)) return ERR_I2C_EXPANDER_READ_FAILED;
    *status = (port & mask) != 0 ? 1 : 0;
    return ERR_SUCCESS;
}

ErrorCode Telematics_Imp::switchModule(Module module, int32_t status) {
    if (!fitted(module)) return row(module).notFitted;
    if (const ErrorCode e = ensureExpander(); e != ERR_SUCCESS) return e;
    const bool on = status == 1;
    if (!handleSupply(module, on)) return ERR_I2C_EXPANDER_WRITE_FAILED;
    return updatePort(row(module).powerBit, on) ? ERR_SUCCESS : ERR_I2C_EXPANDER_WRITE_FAILED;
}

ErrorCode Telematics_Imp::getStartUp(Module module, int32_t* status) {
    if (!fitted(module)) return row(module).notFitted;
    if (status == nullptr) return ERR_INVALID_PARAMETER;
    frame::SettingsFile store;
    store.load();
    int32_t value = 0;
    *status = store.getInt(row(module).startUpKey, value) == ERR_SUCCESS && value == 1 ? 1 : 0;
    return ERR_SUCCESS;
}

ErrorCode Telematics_Imp::setStartUp(Module module, int32_t status) {
    if (!fitted(module)) return row(module).notFitted;
    frame::SettingsFile store;
    store.load();
    return frame::storeResult(store.set(row(module).startUpKey, status == 1 ? "1" : "0"));
}

// Asked in the order Bluetooth, GPS, WLAN, GPRS, stopping at the first fitted one.
ErrorCode Telematics_Imp::getTelematicsAvailable(int32_t* available) {
    if (available == nullptr) return ERR_INVALID_PARAMETER;
    *available = fitted(Module::Bt) || fitted(Module::Gps) || fitted(Module::Wlan) || fitted(Module::Gprs) ? 1 : 0;
    return ERR_SUCCESS;
}

ErrorCode Telematics_Imp::getGPRSPowerStatus(int32_t* status) {
    if (!fitted(Module::Gprs)) return ERR_TELEMATICS_GPRS_NOT_AVAILABLE;
    if (status == nullptr) return ERR_INVALID_PARAMETER;
    if (const ErrorCode e = ensureExpander(); e != ERR_SUCCESS) return e;
    int32_t state = 0;
    if (const ErrorCode e = senseGprs(state); e != ERR_SUCCESS) return e;
    *status = state;
    return ERR_SUCCESS;
}

// The modem has no power line of its own: a pulse on its power key toggles it, so the key is
// pressed only when the sensed state differs from the request.
ErrorCode Telematics_Imp::setGPRSPowerStatus(int32_t status) {
    if (!fitted(Module::Gprs)) return ERR_TELEMATICS_GPRS_NOT_AVAILABLE;
    if (const ErrorCode e = ensureExpander(); e != ERR_SUCCESS) return e;
    int32_t state = 0;
    if (const ErrorCode e = senseGprs(state); e != ERR_SUCCESS) return e;
    const bool on = status == 1;
    // Already as asked: only the supply follows. To switch off, the supply stays for the pulse.
    if (state == (on ? 1 : 0)) return handleSupply(Module::Gprs, on) ? ERR_SUCCESS : ERR_I2C_EXPANDER_WRITE_FAILED;
    if (on && !handleSupply(Module::Gprs, true)) return ERR_I2C_EXPANDER_WRITE_FAILED;
    uint8_t port = 0;
    if (!readRegister(kExpanderPortRegister, port)) return ERR_I2C_EXPANDER_WRITE_FAILED;
    port = static_cast<uint8_t>(port & ~kGprsPowerKey);
    if (!writeRegister(kExpanderPortRegister, port)) return ERR_I2C_EXPANDER_WRITE_FAILED;
    if (!writeRegister(kExpanderPortRegister, static_cast<uint8_t>(port | kGprsPowerKey)))
        return ERR_I2C_EXPANDER_WRITE_FAILED;
    platform::sleepMs(on ? kPowerKeyOnMs : kPowerKeyOffMs);
    if (!writeRegister(kExpanderPortRegister, port)) return ERR_I2C_EXPANDER_WRITE_FAILED;
    if (!on) cutSupplyAfterModemOff();
    return ERR_SUCCESS;
}

ErrorCode Telematics_Imp::getWLANPowerStatus(int32_t* s) { return readPortBit(Module::Wlan, kWlanPower, s); }
ErrorCode Telematics_Imp::getBTPowerStatus(int32_t* s) { return readPortBit(Module::Bt, kBtPower, s); }
ErrorCode Telematics_Imp::getGPSPowerStatus(int32_t* s) { return readPortBit(Module::Gps, kGpsPower, s); }
ErrorCode Telematics_Imp::getGPSAntennaStatus(int32_t* s) { return readPortBit(Module::Gps, kGpsAntenna, s); }
ErrorCode Telematics_Imp::setWLANPowerStatus(int32_t s) { return switchModule(Module::Wlan, s); }
ErrorCode Telematics_Imp::setBTPowerStatus(int32_t s) { return switchModule(Module::Bt, s); }
ErrorCode Telematics_Imp::setGPSPowerStatus(int32_t s) { return switchModule(Module::Gps, s); }

ErrorCode Telematics_Imp::getGPRSStartUpPowerStatus(int32_t* s) { return getStartUp(Module::Gprs, s); }
ErrorCode Telematics_Imp::getWLANStartUpPowerStatus(int32_t* s) { return getStartUp(Module::Wlan, s); }
ErrorCode Telematics_Imp::getBTStartUpPowerStatus(int32_t* s) { return getStartUp(Module::Bt, s); }
ErrorCode Telematics_Imp::getGPSStartUpPowerStatus(int32_t* s) { return getStartUp(Module::Gps, s); }
ErrorCode Telematics_Imp::setGPRSStartUpPowerStatus(int32_t s) { return setStartUp(Module::Gprs, s); }
ErrorCode Telematics_Imp::setWLANStartUpPowerStatus(int32_t s) { return setStartUp(Module::Wlan, s); }
ErrorCode Telematics_Imp::setBTStartUpPowerStatus(int32_t s) { return setStartUp(Module::Bt, s); }
ErrorCode Telematics_Imp::setGPSStartUpPowerStatus(int32_t s) { return setStartUp(Module::Gps, s); }

} // namespace tavik::power

using tavik::frame::Family;
using tavik::frame::forward;
using tavik::power::Telematics_Imp;
using Varnholtstad::Telematics;

TAVIK_API Telematics* TAVIK_CALL GetTelematics(void) {
    return tavik::frame::SharedInstance<Telematics_Imp>::acquire();
}

TAVIK_API void TAVIK_CALL Telematics_release(Telematics* h) { tavik::frame::forwardRelease<Family::Telematics>(h); }

#define TAVIK_TELEMATICS_EXPORT(op, Arg)                                                           \
    TAVIK_API ErrorCode TAVIK_CALL Telematics_##op(Telematics* h, Arg value) {                     \
        return forward<Family::Telematics>(h, &Telematics::op, value);                             \
    }

TAVIK_TELEMATICS_EXPORT(getTelematicsAvailable, int32_t*)
TAVIK_TELEMATICS_EXPORT(getGPRSPowerStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(getGPRSStartUpPowerStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(getWLANPowerStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(getWLANStartUpPowerStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(getGPSAntennaStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(setGPRSPowerStatus, int32_t)
TAVIK_TELEMATICS_EXPORT(setGPRSStartUpPowerStatus, int32_t)
TAVIK_TELEMATICS_EXPORT(setWLANPowerStatus, int32_t)
TAVIK_TELEMATICS_EXPORT(setWLANStartUpPowerStatus, int32_t)
TAVIK_TELEMATICS_EXPORT(getBTPowerStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(getBTStartUpPowerStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(getGPSPowerStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(getGPSStartUpPowerStatus, int32_t*)
TAVIK_TELEMATICS_EXPORT(setBTPowerStatus, int32_t)
TAVIK_TELEMATICS_EXPORT(setBTStartUpPowerStatus, int32_t)
TAVIK_TELEMATICS_EXPORT(setGPSPowerStatus, int32_t)
TAVIK_TELEMATICS_EXPORT(setGPSStartUpPowerStatus, int32_t)
