// The automatic backlight's settings in the shared settings file and the machine-wide semaphore
// that announces a change of them; written by the Backlight family, read by the controller.
#pragma once

#include <cstdint>

namespace tavik::lighting {

constexpr const char* kSettingsChangedSemaphore = "Global\\TAVIK_BACKLIGHT_NEW_SETTINGS_TO_READ";

constexpr const char* kKeyStatus = "ABL_status";                 // "1" on, "0" off
constexpr const char* kKeySoftTransitions = "ABL_bSoftTransitions"; // "1" one level per step
constexpr const char* kKeyK = "ABL_k";                           // model factor, %g text
constexpr const char* kKeyAverageWndSize = "ABL_averageWndSize";
constexpr const char* kKeyRejectWndSize = "ABL_rejectWndSize";
constexpr const char* kKeyRejectDeltaInLux = "ABL_rejectDeltaInLux";
constexpr const char* kKeyMode = "ABL_mode";
constexpr const char* kKeyLedDimming = "UseLEDDimming";           // front LED follows the backlight

// The controller's settings; the member initialisers are the defaults that stand in for missing
// or broken keys.
struct AblSettings {
    bool enabled = false;
    bool softTransitions = true;
    double k = 50.0;
    int32_t averageWndSize = 5;
    int32_t rejectWndSize = 5;
    int32_t rejectDeltaInLux = 50;
    int32_t mode = 2; // automatic range switching
};

} // namespace tavik::lighting
