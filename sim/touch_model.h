// The touch controller behind the auxiliary driver: its touch mode, right-click time,
// calibration mode and 32 16-bit registers.
// State: "touch": {"mode", "right_click_time", "calibration_mode" (the controller's byte),
// "registers": [32 values], "point_delay_ms" (unit time the user takes to touch a target),
// "pending": null or {"point", "started_us"}}.
// Calibration: writing a point number to register 1 in a calibration mode starts that point:
// register 1 then reads 0xFF in its high byte and the point in its low byte; once the point is
// touched (point_delay_ms of unit time later, or at once with touchFinishPoint) the high byte
// holds the point too. Setting a calibration mode clears any pending point.
#pragma once

#include <optional>

namespace tavik::sim {

// Finishes the pending calibration point now; its number, or nothing when none is pending.
std::optional<int> touchFinishPoint();

} // namespace tavik::sim
