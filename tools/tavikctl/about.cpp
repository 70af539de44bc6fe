// tavikctl about: the unit's identity records and fitted options, through the About family.
#include "cli.h"

#include <iterator>
#include <vector>

#include "tavik2/about.h"

namespace tavikctl {
namespace about_cmd {

using Varnholtstad::About;

struct TextItem {
    const char* key;
    const char* label;
    ErrorCode(TAVIK_CALL* op)(About*, char*, int32_t);
};
struct CountItem {
    const char* key;
    const char* label;
    ErrorCode(TAVIK_CALL* op)(About*, uint8_t*);
};
struct FlagItem {
    const char* key;
    const char* label;
    ErrorCode(TAVIK_CALL* op)(About*, bool*);
};

const TextItem kTexts[] = {
    {"main_pcb_serial", "Main board serial", &About_getMainPCBSerial},
    {"unit_serial", "Unit serial", &About_getUnitSerial},
    {"main_pcb_art", "Main board article", &About_getMainPCBArt},
    {"main_date", "Main board made", &About_getMainManufacturingDate},
    {"main_hw_version", "Main board revision", &About_getMainHWversion},
    {"prod_rev", "Product revision", &About_getMainProdRev},
    {"prod_art", "Product article", &About_getMainProdArtNr},
    {"display_resolution", "Display resolution", &About_getDisplayResolution},
    {"addon_pcb_serial", "Add-on board serial", &About_getAddOnPCBSerial},
    {"addon_pcb_art", "Add-on board article", &About_getAddOnPCBArt},
    {"addon_date", "Add-on board made", &About_getAddOnManufacturingDate},
    {"addon_hw_version", "Add-on board revision", &About_getAddOnHWversion},
};

const CountItem kCounts[] = {
    {"eth", "Ethernet ports", &About_getNrOfETHConnections},
    {"can", "CAN ports", &About_getNrOfCANConnections},
    {"video", "Video inputs", &About_getNrOfVideoConnections},
    {"usb_host", "USB host ports", &About_getNrOfUSBConnections},
    {"serial", "Serial ports", &About_getNrOfSerialConnections},
    {"dig_io", "Digital I/O", &About_getNrOfDigIOConnections},
};

const FlagItem kFlags[] = {
    {"display", "Display", &About_getIsDisplayAvailable},
    {"touch_screen", "Touch screen", &About_getIsTouchScreenAvailable},
    {"wlan", "WLAN", &About_getIsWLANMounted},
    {"gps", "GPS", &About_getIsGPSMounted},
    {"gprs", "GSM/GPRS", &About_getIsGPRSMounted},
    {"bluetooth", "Bluetooth", &About_getIsBTMounted},
};

std::string padded(const char* label) {
    std::string line = std::string(label) + ":";
    line.append(24 - std::min<size_t>(line.size(), 23), ' ');
    return line;
}

json failure(ErrorCode e) { return {{"code", e}, {"message", errorText(e)}}; }
std::string failureText(ErrorCode e) { return "error " + std::to_string(e) + ": " + errorText(e); }

void showAbout(Context& ctx) {
    About* h = GetAbout();
    if (h == nullptr) {
        failWith(ctx, "about", ERR_MEMORY_ALLOCATION);
        return;
    }
    json doc = {{"identity", json::object()}, {"connections", json::object()}, {"fitted", json::object()}};
    std::string text;
    std::vector<std::string> failed;
    auto note = [&](ErrorCode e, const char* label) {
        if (e != ERR_SUCCESS) failed.push_back(std::string(label) + " (" + failureText(e) + ")");
    };
    for (const TextItem& t : kTexts) {
        char value[256] = {};
        const ErrorCode e = t.op(h, value, sizeof value);
        doc["identity"][t.key] = e == ERR_SUCCESS ? text8(value) : failure(e);
        text += padded(t.label) + (e == ERR_SUCCESS ? std::string(value) : failureText(e)) + "\n";
        note(e, t.label);
    }
    for (const CountItem& c : kCounts) {
        uint8_t n = 0;
        const ErrorCode e = c.op(h, &n);
        doc["connections"][c.key] = e == ERR_SUCCESS ? json(n) : failure(e);
        text += padded(c.label) + (e == ERR_SUCCESS ? std::to_string(n) : failureText(e)) + "\n";
        note(e, c.label);
    }
    for (const FlagItem& f : kFlags) {
        bool yes = false;
        const ErrorCode e = f.op(h, &yes);
        doc["fitted"][f.key] = e == ERR_SUCCESS ? json(yes) : failure(e);
        text += padded(f.label) + (e == ERR_SUCCESS ? (yes ? "fitted" : "not fitted") : failureText(e)) + "\n";
        note(e, f.label);
    }
    About_release(h);
    emit(ctx, doc, text);
    // Anything asked for that could not be read makes the command fail, and says which.
    if (!failed.empty()) {
        std::string why;
        for (const std::string& f : failed) why += (why.empty() ? "" : "; ") + f;
        std::cerr << "tavikctl: about: " << failed.size() << " of "
                  << std::size(kTexts) + std::size(kCounts) + std::size(kFlags) << " items could not be read: " << why
                  << '\n';
        ctx.fail(kExitRefused);
    }
}

} // namespace about_cmd

void addAboutCommands(CLI::App& app, Context& ctx) {
    using namespace about_cmd;
    app.add_subcommand("about", "Show the unit's serial and article numbers, revisions and fitted options")
        ->callback([&ctx] { showAbout(ctx); });
}

} // namespace tavikctl
