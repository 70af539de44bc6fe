// tavikctl sim eeprom ...: the simulated identity EEPROMs, read and changed directly in the
// unit's state (not through the library).
#include <fstream>
#include <iterator>

#include "cli.h"
#include "identity/eeprom_image.h"
#include "sim/board/eeprom_device.h"
#include "sim/board_model.h"
#include "sim/unit.h"

namespace tavikctl {
namespace sim_eeprom_cmd {

namespace sim = tavik::sim;
namespace board = tavik::sim::board;
namespace identity = tavik::identity;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// 16 bytes a line; the erased cells after the last written line are summed up.
std::string hexDump(const std::vector<uint8_t>& image) {
    size_t used = image.size();
    while (used > 0 && image[used - 1] == 0xFF) --used;
    std::string text;
    char line[96];
    for (size_t at = 0; at < used; at += 16) {
        int n = std::snprintf(line, sizeof line, "%04zx ", at);
        std::string chars;
        for (size_t i = at; i < at + 16 && i < image.size(); ++i) {
            n += std::snprintf(line + n, sizeof line - n, " %02x", image[i]);
            chars.push_back(image[i] >= 0x20 && image[i] < 0x7F ? static_cast<char>(image[i]) : '.');
        }
        text += std::string(line) + "  " + chars + "\n";
    }
    const size_t next = (used + 15) / 16 * 16;
    if (next < image.size()) {
        std::snprintf(line, sizeof line, "%04zx-%04zx erased (0xff)\n", next, image.size() - 1);
        text += line;
    }
    return text;
}

struct Show {
    std::string which;
    bool hex = false;
};

void show(Context& ctx, const Show& o) {
    json doc = json::object();
    std::string text;
    for (const char* which : {"main", "addon"}) {
        if (!o.which.empty() && o.which != which) continue;
        std::vector<uint8_t> image;
        bool present = true;
        sim::Unit::instance().transact([&](sim::Txn& txn) {
            image = sim::eepromContents(txn, which);
            present = txn.get("board").value("eeprom", json::object()).value(which, json::object()).value("present", true);
        });
        const std::string content = board::imageText(image);
        const std::vector<std::string> records = splitLines(content);
        json recordsJson = json::array();
        for (const std::string& r : records) recordsJson.push_back(text8(r));
        doc[which] = {{"present", present},
                      {"text_length", content.size()},
                      {"records", recordsJson},
                      {"hex", sim::toHex(image.data(), image.size())}};
        text += std::string(which) + " EEPROM" + (present ? "" : " (not fitted: does not answer)") + ", " +
                std::to_string(content.size()) + " characters of text\n";
        if (o.hex) {
            text += hexDump(image);
        } else {
            for (const std::string& r : records) text += "  " + r + "\n";
            if (records.empty()) text += "  (no text)\n";
        }
    }
    emit(ctx, doc, text);
}

struct Set {
    std::string which, key, value;
};

// The library's own rules of a property update apply (a new key is appended as a record);
// `sim eeprom load` stores anything, broken contents included.
void set(Context& ctx, const Set& o) {
    if (const char* problem = identity::propertyKeyProblem(o.key))
        throw CLI::ValidationError("key", std::string(problem) + " (use sim eeprom load for deliberately broken contents)");
    if (const char* problem = identity::propertyValueProblem(o.value))
        throw CLI::ValidationError("value", std::string(problem) + " (use sim eeprom load for deliberately broken contents)");
    bool fits = true;
    sim::Unit::instance().transact([&](sim::Txn& txn) {
        std::vector<uint8_t> image = sim::eepromContents(txn, o.which);
        fits = board::setImageRecord(image, o.key, o.value) &&
               board::imageText(image).size() <= static_cast<size_t>(identity::kMaxTextLength);
        if (!fits) return;
        sim::setEepromContents(txn, o.which, image);
    });
    if (!fits) {
        failWith(ctx, "sim eeprom set: the text would grow beyond the 4076 characters the library accepts", ERR_EEPROM);
        return;
    }
    emit(ctx, json{{"eeprom", o.which}, {"key", text8(o.key)}, {"value", text8(o.value)}},
         o.which + " EEPROM: " + o.key + ":" + o.value);
}

struct Load {
    std::string which, file;
};

void load(Context& ctx, const Load& o) {
    std::ifstream in(o.file, std::ios::binary);
    if (!in) throw CLI::ValidationError("file", "cannot read " + o.file);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() > board::EepromDevice::kSize)
        throw CLI::ValidationError("file", o.file + " is larger than the 4096-byte device");
    sim::Unit::instance().transact([&](sim::Txn& txn) {
        sim::setEepromContents(txn, o.which, bytes);
    });
    emit(ctx, json{{"eeprom", o.which}, {"bytes", bytes.size()}},
         o.which + " EEPROM: loaded " + std::to_string(bytes.size()) + " bytes, the rest erased");
}

} // namespace sim_eeprom_cmd

void addSimEepromCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_eeprom_cmd;
    auto* eeprom = simApp.add_subcommand("eeprom", "The simulated identity EEPROMs (main and add-on board)");
    eeprom->require_subcommand(1);
    const auto which = CLI::IsMember({"main", "addon"});

    static Show showOptions;
    auto* showCmd = eeprom->add_subcommand("show", "Show the records (or --hex the bytes) of one or both EEPROMs");
    showCmd->add_option("eeprom", showOptions.which, "main | addon (default: both)")->check(which);
    showCmd->add_flag("--hex", showOptions.hex, "Hex dump instead of records");
    showCmd->callback([&ctx] { show(ctx, showOptions); });

    static Set setOptions;
    auto* setCmd = eeprom->add_subcommand("set", "Set a record's value (appended when the key is new), with the "
                                                 "library's rules: no blank, CR, LF or 0xFF, at most 254 characters");
    setCmd->add_option("eeprom", setOptions.which, "main | addon")->required()->check(which);
    setCmd->add_option("key", setOptions.key, "Record key, e.g. PCB_SERIAL")->required();
    setCmd->add_option("value", setOptions.value, "New value")->required();
    setCmd->callback([&ctx] { set(ctx, setOptions); });

    static Load loadOptions;
    auto* loadCmd = eeprom->add_subcommand("load", "Replace an EEPROM's contents by a file's bytes");
    loadCmd->add_option("eeprom", loadOptions.which, "main | addon")->required()->check(which);
    loadCmd->add_option("file", loadOptions.file, "File of at most 4096 bytes (text records or raw)")->required();
    loadCmd->callback([&ctx] { load(ctx, loadOptions); });
}

} // namespace tavikctl
