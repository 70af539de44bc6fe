// The private service family (TavikPrivate): identity records of both EEPROMs, single words of
// the supervisor's word store, keys of the settings file, and the automatic backlight controller
// of the process that hosts it (the unit's platform service).
#pragma once

#include <cstdint>
#include <memory>

#include "frame/driver_channel.h"
#include "identity/aux_version.h"
#include "identity/eeprom_image.h"
#include "tavik2/tavik_private.h"

namespace tavik::lighting {
class BacklightController;
}

namespace tavik::identity {

// The first 96 words are open to every supervisor firmware.
constexpr int32_t kShortStoreLastWord = 95;

// A fresh object per factory call; owns its own automatic backlight controller.
class TavikPrivate_Imp final : public Varnholtstad::TavikPrivate {
public:
    TavikPrivate_Imp();
    ~TavikPrivate_Imp();
    TavikPrivate_Imp(const TavikPrivate_Imp&) = delete;
    TavikPrivate_Imp& operator=(const TavikPrivate_Imp&) = delete;

    ErrorCode getEepromProperty(bool addOn, const char* key, char* buffer, int32_t length) override;
    ErrorCode setEepromProperty(bool addOn, const char* key, const char* value) override;
    ErrorCode getFromSmart(int8_t index, uint16_t* value) override;
    ErrorCode setToSmart(int8_t index, uint16_t value) override;
    ErrorCode automaticBacklightInit() override;
    ErrorCode setFileSetting(const char* key, const char* value) override;
    ErrorCode getFileSetting(const char* key, char* buffer, int32_t length) override;
    ErrorCode resumeVideo() override;
    ErrorCode getBacklightButtonStatus(int32_t button, int32_t* status) override;
    ErrorCode updateBLPotentionmeterConstant() override;
    ErrorCode getFromSmart2(uint16_t index, uint16_t* value) override;
    ErrorCode setToSmart2(uint16_t index, uint16_t value) override;
    ErrorCode resetDiagnosticData() override;
    ErrorCode resetMPDiagnosticData() override;
    ErrorCode getExtPwrStatus(int32_t input, int32_t* status) override;
    void release() override;

private:
    // Words 0..95, any firmware: a negative index (it would reach the driver sign-widened, far
    // outside the store) and one above 95 give ERR_INVALID_DATA, then the open check.
    ErrorCode admitShortIndex(int8_t index) const;
    EepromImage* image(bool addOn) const { return addOn ? addOn_ : main_; }

    std::unique_ptr<lighting::BacklightController> controller_;
    frame::DriverChannel channel_;
    FirmwareVersionNumber ssVersion_ = 0;
    EepromImage* main_ = nullptr;
    EepromImage* addOn_ = nullptr;
};

} // namespace tavik::identity
