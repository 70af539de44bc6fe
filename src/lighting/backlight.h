// The Backlight family: one object per process, shared and counted. Level and status go to the
// driver; the automatic backlight is only configured here (settings file plus a wake-up of the
// controller, wherever it runs). Other families take a handle through GetBacklight().
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "frame/driver_channel.h"
#include "platform/handles.h"
#include "tavik2/backlight.h"

namespace tavik::lighting {

// The display level requests, shared with the automatic backlight controller.
inline constexpr uint32_t kGetLevel = frame::requestCode(0x906);
inline constexpr uint32_t kSetLevel = frame::requestCode(0x907);

class Backlight_Imp final : public Varnholtstad::Backlight {
public:
    Backlight_Imp();
    ~Backlight_Imp(); // closes the semaphore handle and the driver channel
    Backlight_Imp(const Backlight_Imp&) = delete;
    Backlight_Imp& operator=(const Backlight_Imp&) = delete;

    ErrorCode getIntensity(uint8_t* level) override;
    ErrorCode setIntensity(uint8_t level) override;
    ErrorCode getStatus(uint8_t* status) override;
    ErrorCode startAutomaticBL() override;
    ErrorCode stopAutomaticBL() override;
    ErrorCode getAutomaticBLStatus(bool* enabled) override;
    ErrorCode setAutomaticBLParams(bool bSoftTransitions) override;
    ErrorCode getAutomaticBLParams(bool* bSoftTransitions, double* k) override;
    ErrorCode setAutomaticBLFilter(int32_t averageWndSize, int32_t rejectWndSize, int32_t rejectDeltaInLux,
                                   int32_t mode) override;
    ErrorCode getAutomaticBLFilter(int32_t* averageWndSize, int32_t* rejectWndSize, int32_t* rejectDeltaInLux,
                                   int32_t* mode) override;
    ErrorCode getLedDimming(int32_t* enabled) override;
    ErrorCode setLedDimming(int32_t enabled) override;
    void release() override; // drops one reference; the last one destroys the object
    ErrorCode getHWStatus(bool* ok) override;

private:
    // Wakes the controller; nothing happens when the semaphore could not be created.
    void announceSettings();
    // Writes the keys in one rewrite of the settings file, then wakes the controller; a file
    // that cannot be written gives ERR_DEVICE_WRITE_DATA_FAILED, keeps its old values and wakes nobody.
    ErrorCode storeSettings(const std::vector<std::pair<std::string, std::string>>& changes);

    frame::DriverChannel channel_;
    platform::SemaphoreHandle settingsChanged_;
    bool supported_ = true;
};

// Whether a backlight status byte means the hardware works.
constexpr bool backlightStatusOk(uint8_t status) { return status == 3 || status == 15; }

} // namespace tavik::lighting
