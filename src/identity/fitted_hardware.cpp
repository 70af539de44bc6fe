#include "identity/fitted_hardware.h"

#include <vector>

namespace tavik::identity {
namespace {

// Holds a temporary About object for one question.
class TemporaryAbout {
public:
    TemporaryAbout() : handle_(GetAbout()) {}
    ~TemporaryAbout() { About_release(handle_); }
    TemporaryAbout(const TemporaryAbout&) = delete;
    TemporaryAbout& operator=(const TemporaryAbout&) = delete;
    Varnholtstad::About* get() const { return handle_; }

private:
    Varnholtstad::About* handle_;
};

} // namespace

std::optional<bool> askAbout(AboutFlagQuery query) {
    TemporaryAbout about;
    bool answer = false;
    if (about.get() == nullptr || query(about.get(), &answer) != ERR_SUCCESS) return std::nullopt;
    return answer;
}

std::optional<uint8_t> askAbout(AboutCountQuery query) {
    TemporaryAbout about;
    uint8_t answer = 0;
    if (about.get() == nullptr || query(about.get(), &answer) != ERR_SUCCESS) return std::nullopt;
    return answer;
}

std::optional<std::string> askAbout(AboutTextQuery query, int32_t bufferSize) {
    if (bufferSize <= 0) return std::nullopt;
    TemporaryAbout about;
    std::vector<char> buffer(static_cast<size_t>(bufferSize), '\0');
    if (about.get() == nullptr || query(about.get(), buffer.data(), bufferSize) != ERR_SUCCESS)
        return std::nullopt;
    return std::string(buffer.data());
}

bool displayFitted() { return askAbout(&About_getIsDisplayAvailable).value_or(true); }

bool touchScreenFitted() {
    return displayFitted() && askAbout(&About_getIsTouchScreenAvailable).value_or(true);
}

bool canFitted() { return askAbout(&About_getNrOfCANConnections).value_or(1) != 0; }
bool videoFitted() { return askAbout(&About_getNrOfVideoConnections).value_or(1) != 0; }
bool digitalIoFitted() { return askAbout(&About_getNrOfDigIOConnections).value_or(1) != 0; }

bool telematicsModuleFitted(TelematicsModule module) {
    AboutFlagQuery query = &About_getIsGPRSMounted;
    switch (module) {
    case TelematicsModule::Gprs: query = &About_getIsGPRSMounted; break;
    case TelematicsModule::Wlan: query = &About_getIsWLANMounted; break;
    case TelematicsModule::Gps: query = &About_getIsGPSMounted; break;
    case TelematicsModule::Bluetooth: query = &About_getIsBTMounted; break;
    }
    return askAbout(query).value_or(false);
}

} // namespace tavik::identity
