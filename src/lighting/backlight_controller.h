// The automatic backlight controller: a thread that turns the averaged ambient light into a
// backlight level through the model level = k ln(lux) - 10, moves the level towards it (at once or
// one level per 50 ms), and learns k from levels set from outside, storing it as "ABL_k".
// It is configured through the settings file and woken by the machine-wide settings semaphore.
//
// Owned by the private service object: constructed and destroyed with it, started (once) by
// automaticBacklightInit. Not for concurrent use: the owner calls start() and the destructor
// from its own threads, one at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "frame/driver_channel.h"
#include "lighting/abl_settings.h"
#include "platform/handles.h"
#include "tavik2/error_code.h"

namespace tavik::lighting {

class Lightsensor_Imp;

// The model. Light below 2 lux counts as 2 (ln must stay positive).
constexpr double kMinModelLux = 2.0;
// y = k ln(x) - 10, limited to 0..ceiling - 1.
double modelLevel(double k, double lux, uint8_t ceiling = 255);
// The k that makes the model give `level` at `lux`: (level + 10) / ln(x).
double learnedK(uint8_t level, double lux);
// The level written for a model value: truncated, but a value within 0.005 below an integer
// counts as that integer, so that a learnt level (y computed back from k, k stored with six
// significant digits) is kept exactly instead of drifting down by one.
uint8_t levelFromModel(double y);

class BacklightController {
public:
    // Opens the driver channel, the run token and the settings semaphore; starts nothing.
    BacklightController();
    // Stops the thread (waking it through the settings semaphore), then the averaging, and
    // closes everything. Blocks until the thread has ended (at most about one second).
    ~BacklightController();
    BacklightController(const BacklightController&) = delete;
    BacklightController& operator=(const BacklightController&) = delete;

    // Starts the controller thread, after an 800 ms pause. ERR_INIT_FAILED when it was started
    // before (or the run token is missing), ERR_CREATE_THREAD when no thread could be created.
    ErrorCode start();

    // Whether the thread is to keep running (set by start, cleared by the destructor).
    bool running() const { return running_.load(); }

    // Learnt factors that could not be stored as "ABL_k" (the settings file was not writable),
    // and the last of them: the controller goes on with it, but the next start reads the old
    // one. Safe from any thread; the host shows them (tavikctl abl run).
    uint32_t unstoredKCount() const { return unstoredCount_.load(); }
    double lastUnstoredK() const { return unstoredK_.load(); }

private:
    static uint32_t threadMain(void* self);
    // Reads the seven settings; repairs missing or broken keys in the file with defaults.
    // False when a key was broken (the automatic backlight then stays off until the next change).
    bool readSettings();
    // Runs the automatic backlight until it is switched off, the controller stops or a device fails.
    void executeABL();
    // Stores k as "ABL_k"; a failed write is traced and counted (unstoredKCount).
    void updateK(double k);
    // Idle until the settings change or the controller stops.
    void waitForSettings();

    Lightsensor_Imp* lightsensor_ = nullptr;
    frame::DriverChannel channel_;
    AblSettings settings_;
    uint8_t levelCeiling_ = 255;
    platform::SemaphoreHandle runToken_;
    platform::SemaphoreHandle settingsChanged_;
    platform::ThreadHandle thread_;
    bool started_ = false;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> unstoredCount_{0};
    std::atomic<double> unstoredK_{0.0};
};

} // namespace tavik::lighting
