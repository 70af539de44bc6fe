// What the family constructors ask the About family about the unit: each query creates a
// temporary About object through the exported factory, asks once and releases it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tavik2/about.h"

namespace tavik::identity {

using AboutFlagQuery = ErrorCode(TAVIK_CALL*)(Varnholtstad::About*, bool*);
using AboutCountQuery = ErrorCode(TAVIK_CALL*)(Varnholtstad::About*, uint8_t*);
using AboutTextQuery = ErrorCode(TAVIK_CALL*)(Varnholtstad::About*, char*, int32_t);

// The answer, or nothing when the object could not be created or the query failed.
std::optional<bool> askAbout(AboutFlagQuery query);
std::optional<uint8_t> askAbout(AboutCountQuery query);
// A text of at most bufferSize - 1 characters.
std::optional<std::string> askAbout(AboutTextQuery query, int32_t bufferSize = 256);

// Unanswerable questions count as fitted...
bool displayFitted();
bool touchScreenFitted(); // display and touch screen both
bool canFitted();
bool videoFitted();
bool digitalIoFitted();

// ...except for the telematics modules, which count as absent.
enum class TelematicsModule { Gprs, Wlan, Gps, Bluetooth };
bool telematicsModuleFitted(TelematicsModule module);

} // namespace tavik::identity
