// tavikctl private ...: the service interface (TavikPrivate): identity records, words of the
// supervisor's word store and settings file keys, each read or written through the library.
#include <cstdio>

#include "readings.h"
#include "tavik2/tavik_private.h"

namespace tavikctl {
namespace private_cmd {

using Varnholtstad::TavikPrivate;

// Longest identity record value or settings value shown.
constexpr int32_t kTextBuffer = 4096;
constexpr int64_t kLastWord = 749;
constexpr int64_t kLastShortWord = 95;

// Runs `op` on a fresh object; a failed factory is reported as an allocation failure.
template <class Op>
void withPrivate(Context& ctx, const std::string& what, Op op) {
    TavikPrivate* h = GetTavikPrivate();
    if (h == nullptr) return failWith(ctx, what, ERR_MEMORY_ALLOCATION);
    op(h);
    TavikPrivate_release(h);
}

struct EepromArgs {
    bool addOn = false;
    std::string key, value;
};

void eepromGet(Context& ctx, const EepromArgs& a) {
    withPrivate(ctx, "private eeprom get", [&](TavikPrivate* h) {
        std::string buffer(kTextBuffer, '\0');
        const ErrorCode e = TavikPrivate_getEepromProperty(h, a.addOn, a.key.c_str(), buffer.data(), kTextBuffer);
        if (e != ERR_SUCCESS) return failWith(ctx, a.key, e);
        const std::string value = buffer.c_str();
        emit(ctx, json{{"eeprom", a.addOn ? "addon" : "main"}, {"key", a.key}, {"value", value}}, value);
    });
}

void eepromSet(Context& ctx, const EepromArgs& a) {
    withPrivate(ctx, "private eeprom set", [&](TavikPrivate* h) {
        const ErrorCode e = TavikPrivate_setEepromProperty(h, a.addOn, a.key.c_str(), a.value.c_str());
        reportSet(ctx, a.key, e, a.value, a.value + (a.addOn ? " (add-on EEPROM)" : " (main EEPROM)"));
    });
}

struct WordArgs {
    std::string index, value;
};

// Words 0..749 need supervisor firmware 1.3.0.0; older firmware still serves words 0..95.
void wordGet(Context& ctx, const WordArgs& a) {
    const auto index = static_cast<uint16_t>(parseInteger("INDEX", a.index, 0, kLastWord));
    withPrivate(ctx, "private word get", [&](TavikPrivate* h) {
        uint16_t value = 0;
        ErrorCode e = TavikPrivate_getFromSmart2(h, index, &value);
        if (e == ERR_NEWER_SS_VERSION_REQUIRED && index <= kLastShortWord)
            e = TavikPrivate_getFromSmart(h, static_cast<int8_t>(index), &value);
        if (e != ERR_SUCCESS) return failWith(ctx, "word " + std::to_string(index), e);
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04X", value);
        emit(ctx, json{{"index", index}, {"value", value}}, std::to_string(value) + " (" + hex + ")");
    });
}

void wordSet(Context& ctx, const WordArgs& a) {
    const auto index = static_cast<uint16_t>(parseInteger("INDEX", a.index, 0, kLastWord));
    const auto value = static_cast<uint16_t>(parseInteger("VALUE", a.value, 0, 0xFFFF));
    withPrivate(ctx, "private word set", [&](TavikPrivate* h) {
        ErrorCode e = TavikPrivate_setToSmart2(h, index, value);
        if (e == ERR_NEWER_SS_VERSION_REQUIRED && index <= kLastShortWord)
            e = TavikPrivate_setToSmart(h, static_cast<int8_t>(index), value);
        reportSet(ctx, "word " + std::to_string(index), e, value, std::to_string(value));
    });
}

struct SettingArgs {
    std::string key, value;
};

void settingGet(Context& ctx, const SettingArgs& a) {
    withPrivate(ctx, "private setting get", [&](TavikPrivate* h) {
        std::string buffer(kTextBuffer, '\0');
        const ErrorCode e = TavikPrivate_getFileSetting(h, a.key.c_str(), buffer.data(), kTextBuffer);
        if (e != ERR_SUCCESS) return failWith(ctx, a.key, e);
        const std::string value = buffer.c_str();
        emit(ctx, json{{"key", a.key}, {"value", value}}, value);
    });
}

void settingSet(Context& ctx, const SettingArgs& a) {
    withPrivate(ctx, "private setting set", [&](TavikPrivate* h) {
        const ErrorCode e = TavikPrivate_setFileSetting(h, a.key.c_str(), a.value.c_str());
        reportSet(ctx, a.key, e, a.value, a.value);
    });
}

} // namespace private_cmd

void addPrivateCommands(CLI::App& app, Context& ctx) {
    using namespace private_cmd;
    auto* priv = app.add_subcommand("private", "Service interface: identity records, supervisor words, settings");
    priv->require_subcommand(1);

    auto* eeprom = priv->add_subcommand("eeprom", "Identity records of the main (or add-on) board's EEPROM");
    eeprom->require_subcommand(1);
    static EepromArgs eg, es;
    auto* eget = eeprom->add_subcommand("get", "Value of one record");
    eget->add_flag("--addon", eg.addOn, "The add-on board's EEPROM");
    eget->add_option("key", eg.key, "Record key (e.g. PCB_SERIAL)")->required();
    eget->callback([&ctx] { eepromGet(ctx, eg); });
    auto* eset = eeprom->add_subcommand(
        "set", "Replace the value of an existing record (rewrites the EEPROM pages that change)");
    eset->footer("The EEPROM is read again and only this record changed, so other processes' updates are kept.\n"
                 "Only the 32-byte pages that differ are written, but a power loss or an interruption (a killed\n"
                 "process) while they are written can leave the records damaged, some pages old and some new,\n"
                 "as with any EEPROM write. Do not interrupt it; write records only with a steady supply.");
    eset->add_flag("--addon", es.addOn, "The add-on board's EEPROM");
    eset->add_option("key", es.key, "Record key")->required();
    eset->add_option("value", es.value, "New value (no blanks)")->required();
    eset->callback([&ctx] { eepromSet(ctx, es); });

    auto* word = priv->add_subcommand("word", "Words of the system supervisor's word store (0..749)");
    word->require_subcommand(1);
    static WordArgs wg, ws;
    auto* wget = word->add_subcommand("get", "Read one word");
    wget->add_option("index", wg.index, "Word index 0..749")->required();
    wget->callback([&ctx] { wordGet(ctx, wg); });
    auto* wset = word->add_subcommand("set", "Write one word");
    wset->add_option("index", ws.index, "Word index 0..749")->required();
    wset->add_option("value", ws.value, "Value 0..65535 (decimal or 0x hex)")->required();
    wset->callback([&ctx] { wordSet(ctx, ws); });

    auto* setting = priv->add_subcommand("setting", "Keys of the shared settings file, through the service interface");
    setting->require_subcommand(1);
    static SettingArgs sg, ss;
    auto* sget = setting->add_subcommand("get", "Value of one key (missing or empty: error)");
    sget->add_option("key", sg.key, "Key")->required();
    sget->callback([&ctx] { settingGet(ctx, sg); });
    auto* sset = setting->add_subcommand("set", "Set one key");
    sset->add_option("key", ss.key, "Key")->required();
    sset->add_option("value", ss.value, "Value")->required();
    sset->callback([&ctx] { settingSet(ctx, ss); });
}

} // namespace tavikctl
