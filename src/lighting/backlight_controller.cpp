#include "lighting/backlight_controller.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "frame/cross_process_lock.h"
#include "frame/handle.h"
#include "frame/settings_file.h"
#include "lighting/backlight.h"
#include "lighting/lightsensor.h"
#include "lighting/trace.h"
#include "platform/sync.h"

namespace tavik::lighting {
namespace {

constexpr uint32_t kStartDelayMs = 800;
constexpr uint32_t kMeasurePeriodMs = 800; // a new target whenever the pauses add up to this
constexpr uint32_t kStepPauseMs = 50;      // between two soft-transition steps
constexpr uint32_t kAveragingBusyRetryMs = 1000;
// The idle wait looks at `running` this often: the settings semaphore is machine-wide, and the
// wake-up the destructor sends may be taken by a controller in another process.
constexpr uint32_t kIdleCheckMs = 800;

// A model value this close below an integer is that integer.
constexpr double kLevelSnap = 0.005;

} // namespace

double modelLevel(double k, double lux, uint8_t ceiling) {
    double y = k * std::log(lux < kMinModelLux ? kMinModelLux : lux) - 10.0;
    const double top = static_cast<double>(ceiling) - 1.0;
    if (y > top) y = top;
    if (y < 0.0 || std::isnan(y)) y = 0.0;
    return y;
}

double learnedK(uint8_t level, double lux) {
    return (level + 10.0) / std::log(lux < kMinModelLux ? kMinModelLux : lux);
}

uint8_t levelFromModel(double y) {
    if (!(y > 0.0)) return 0;
    if (y >= 255.0) return 255;
    const double up = std::ceil(y);
    if (up - y < kLevelSnap) return static_cast<uint8_t>(up);
    return static_cast<uint8_t>(y);
}

BacklightController::BacklightController() {
    channel_.open();
    runToken_ = platform::createSemaphore("", 1, 1);
    settingsChanged_ = frame::createCrossProcessLock(kSettingsChangedSemaphore);
    trace(settingsChanged_ ? "Sema create ok\n" : "Sema create error\n");
}

BacklightController::~BacklightController() {
    trace("Destructor\n");
    running_.store(false);
    if (settingsChanged_) platform::releaseSemaphore(settingsChanged_, 1);
    if (started_) {
        platform::joinThread(thread_, platform::kWaitForever);
        platform::closeThread(thread_);
    }
    platform::closeSemaphore(runToken_);
    platform::closeSemaphore(settingsChanged_);
    if (lightsensor_ != nullptr) lightsensor_->release();
    channel_.close();
}

ErrorCode BacklightController::start() {
    if (!runToken_ || platform::waitSemaphore(runToken_, 0) != platform::WaitResult::Signaled)
        return ERR_INIT_FAILED;
    platform::sleepMs(kStartDelayMs);
    if (lightsensor_ == nullptr) lightsensor_ = frame::createFresh<Lightsensor_Imp>();
    if (lightsensor_ == nullptr) {
        platform::releaseSemaphore(runToken_, 1);
        return ERR_MEMORY_ALLOCATION;
    }
    settings_ = AblSettings{};
    levelCeiling_ = 255;
    trace("startThread\n");
    // Set before the thread exists: a destructor right after start must find it set to clear it.
    running_.store(true);
    thread_ = platform::startThread(&BacklightController::threadMain, this);
    if (!thread_) {
        running_.store(false);
        platform::releaseSemaphore(runToken_, 1);
        return ERR_CREATE_THREAD;
    }
    started_ = true;
    return ERR_SUCCESS;
}

uint32_t BacklightController::threadMain(void* argument) {
    auto* self = static_cast<BacklightController*>(argument);
    trace("Main started\n");
    while (self->running_.load()) {
        const bool ok = self->readSettings();
        if (ok && self->settings_.enabled) self->executeABL();
        if (!self->running_.load()) break;
        self->waitForSettings();
    }
    trace("Thread ended\n");
    return 0;
}

void BacklightController::waitForSettings() {
    while (running_.load()) {
        if (!settingsChanged_) {
            platform::sleepMs(kIdleCheckMs); // nothing can wake us: look at `running` now and then
            continue;
        }
        if (platform::waitSemaphore(settingsChanged_, kIdleCheckMs) != platform::WaitResult::Timeout) return;
    }
}

bool BacklightController::readSettings() {
    trace("Read settings\n");
    const bool enabled = settings_.enabled;
    settings_ = AblSettings{};
    settings_.enabled = enabled;
    bool ok = true;

    frame::SettingsFile store;
    store.load();
    // A broken or missing key keeps its default and is repaired below.
    const auto parseInt = [&](const char* key, int32_t& field, const char* error) {
        int32_t value = 0;
        const ErrorCode e = store.getInt(key, value);
        if (e == ERR_SUCCESS) {
            field = value;
        } else {
            ok = false;
            trace(error, static_cast<int>(e));
        }
        return e == ERR_SUCCESS;
    };
    parseInt(kKeyMode, settings_.mode, "Error s_mode %d\n");
    parseInt(kKeyAverageWndSize, settings_.averageWndSize, "Error s_averageWndSize %d\n");
    parseInt(kKeyRejectWndSize, settings_.rejectWndSize, "Error s_rejectWndSize %d\n");
    parseInt(kKeyRejectDeltaInLux, settings_.rejectDeltaInLux, "Error s_rejectDeltaInLux %d\n");
    double k = 0;
    if (const ErrorCode e = store.getDouble(kKeyK, k); e == ERR_SUCCESS && std::isfinite(k)) {
        settings_.k = k;
    } else {
        ok = false;
        trace("Error s_k %d\n", static_cast<int>(e == ERR_SUCCESS ? ERR_DATATYPE_MISMATCH : e));
    }
    int32_t flag = 0;
    settings_.enabled = parseInt(kKeyStatus, flag, "Error s_enabled %d\n") && flag != 0;
    if (parseInt(kKeySoftTransitions, flag, "Error s_bSoftTransitions %d\n")) settings_.softTransitions = flag != 0;

    if (!ok) {
        // Every key is written: the broken ones with their defaults, the others as parsed.
        ok = true;
        std::string k, average, reject, delta, mode;
        const auto format = [&](ErrorCode e) {
            if (e != ERR_SUCCESS) ok = false;
            return e == ERR_SUCCESS;
        };
        std::vector<std::pair<std::string, std::string>> repair;
        if (format(frame::formatDouble(settings_.k, k))) repair.emplace_back(kKeyK, k);
        if (format(frame::formatInt(settings_.averageWndSize, average))) repair.emplace_back(kKeyAverageWndSize, average);
        if (format(frame::formatInt(settings_.rejectWndSize, reject))) repair.emplace_back(kKeyRejectWndSize, reject);
        if (format(frame::formatInt(settings_.rejectDeltaInLux, delta))) repair.emplace_back(kKeyRejectDeltaInLux, delta);
        if (format(frame::formatInt(settings_.mode, mode))) repair.emplace_back(kKeyMode, mode);
        repair.emplace_back(kKeySoftTransitions, settings_.softTransitions ? "1" : "0");
        repair.emplace_back(kKeyStatus, settings_.enabled ? "1" : "0");
        // The controller works on with the repaired values; the file keeps the broken ones.
        if (!store.set(repair)) trace("Error repair not stored: %s\n", store.writeError().c_str());
    }
    trace("Mode %d\n", static_cast<int>(settings_.mode));
    trace("Execute %d\n", settings_.enabled ? 1 : 0);
    if (!ok) settings_.enabled = false;
    return ok;
}

void BacklightController::updateK(double k) {
    std::string text;
    if (frame::formatDouble(k, text) != ERR_SUCCESS) {
        trace("Error BacklightController::updateK failed %f\n", k);
        return;
    }
    frame::SettingsFile store;
    store.load();
    if (store.set(kKeyK, text)) return;
    // The controller goes on with k in memory; the next start would use the old one.
    unstoredK_.store(k);
    unstoredCount_.fetch_add(1);
    trace("Error ABL_k=%s not stored: %s\n", text.c_str(), store.writeError().c_str());
}

void BacklightController::executeABL() {
    trace("executeABL started\n");
    ErrorCode e = ERR_SUCCESS;
    for (;;) {
        e = lightsensor_->startAverageCalc(settings_.averageWndSize, settings_.rejectWndSize,
                                           settings_.rejectDeltaInLux, settings_.mode);
        if (e != ERR_AVERAGE_CALC_STARTED || !running_.load()) break;
        // Another process averages: wait for it to finish.
        trace("Error ERR_AVERAGE_CALC_STARTED, sleep(1000)\n");
        platform::sleepMs(kAveragingBusyRetryMs);
    }
    if (e != ERR_SUCCESS) {
        trace("Error startAverageCalc\n");
        return;
    }
    platform::sleepMs(kMeasurePeriodMs);

    uint32_t elapsed = kMeasurePeriodMs; // since the last measurement
    uint32_t pause = kStepPauseMs;
    uint8_t current = 0;
    uint8_t target = 0;
    bool firstTime = true;
    while (running_.load()) {
        trace("Time pasted %d\n", static_cast<int>(elapsed));
        if (settingsChanged_ && platform::waitSemaphore(settingsChanged_, 0) == platform::WaitResult::Signaled &&
            !readSettings()) {
            trace("Error readSettings\n");
            break;
        }
        if (!settings_.enabled) {
            trace("Exit the thread\n");
            break;
        }
        if (elapsed >= kMeasurePeriodMs) {
            uint16_t average = 0;
            if (lightsensor_->getAverageIlluminance(&average) != ERR_SUCCESS) {
                trace("Error getAverageIlluminance\n");
                break;
            }
            uint8_t device = 0;
            if (channel_.read(kGetLevel, &device, 1) != ERR_SUCCESS) {
                trace("Error getIntensity\n");
                break;
            }
            const double x = average < kMinModelLux ? kMinModelLux : static_cast<double>(average);
            double y = 0;
            if (!firstTime && device != current) {
                // Set from outside: that level is right for this light.
                trace("Adaption, dev level %d current: %d\n", device, current);
                const double k = learnedK(device, x);
                settings_.k = k;
                current = device;
                y = device;
                trace("New y: %.4f, x: %.4f, k: %.4f,\n", y, x, k);
                updateK(k);
            } else {
                if (firstTime) {
                    current = device;
                    firstTime = false;
                    trace("firstTime: %d, %d\n", current, current);
                }
                y = modelLevel(settings_.k, x, levelCeiling_);
                trace("Calculated y: %.4f, x: %.4f, k: %.4f,\n", y, x, settings_.k);
            }
            trace("Used y: %.4f\n", y);
            target = levelFromModel(y);
            elapsed = 0;
            pause = kMeasurePeriodMs;
        }
        if (target != current) {
            trace("Change level from %d to %d\n", current, target);
            if (!settings_.softTransitions)
                current = target;
            else
                current = target > current ? current + 1 : current - 1;
            if (channel_.write(kSetLevel, &current, 1) != ERR_SUCCESS) {
                trace("Error setIntensity\n");
                break;
            }
            pause = current != target ? kStepPauseMs : kMeasurePeriodMs - elapsed;
        }
        platform::sleepMs(pause);
        elapsed += pause;
    }
    lightsensor_->stopAverageCalc();
    trace("Stop ABL loop\n");
}

} // namespace tavik::lighting
