// The platform service as the simulated unit plays it: installed or not, accepting or refusing
// control codes, and its side of the settings keys it shares with the library.
// State: "service": {"mode": "accepting" | "refusing" | "absent", "received": [accepted codes],
// "refused": [refused codes]}. Every control code sent is logged with target
// "service:<name>", whatever the outcome. A fault with target "service" (and a code, 0 for any)
// overrides the mode for the codes it applies to: its "action" is the mode to play.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::sim {

enum class ServiceAnswer { NotOpened, Refused, Accepted };

// One control code sent to the named service; recorded in the log.
ServiceAnswer serviceControl(const std::string& serviceName, uint32_t code);

// Mode of the service; false (nothing changed) for a name other than the three modes.
bool setServiceMode(const std::string& mode);
std::string serviceMode();

// Codes the service accepted, in order of arrival, and those it refused.
std::vector<uint32_t> serviceReceived();
std::vector<uint32_t> serviceRefused();
// Forgets the received and refused codes.
void clearServiceReceived();

// The service writes one key of the shared settings file, through the settings store and under
// its lock, as the real service does ("PowerMgrRunning", "PowerMgrReq", "PowerMgrResume", ...).
void setServiceSetting(const std::string& key, const std::string& value);
// The service reads one key: its value, empty when absent. The file is not changed.
std::string serviceSetting(const std::string& key);

} // namespace tavik::sim
