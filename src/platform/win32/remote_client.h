// The connection of this process to a remote simulated unit (`tavikctl sim serve`), chosen by the
// environment variable TAVIK_SIM=[TOKEN@]ADDRESS:PORT (platform/remote_target.h). With it set, the device, board-library and
// service-control calls of the seam go to that server; everything else stays the Windows path.
//
// One connection per process, opened at the first call and guarded by one lock (the server ties
// board sessions and device ids to the connection; requests are answered one at a time). A
// server that cannot be reached, or a connection that breaks, makes the call fail as absent
// hardware would; the next call connects again. Without TAVIK_SIM no socket code runs.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/remote_protocol.h"

namespace tavik::platform::remote {

// Whether this process talks to a remote unit. Read from the environment at the first call;
// the answer stays the same for the life of the process.
bool enabled();

// Numbers the connections of this process (from 1): ids the server hands out are valid only on
// the connection that handed them out.
using Generation = uint32_t;

// One request and its reply payload. False when the server cannot be reached, the connection
// broke or the reply does not fit the request (the connection is then closed). With `required`
// not 0 the request is sent only on that connection (none is made): false when it is gone.
// `answered` (may be null) is set to the connection that answered.
bool call(Kind kind, const std::vector<uint8_t>& request, std::vector<uint8_t>& reply,
          Generation required = 0, Generation* answered = nullptr);

} // namespace tavik::platform::remote
