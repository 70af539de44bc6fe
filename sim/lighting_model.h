// The display lighting hardware as the simulated unit plays it.
//
// "backlight": {"level": 0..255, "status": 0..255} -- the level register and the controller's
// raw status byte (3 and 15 mean working). Requests 0x906 read the level, 0x907 write it, 0x908
// read the status.
//
// "lightsensor": a two-channel light-to-digital converter (channel 0 visible plus infrared,
// channel 1 infrared), each giving an 8-bit chord/step code with bit 7 "valid".
// {"lux": ambient illuminance, "ir_share": infrared part of channel 0's count (0..0.9),
//  "range": 0 standard / 1 extended (5 times less sensitive),
//  "script": [[seconds, lux], ...] (empty: the fixed "lux"), "script_start_us": start of the script}
// A script is played in the reading process's time (TAVIK_TIME_SCALE compresses it), linear
// between its points, holding the last value after the end. Requests 0x945 read both codes,
// 0x946 write the range (only 0 and 1 are accepted), 0x947 read it.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace tavik::sim {

// Chord/step code of the count nearest to `count` (bit 7 set); counts above 4015 give 0xFF.
uint8_t lightCodeForCount(double count);
// Count of a code: 16.5 x (2^C - 1) rounded down, plus S x 2^C.
uint32_t lightCountOfCode(uint8_t code);

struct LightCodes {
    uint8_t ch0;
    uint8_t ch1;
};
// The codes the sensor gives at `lux` in `range`: the published conversion inverted for the
// infrared share, the pair whose conversion comes nearest to the light; channel 0 saturates at
// chord 7, step 15 when the light is beyond the range.
LightCodes lightCodesFor(double lux, int range, double irShare);

// "seconds lux" lines (blank lines and "#" comments skipped) into [[seconds, lux], ...], times
// not decreasing; false with the line's fault otherwise.
bool parseLightScript(const std::string& text, nlohmann::json& points, std::string& error);
// The illuminance a script gives `seconds` after its start.
double lightScriptLux(const nlohmann::json& points, double seconds);

// Changes of the ambient light, each one transaction: a fixed value (stops a script), or a
// script starting now.
void setAmbientLight(double lux);
void startLightScript(const nlohmann::json& points);
// The illuminance the sensor sees now (script or fixed value) and its state document.
double ambientLight();

} // namespace tavik::sim
