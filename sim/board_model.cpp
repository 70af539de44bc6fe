#include "sim/board_model.h"

#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "platform/host/time_scale.h"

#include "sim/board/board_core.h"

namespace tavik::sim {
namespace {

namespace bc = board;

const char* const kEeproms[] = {"main", "addon"};

// Sessions of the remote clients, by client id: each connection is a process of its own to the
// library. Only the thread serving a client touches its session.
std::mutex gClientSessionsMutex;
std::map<uint64_t, bc::ProcessSession> gClientSessions;

// What the library remembers in this process, or for the remote client being served (reset when
// the home changes, as a new unit).
bc::ProcessSession& processSession() {
    if (const Client* c = currentClient()) {
        std::lock_guard<std::mutex> guard(gClientSessionsMutex);
        return gClientSessions[c->id];
    }
    static bc::ProcessSession session;
    static std::string home;
    if (home != Unit::instance().home()) {
        home = Unit::instance().home();
        session = {};
    }
    return session;
}

std::vector<uint8_t> words(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

std::string narrow(const TavikWChar* text) {
    std::string s;
    if (text == nullptr) return s;
    for (; *text != 0; ++text) s.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return s;
}

// Unit time in milliseconds: the wall clock, compressed as the process's sleeps are.
int64_t unitNowMs() {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    return static_cast<int64_t>(static_cast<double>(us) / 1000.0 * platform::host::timeScale());
}

// ---- state <-> board ------------------------------------------------------------------------

json sensorsJson(const std::vector<bc::TemperatureSensor>& sensors) {
    json a = json::array();
    for (const auto& t : sensors) a.push_back({{"value", t.value}, {"status", t.status}, {"type", t.type}});
    return a;
}

std::vector<bc::TemperatureSensor> sensorsFrom(const json& a) {
    std::vector<bc::TemperatureSensor> out;
    if (!a.is_array()) return out;
    for (const json& t : a) {
        bc::TemperatureSensor s;
        s.value = t.value("value", 0);
        s.status = t.value("status", 1u);
        s.type = t.value("type", 1u);
        out.push_back(s);
    }
    return out;
}

// The EEPROM memories are blobs "board.eeprom.<which>.data"; the document keeps the rest.
std::string eepromBlob(const std::string& which) { return "board.eeprom." + which + ".data"; }

void loadEeprom(const json& e, Txn& txn, const char* which, bool& present, bc::EepromDevice& device) {
    present = e.value("present", true);
    device.memory() = bc::imageFromBytes(txn.blobRead(eepromBlob(which)));
    device.setPointer(e.value("pointer", 0u));
}

json eepromJson(bool present, const bc::EepromDevice& device) {
    return {{"present", present}, {"pointer", device.pointer()}};
}

void storeEeprom(Txn& txn, const char* which, const bc::EepromDevice& device, const std::vector<uint8_t>& before) {
    if (device.memory() != before) txn.blobAssign(eepromBlob(which), device.memory());
}

bc::BoardState loadBoard(const json& b, Txn& txn) {
    bc::BoardState s;
    bc::libraryModeFromName(b.value("library", std::string("ready")), s.mode);
    s.boards = b.value("boards", 1u);
    const json eeprom = b.value("eeprom", json::object());
    loadEeprom(eeprom.value("main", json::object()), txn, "main", s.mainEepromPresent, s.mainEeprom);
    loadEeprom(eeprom.value("addon", json::object()), txn, "addon", s.addOnEepromPresent, s.addOnEeprom);
    const json x = b.value("expander", json::object());
    s.expanderPresent = x.value("present", true);
    const json regs = x.value("registers", json::array());
    // Index 0x09 shows the latches (kept at 0x0A), so it is not read back.
    for (uint8_t i = 0; i < bc::ExpanderDevice::kRegisterCount && i < regs.size(); ++i)
        if (i != bc::ExpanderDevice::kPort) s.expander.setRegister(i, regs[i].get<uint8_t>());
    s.expander.setInputs(x.value("inputs", uint8_t{0}));
    s.expander.setPointer(x.value("pointer", uint8_t{0}));
    const json modem = x.value("modem", json::object());
    s.expander.setModemOn(modem.value("on", false));
    s.expander.setKeyDownSinceMs(modem.value("key_down_since_ms", int64_t{-1}));
    s.expander.setLastKeyPressMs(modem.value("last_key_press_ms", int64_t{-1}));
    s.expander.setGpsAntenna(x.value("gps_antenna", true));
    s.expander.setClockMs(unitNowMs());
    s.sensors = sensorsFrom(b.value("temperatures", json::array()));
    return s;
}

void storeBoard(const bc::BoardState& s, json& b) {
    b["library"] = bc::libraryModeName(s.mode);
    b["boards"] = s.boards;
    b["eeprom"]["main"] = eepromJson(s.mainEepromPresent, s.mainEeprom);
    b["eeprom"]["addon"] = eepromJson(s.addOnEepromPresent, s.addOnEeprom);
    json regs = json::array();
    for (uint8_t i = 0; i < bc::ExpanderDevice::kRegisterCount; ++i)
        regs.push_back(i == bc::ExpanderDevice::kPort ? s.expander.registerValue(bc::ExpanderDevice::kLatch)
                                                      : s.expander.registerValue(i));
    b["expander"] = {{"present", s.expanderPresent},
                     {"registers", regs},
                     {"inputs", s.expander.inputs()},
                     {"pointer", s.expander.pointer()},
                     {"gps_antenna", s.expander.gpsAntenna()},
                     {"modem",
                      {{"on", s.expander.modemOn()},
                       {"key_down_since_ms", s.expander.keyDownSinceMs()},
                       {"last_key_press_ms", s.expander.lastKeyPressMs()}}},
                     // What the modules do now (shown only; follows from the pins and the modem).
                     {"modules",
                      {{"supply", s.expander.supplyOn()},
                       {"gprs", s.expander.modemOn()},
                       {"wlan", s.expander.wlanOn()},
                       {"bt", s.expander.btOn()},
                       {"gps", s.expander.gpsOn()}}}};
    b["temperatures"] = sensorsJson(s.sensors);
}

// ---- profile --------------------------------------------------------------------------------

const std::vector<bc::TemperatureSensor> kDefaultSensors = {{42000, 1, 1}, {38500, 1, 2}};

void initBoard(const json& profile, Txn& txn) {
    const json p = profile.value("board", json::object());
    bc::BoardState s;
    if (!bc::libraryModeFromName(p.value("library", std::string("ready")), s.mode)) s.mode = bc::LibraryMode::Ready;
    s.boards = p.value("boards", 1u);

    const json eeprom = profile.value("eeprom", json::object());
    std::vector<uint8_t> image;
    s.mainEepromPresent = eepromImageFromProfile(eeprom.contains("main") ? eeprom["main"] : json::array(), image);
    s.mainEeprom.memory() = bc::imageFromBytes(image);
    s.addOnEepromPresent = eepromImageFromProfile(eeprom.contains("addon") ? eeprom["addon"] : json::array(), image);
    s.addOnEeprom.memory() = bc::imageFromBytes(image);

    const json x = p.value("expander", json::object());
    s.expanderPresent = x.value("present", true);
    s.expander.setRegister(bc::ExpanderDevice::kDirection, x.value("direction", uint8_t{0xFF}));
    s.expander.setRegister(bc::ExpanderDevice::kLatch, x.value("latch", uint8_t{0}));
    s.expander.setInputs(x.value("inputs", uint8_t{0}));
    s.expander.setModemOn(x.value("modem_on", false) && s.expander.supplyOn());
    s.expander.setGpsAntenna(x.value("gps_antenna", true));
    s.sensors = p.contains("temperatures") ? sensorsFrom(p["temperatures"]) : kDefaultSensors;

    json b = json::object();
    storeBoard(s, b);
    txn.edit("board") = b;
    txn.blobAssign(eepromBlob("main"), s.mainEeprom.memory());
    txn.blobAssign(eepromBlob("addon"), s.addOnEeprom.memory());
}

const bool boardRegistered = (registerModel({"board", &initBoard}), true);

// ---- faults ---------------------------------------------------------------------------------

// The first board fault for this call (and device address, when the fault names one) that is
// past its "skip" count; counts one use of it. Null when none applies.
json takeBoardFault(Txn& txn, uint32_t ordinal, int64_t address) {
    return takeFault(txn, kBoardTarget, ordinal, [address](const json& f) {
        return !f.contains("address") ||
               (address >= 0 && (f.value("address", 0u) & 0xFE) == (address & 0xFE));
    });
}

// One call: the fault check, the board's answer, the log entry. `run` fills the entry's out
// bytes itself; a fault keeps it from running at all.
template <class Run>
uint32_t serve(uint32_t ordinal, int64_t address, std::vector<uint8_t> in, Run run) {
    uint32_t value = 0;
    Unit::instance().transact([&](Txn& txn) {
        LogEntry e;
        e.pid = static_cast<uint32_t>(::getpid());
        e.target = kBoardTarget;
        e.code = ordinal;
        e.in = std::move(in);
        json& b = txn.edit("board");
        const json fault = takeBoardFault(txn, ordinal, address);
        const std::string action = fault.is_null() ? "" : fault.value("action", std::string("fail"));
        bc::CallResult r;
        if (action == "fail" || action == "no_answer") {
            r.note = action == "fail" ? "fault: call fails" : "fault: device does not answer";
        } else {
            bc::BoardState s = loadBoard(b, txn);
            const std::vector<uint8_t> mainBefore = s.mainEeprom.memory(), addonBefore = s.addOnEeprom.memory();
            r = run(s, e.out);
            if (action == "value") {
                r.value = fault.value("value", 0u);
                r.ok = r.value != 0;
                r.note += "; fault: returns " + std::to_string(r.value);
            }
            storeBoard(s, b);
            storeEeprom(txn, "main", s.mainEeprom, mainBefore);
            storeEeprom(txn, "addon", s.addOnEeprom, addonBefore);
        }
        value = r.value;
        e.returned = r.value;
        e.ok = r.ok;
        if (!r.ok && action.empty()) e.out.clear();
        e.note = r.note;
        txn.touch();
        Unit::instance().appendLog(txn, std::move(e));
    });
    return value;
}

} // namespace

uint32_t boardLibraryInit() {
    return serve(3, -1, {}, [](bc::BoardState& s, std::vector<uint8_t>&) {
        return bc::libraryInit(s, processSession());
    });
}

uint32_t boardLibraryInitRetry(uint32_t mode) {
    return serve(40, -1, words({mode}), [&](bc::BoardState& s, std::vector<uint8_t>&) {
        return bc::libraryInitRetry(s, processSession(), mode);
    });
}

uint32_t boardCount(const TavikWChar* className, uint32_t flags) {
    return serve(55, -1, words({flags}), [&](bc::BoardState& s, std::vector<uint8_t>&) {
        bc::CallResult r = bc::boardCount(s);
        r.note = (className == nullptr ? "class null: " : "class " + narrow(className) + ": ") + r.note;
        return r;
    });
}

uint32_t boardOpen(const TavikWChar* className, uint32_t index, uint32_t flags, uint32_t* handle) {
    return serve(56, -1, words({index, flags}), [&](bc::BoardState& s, std::vector<uint8_t>& out) {
        uint32_t h = 0;
        bc::CallResult r = bc::boardOpen(s, className != nullptr, narrow(className), index, flags, &h);
        if (r.ok) {
            if (handle != nullptr) *handle = h;
            out = words({h});
        }
        return r;
    });
}

uint32_t boardSelect(uint32_t handle) {
    return serve(9, -1, words({handle}),
                 [&](bc::BoardState& s, std::vector<uint8_t>&) { return bc::boardSelect(s, handle); });
}

uint32_t boardLibraryClose() {
    return serve(4, -1, {}, [](bc::BoardState&, std::vector<uint8_t>&) {
        return bc::libraryClose(processSession());
    });
}

uint32_t boardI2cWriteRead(uint32_t handle, uint32_t bus, uint32_t address, const uint8_t* write,
                           uint32_t writeLength, uint8_t* read, uint32_t readLength) {
    std::vector<uint8_t> in;
    if (write != nullptr) in.assign(write, write + writeLength);
    return serve(69, address, in, [&](bc::BoardState& s, std::vector<uint8_t>& out) {
        std::vector<uint8_t> got(readLength, 0);
        bc::CallResult r = bc::i2cWriteRead(s, handle, bus, address, write, writeLength,
                                            readLength > 0 ? got.data() : nullptr, readLength);
        if (r.ok) {
            if (readLength > 0) std::copy(got.begin(), got.end(), read);
            out = std::move(got);
        }
        return r;
    });
}

uint32_t boardI2cWrite(uint32_t handle, uint32_t bus, uint32_t address, const uint8_t* data, uint32_t length) {
    std::vector<uint8_t> in;
    if (data != nullptr) in.assign(data, data + length);
    return serve(32, address, in, [&](bc::BoardState& s, std::vector<uint8_t>&) {
        return bc::i2cWrite(s, handle, bus, address, data, length);
    });
}

uint32_t boardI2cReadRegister(uint32_t handle, uint32_t bus, uint32_t address, uint32_t reg, uint8_t* value) {
    return serve(33, address, {static_cast<uint8_t>(reg)}, [&](bc::BoardState& s, std::vector<uint8_t>& out) {
        uint8_t v = 0;
        bc::CallResult r = bc::i2cReadRegister(s, handle, bus, address, reg, &v);
        if (r.ok) {
            if (value != nullptr) *value = v;
            out = {v};
        }
        return r;
    });
}

uint32_t boardI2cWriteRegister(uint32_t handle, uint32_t bus, uint32_t address, uint32_t reg, uint32_t value) {
    return serve(34, address, {static_cast<uint8_t>(reg), static_cast<uint8_t>(value)},
                 [&](bc::BoardState& s, std::vector<uint8_t>&) {
                     return bc::i2cWriteRegister(s, handle, bus, address, reg, value);
                 });
}

uint32_t boardTemperatureCount(uint32_t handle) {
    return serve(79, -1, words({handle}), [&](bc::BoardState& s, std::vector<uint8_t>&) {
        return bc::temperatureSensorCount(s, handle);
    });
}

uint32_t boardTemperatureRead(uint32_t handle, uint32_t index, int32_t* value, uint32_t* status) {
    return serve(81, -1, words({handle, index}), [&](bc::BoardState& s, std::vector<uint8_t>& out) {
        int32_t v = 0;
        uint32_t st = 0;
        bc::CallResult r = bc::temperatureRead(s, handle, index, &v, &st);
        if (r.value == 1) {
            if (value != nullptr) *value = v;
            if (status != nullptr) *status = st;
            out = words({static_cast<uint32_t>(v), st});
        }
        return r;
    });
}

uint32_t boardTemperatureInfo(uint32_t handle, uint32_t index, uint32_t info[11]) {
    const uint32_t size = info != nullptr ? info[0] : 0;
    return serve(80, -1, words({handle, index, size}), [&](bc::BoardState& s, std::vector<uint8_t>& out) {
        uint32_t record[11] = {size};
        bc::CallResult r = bc::temperatureInfo(s, handle, index, record);
        if (r.value == 1 && info != nullptr) {
            for (int i = 0; i < 11; ++i) info[i] = record[i];
            for (uint32_t w : record)
                for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
        }
        return r;
    });
}

void boardEndClientSession(uint64_t clientId) {
    std::lock_guard<std::mutex> guard(gClientSessionsMutex);
    gClientSessions.erase(clientId);
}

void boardPowerUp(Txn& txn) {
    json& b = txn.edit("board");
    bc::BoardState s = loadBoard(b, txn);
    const bool antenna = s.expander.gpsAntenna();
    const uint8_t inputs = s.expander.inputs();
    s.expander = bc::ExpanderDevice();
    s.expander.setGpsAntenna(antenna);
    s.expander.setInputs(inputs);
    storeBoard(s, b);
}

bool isEepromName(const std::string& which) { return which == kEeproms[0] || which == kEeproms[1]; }

std::vector<uint8_t> eepromContents(Txn& txn, const std::string& which) {
    return bc::imageFromBytes(txn.blobRead(eepromBlob(which)));
}

void setEepromContents(Txn& txn, const std::string& which, const std::vector<uint8_t>& bytes) {
    json& e = txn.edit("board")["eeprom"][which];
    if (!e.contains("present")) e["present"] = true;
    txn.blobAssign(eepromBlob(which), bc::imageFromBytes(bytes));
}

bool eepromImageFromProfile(const json& source, std::vector<uint8_t>& image, std::string* error) {
    auto recordsOf = [](const json& a) {
        std::vector<std::string> records;
        for (const json& r : a)
            if (r.is_string()) records.push_back(r.get<std::string>());
        return bc::recordsText(records);
    };
    image = bc::imageFromBytes({});
    if (source.is_null()) return false;
    if (source.is_array()) {
        image = bc::imageFromText(recordsOf(source));
    } else if (source.is_object()) {
        if (!source.value("present", true)) return false;
        if (source.contains("hex")) {
            std::vector<uint8_t> bytes;
            if (!fromHex(source["hex"].get<std::string>(), bytes) && error != nullptr) *error = "eeprom hex is not hex";
            image = bc::imageFromBytes(bytes);
        } else if (source.contains("text")) {
            image = bc::imageFromText(source["text"].get<std::string>());
        } else if (source.contains("records")) {
            image = bc::imageFromText(recordsOf(source["records"]));
        }
    }
    return true;
}

} // namespace tavik::sim
