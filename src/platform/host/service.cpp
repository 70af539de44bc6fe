// Service control of the host build: the simulated unit plays the platform service. A unit that
// cannot be opened or written is a service manager that cannot be reached.
#include "platform/service.h"
#include "platform/backend.h"

#include "platform/host/replay.h"
#include "sim/service_model.h"

namespace tavik::platform {

namespace os {

ServiceControlResult controlService(const std::string& serviceName, uint32_t code) {
    if (auto r = host::replay::service(serviceName, code)) return *r;
    try {
        switch (sim::serviceControl(serviceName, code)) {
        case sim::ServiceAnswer::Accepted: return ServiceControlResult::Accepted;
        case sim::ServiceAnswer::Refused: return ServiceControlResult::Refused;
        case sim::ServiceAnswer::NotOpened: break;
        }
    } catch (...) {
    }
    return ServiceControlResult::NotOpened;
}


} // namespace os
} // namespace tavik::platform
