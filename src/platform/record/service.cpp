// Recording of service control: forwards to the backend, then writes one trace line.
#include "platform/backend.h"
#include "platform/record/recorder.h"

namespace tavik::platform {
namespace {

const char* serviceResultName(ServiceControlResult r) {
    switch (r) {
    case ServiceControlResult::NotOpened: return "not_opened";
    case ServiceControlResult::Refused: return "refused";
    case ServiceControlResult::Accepted: return "accepted";
    }
    return "?";
}

} // namespace

ServiceControlResult controlService(const std::string& serviceName, uint32_t code) {
    const ServiceControlResult r = os::controlService(serviceName, code);
    if (record::active())
        record::Line("service").text("name", serviceName).number("code", code).text("result", serviceResultName(r)).commit();
    return r;
}

} // namespace tavik::platform
