// Where a client of `tavikctl sim serve` connects, read from the value of TAVIK_SIM:
//   [TOKEN@]ADDRESS[:PORT]     "127.0.0.1:47820", "[::1]", "3f9c...@192.168.1.20:47820"
// Without a port the server's default one; an empty address is the default address; IPv6 in
// brackets. The token may instead come from TAVIK_SIM_TOKEN (a token in TAVIK_SIM wins).
// Portable: both clients compile this header; no OS calls here.
#pragma once

#include <string>

#include "platform/remote_protocol.h"

namespace tavik::platform::remote {

// The second place a token may come from, so that it need not appear in a command line.
constexpr const char* kTokenVariable = "TAVIK_SIM_TOKEN";

struct Target {
    std::string host;
    std::string port;
    std::string token; // empty: none is sent
};

// `value` is TAVIK_SIM's, `tokenVariable` TAVIK_SIM_TOKEN's (empty when unset).
inline Target parseTarget(const std::string& value, const std::string& tokenVariable) {
    Target t;
    std::string rest = value;
    // A token never holds '@' or ':'; an address never holds '@'.
    const size_t at = rest.rfind('@');
    if (at != std::string::npos) {
        t.token = rest.substr(0, at);
        rest = rest.substr(at + 1);
    } else {
        t.token = tokenVariable;
    }
    t.host = rest;
    t.port = std::to_string(kDefaultPort);
    const size_t colon = rest.rfind(':');
    const size_t bracket = rest.rfind(']');
    const bool bareIpv6 = bracket == std::string::npos && colon != std::string::npos &&
                          rest.find(':') != colon; // "::1" without brackets: all address
    if (colon != std::string::npos && !bareIpv6 && (bracket == std::string::npos || colon > bracket)) {
        t.host = rest.substr(0, colon);
        t.port = rest.substr(colon + 1);
    }
    if (t.host.size() >= 2 && t.host.front() == '[' && t.host.back() == ']') t.host = t.host.substr(1, t.host.size() - 2);
    if (t.host.empty()) t.host = kDefaultAddress;
    return t;
}

} // namespace tavik::platform::remote
