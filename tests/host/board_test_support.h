// Test helpers around the simulated board: EEPROM contents, board settings and the board's part
// of the request log.
#pragma once

#include <string>
#include <vector>

#include "sim/board_model.h"
#include "support/sim_fixture.h"

namespace tavik::test {

class BoardTest : public SimTest {
protected:
    // Replaces an EEPROM's contents ("main" or "addon"); the rest of the device reads 0xFF.
    void setEeprom(const std::string& which, const std::string& bytes) {
        unit().transact([&](sim::Txn& t) {
            sim::setEepromContents(t, which, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        });
    }
    std::vector<uint8_t> eeprom(const std::string& which) {
        std::vector<uint8_t> out;
        unit().transact([&](sim::Txn& t) { out = sim::eepromContents(t, which); });
        return out;
    }
    // One setting of the board's state ("library", "boards", ...).
    void setBoard(const std::string& key, const sim::json& value) {
        unit().transact([&](sim::Txn& t) {
            t.edit("board")[key] = value;
        });
    }
    void setEepromPresent(const std::string& which, bool present) {
        unit().transact([&](sim::Txn& t) {
            t.edit("board")["eeprom"][which]["present"] = present;
        });
    }
    void boardFault(sim::json fault) {
        fault["target"] = "board";
        unit().addFault(fault);
    }

    // The board calls in order; with an ordinal, only those.
    std::vector<sim::LogEntry> calls(uint32_t ordinal = 0) {
        std::vector<sim::LogEntry> out;
        for (sim::LogEntry& e : requests("board"))
            if (ordinal == 0 || e.code == ordinal) out.push_back(std::move(e));
        return out;
    }
    std::vector<uint32_t> ordinals() {
        std::vector<uint32_t> out;
        for (const sim::LogEntry& e : requests("board")) out.push_back(e.code);
        return out;
    }
};

// The device a transfer went to, as the log notes it ("bus 0, device 0xae...").
inline bool wentTo(const sim::LogEntry& e, const std::string& device) {
    return e.note.rfind("bus 0, device " + device, 0) == 0;
}

// The memory address of an EEPROM transfer: its first two bytes, most significant first.
inline int memoryAddress(const sim::LogEntry& e) {
    return e.in.size() < 2 ? -1 : (e.in[0] << 8) | e.in[1];
}

// 32-bit little-endian words, as the log gives the arguments of the non-transfer calls.
inline std::vector<uint8_t> words(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

} // namespace tavik::test
