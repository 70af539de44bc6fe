// The system supervisor as the simulated unit plays it, in three models:
// - "supervisor": its health record (temperatures, start-up and shut-down reasons, hardware error
//   status, operating-time counters, extremes, power cycles);
// - "power": the switchable power outputs, the front button power transition and a pending
//   power request;
// - "startup": the start-up configuration it keeps in non-volatile memory.
// docs/simulator.md, "System supervisor", lists every field.
#pragma once

#include <cstdint>
#include <string>

#include "sim/unit.h"

namespace tavik::sim {

// Start-up reason codes the supervisor reports.
constexpr uint16_t kStartupPowerOn = 0x0F;
constexpr uint16_t kStartupFrontButton = 0x55;
constexpr uint16_t kStartupExternalSignal = 0xAA;
constexpr uint16_t kStartupOsRestart = 0xF0;

// Switches the unit off and on again: counts a power cycle, records the start-up reason (and the
// shut-down reason when given, else it stays), and sets the power outputs from the start-up
// configuration. The start-up configuration, the hardware error status and the extremes survive.
void powerCycle(Txn& txn, uint16_t startupReason, int32_t shutdownReason = -1);

// Field checks shared by the supervisor's models: `field` must be an integer within [lo, hi].
bool checkInteger(const json& doc, const char* field, int64_t lo, int64_t hi, std::string& error);

// The model's document from its defaults and the profile's section of the same name, checked
// with `validate`; throws std::invalid_argument for a bad profile section.
json documentFromProfile(const json& profile, const char* model, json defaults,
                         bool (*validate)(json&, std::string&));

} // namespace tavik::sim
