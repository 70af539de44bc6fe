// tavikctl sim words ...: the supervisor's word store of the simulated unit, read and changed
// directly in the unit's state (not through the library).
#include <cstdio>

#include "cli.h"
#include "readings.h"
#include "sim/word_store.h"

namespace tavikctl {
namespace sim_words_cmd {

namespace sim = tavik::sim;

struct Range {
    std::string from = "0";
    std::string count = "750";
};

void show(Context& ctx, const Range& r) {
    const auto from = static_cast<uint16_t>(parseInteger("FROM", r.from, 0, sim::kWordStoreWords - 1));
    const auto count = static_cast<uint16_t>(parseInteger("COUNT", r.count, 1, sim::kWordStoreWords));
    std::vector<uint16_t> words;
    sim::Unit::instance().transact([&](sim::Txn& txn) { words = sim::readStoreWords(txn); });
    json doc = json::array();
    std::string text;
    char cell[16];
    for (uint32_t i = from; i < from + count && i < words.size(); ++i) {
        doc.push_back({{"index", i}, {"value", words[i]}});
        if ((i - from) % 8 == 0) {
            std::snprintf(cell, sizeof cell, "%s%3u:", i == from ? "" : "\n", i);
            text += cell;
        }
        std::snprintf(cell, sizeof cell, " %04x", words[i]);
        text += cell;
    }
    emit(ctx, doc, text);
}

struct Set {
    std::string index, value;
};

void set(Context& ctx, const Set& s) {
    const auto index = static_cast<uint16_t>(parseInteger("INDEX", s.index, 0, sim::kWordStoreWords - 1));
    const auto value = static_cast<uint16_t>(parseInteger("VALUE", s.value, 0, 0xFFFF));
    sim::Unit::instance().transact([&](sim::Txn& txn) { sim::writeStoreWord(txn, index, value); });
    emit(ctx, json{{"index", index}, {"value", value}}, "word " + std::to_string(index) + " = " + std::to_string(value));
}

} // namespace sim_words_cmd

void addSimWordCommands(CLI::App& simApp, Context& ctx) {
    using namespace sim_words_cmd;
    auto* words = simApp.add_subcommand("words", "The supervisor's 750-word store (hex)");
    static Range range;
    words->add_option("from", range.from, "First word (default 0)");
    words->add_option("count", range.count, "Number of words (default 750)");
    words->callback([&ctx, words] {
        if (words->get_subcommands().empty()) show(ctx, range);
    });
    static Set s;
    auto* setCmd = words->add_subcommand("set", "Change one word directly");
    setCmd->add_option("index", s.index, "Word index 0..749")->required();
    setCmd->add_option("value", s.value, "Value 0..65535 (decimal or 0x hex)")->required();
    setCmd->callback([&ctx] { set(ctx, s); });
}

} // namespace tavikctl
