// The version family and the firmware-version gates the other families take at construction.
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "tavik2/aux_version.h"

namespace tavik::identity {

constexpr uint32_t kReqFpgaVersion = frame::requestCode(0x93C);
constexpr uint32_t kReqSsVersion = frame::requestCode(0x93D);
constexpr uint32_t kReqFrontVersion = frame::requestCode(0x93E);
constexpr uint32_t kReqDriverVersion = frame::requestCode(0x966);

// The library's own version.
constexpr const char* kTavikVersionText = "2.4.0.0";
// The operating system image's information file.
constexpr const char* kOemInfoPath = "c:\\Windows\\System32\\oeminfo.ini";

class AuxVersion_Imp final : public Varnholtstad::AuxVersion {
public:
    AuxVersion_Imp();

    ErrorCode getFPGAVersion(uint8_t* major, uint8_t* minor, uint8_t* release, uint8_t* build) override;
    ErrorCode getSSVersion(uint8_t* major, uint8_t* minor, uint8_t* release, uint8_t* build) override;
    ErrorCode getFrontVersion(uint8_t* major, uint8_t* minor, uint8_t* release, uint8_t* build) override;
    ErrorCode getTavikVersion(uint8_t* major, uint8_t* minor, uint8_t* release, uint8_t* build) override;
    ErrorCode getOSVersion(uint8_t* major, uint8_t* minor, uint8_t* release, uint8_t* build) override;
    ErrorCode getTavikDrvVersion(uint8_t* major, uint8_t* minor, uint8_t* release, uint8_t* build) override;
    void release() override;

private:
    ErrorCode readVersion(uint32_t code, uint8_t* major, uint8_t* minor, uint8_t* release, uint8_t* build);

    frame::DriverChannel channel_;
};

// A firmware version packed as major * 1000000 + minor * 10000 + release * 100 + build; 0 unknown.
using FirmwareVersionNumber = uint32_t;

constexpr FirmwareVersionNumber packFirmwareVersion(uint8_t major, uint8_t minor, uint8_t release,
                                                    uint8_t build) {
    return major * 1000000u + minor * 10000u + release * 100u + build;
}

// Gates: read one firmware version through a short-lived version object. False (and 0 stored)
// when the version cannot be read.
bool getFpgaVersionNumber(FirmwareVersionNumber* number);
bool getSsVersionNumber(FirmwareVersionNumber* number);
bool getFrontVersionNumber(FirmwareVersionNumber* number);

// Parses "%d.%d.%d.%d" at the start of `text` into four parts of at most 255 each.
bool parseVersionText(const char* text, uint8_t parts[4]);

// Finds the first "v" followed by a digit in `data` and parses the version after it.
// ERR_COMMAND_FAILED when there is none or it is malformed.
ErrorCode findOsVersion(const char* data, uint32_t size, uint8_t parts[4]);

} // namespace tavik::identity
