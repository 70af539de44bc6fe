// Version requests: the four bytes major, minor, release, build of each programmable part.
#include <cstring>

#include "frame/request_index.h"
#include "sim/driver.h"

namespace tavik::sim {
namespace versions_model {

bool serveVersion(Txn& txn, Request& r, const char* part) {
    std::vector<uint8_t> bytes;
    const json& v = txn.get("driver")["versions"][part];
    if (!v.is_string() || !parseVersion(v.get<std::string>(), bytes)) {
        r.note = "version not set";
        return false;
    }
    for (uint32_t i = 0; i < 4; ++i) r.out[i] = bytes[i];
    r.returned = 4;
    return true;
}

bool fpga(Txn& t, Request& r) { return serveVersion(t, r, "fpga"); }
bool ss(Txn& t, Request& r) { return serveVersion(t, r, "ss"); }
bool front(Txn& t, Request& r) { return serveVersion(t, r, "front"); }
bool driver(Txn& t, Request& r) { return serveVersion(t, r, "driver"); }

const bool registered = [] {
    registerRequestHandler(frame::requestCode(0x93C), &fpga);
    registerRequestHandler(frame::requestCode(0x93D), &ss);
    registerRequestHandler(frame::requestCode(0x93E), &front);
    registerRequestHandler(frame::requestCode(0x966), &driver);
    return true;
}();

} // namespace versions_model
} // namespace tavik::sim
