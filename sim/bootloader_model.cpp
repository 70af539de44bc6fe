// The microcontrollers' bootloaders (model "bootloader"): the driver requests that switch a
// microcontroller into its bootloader and route the serial line (0x942, 0x943, 0x944), and the
// bootloader's side of the serial protocol over its flash.
//
// Document: "routing" (0 nobody, 1 system supervisor, 2 front), "paced", and per microcontroller
// ("ss", "front"): "product_id", "flash_size", "page_size", "version", "options", "commands" (the
// 11 codes of the get reply, by function), "extra_get_bytes" (more bytes announced in the get
// reply), "corrupt_at" (an address whose read-back is inverted, -1 none), "mode" ("application"
// or "bootloader"), "synchronised", and for the front "armed" (first switch step done).
#include <algorithm>
#include <cstring>

#include "frame/request_index.h"
#include "sim/bootloader.h"
#include "sim/driver.h"

namespace tavik::sim {
namespace {

constexpr const char* kBootloaderModel = "bootloader";
constexpr uint32_t kFlashBase = 0x08000000;

// Bytes of the line protocol.
constexpr uint8_t kSync = 0x7F; // synchronisation (the bootloader measures the baud rate on it)
constexpr uint8_t kAck = 0x79;
constexpr uint8_t kNack = 0x1F;

// Functions of the commands by their position in the get reply.
enum Function { Get, GetVersion, GetId, ReadMemory, Go, WriteMemory, Erase, kFunctions = 11 };
constexpr uint8_t kDefaultCommands[kFunctions] = {0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, 0x63, 0x73, 0x82, 0x92};

// Driver requests and their values.
constexpr uint8_t kSwitchSsBootloader = 0x96;
constexpr uint8_t kSwitchFrontFirst = 0x0F;
constexpr uint8_t kSwitchNormal = 0xC3;
constexpr uint32_t kRouteNobody = 0, kRouteSs = 1, kRouteFront = 2;

std::string flashBlob(const std::string& who) { return std::string(kBootloaderModel) + "." + who; }

json controller(const json& p, uint32_t productId, uint32_t flashSize) {
    const uint32_t size = p.value("flash_size", flashSize);
    json c = {{"product_id", p.value("product_id", productId)},
              {"flash_size", size},
              {"page_size", p.value("page_size", size > 128 * 1024 ? 2048u : 1024u)},
              {"version", p.value("version", 0x22)},
              {"options", p.value("options", json::array({0, 0}))},
              {"commands", p.value("commands", json(std::vector<uint8_t>(kDefaultCommands, kDefaultCommands + kFunctions)))},
              {"extra_get_bytes", p.value("extra_get_bytes", 0)},
              {"corrupt_at", p.value("corrupt_at", -1)},
              {"mode", "application"},
              {"synchronised", false}};
    return c;
}

void initBootloader(const json& profile, Txn& txn) {
    const json p = profile.value(kBootloaderModel, json::object());
    json d = {{"routing", kRouteNobody}, {"paced", p.value("paced", false)}};
    d["ss"] = controller(p.value("ss", json::object()), 0x414, 512 * 1024);
    d["front"] = controller(p.value("front", json::object()), 0x410, 128 * 1024);
    d["front"]["armed"] = false;
    for (const char* who : {"ss", "front"}) {
        txn.blobRemove(flashBlob(who));
        txn.blobResize(flashBlob(who), d[who]["flash_size"].get<uint64_t>()); // erased
    }
    txn.edit(kBootloaderModel) = d;
}

bool unsignedUpTo(const json& v, uint64_t max) {
    return v.is_number_integer() && (v.is_number_unsigned() || v.get<int64_t>() >= 0) && v.get<uint64_t>() <= max;
}

bool validateController(json& c, const std::string& who, std::string& error) {
    const struct {
        const char* field;
        uint64_t max;
    } numbers[] = {{"product_id", 0xFFFF}, {"flash_size", 16u << 20}, {"page_size", 64 * 1024},
                   {"version", 255}, {"extra_get_bytes", 255 - 12}};
    for (const auto& n : numbers)
        if (!unsignedUpTo(c[n.field], n.max))
            return error = who + "." + n.field + " is an integer 0.." + std::to_string(n.max), false;
    const uint64_t flash = c["flash_size"].get<uint64_t>(), page = c["page_size"].get<uint64_t>();
    if (flash == 0 || page == 0 || flash % page != 0 || flash % 4 != 0)
        return error = who + ".flash_size is a positive multiple of page_size and of 4", false;
    const json& options = c["options"];
    if (!options.is_array() || options.size() != 2 || !unsignedUpTo(options[0], 255) || !unsignedUpTo(options[1], 255))
        return error = who + ".options is two bytes", false;
    const json& commands = c["commands"];
    bool ok = commands.is_array() && commands.size() == kFunctions;
    for (size_t i = 0; ok && i < commands.size(); ++i)
        ok = unsignedUpTo(commands[i], 255) && std::count(commands.begin(), commands.end(), commands[i]) == 1;
    if (!ok) return error = who + ".commands is 11 different command bytes", false;
    const json& corrupt = c["corrupt_at"];
    if (!corrupt.is_number_integer() || corrupt.get<int64_t>() < -1 || corrupt.get<int64_t>() > 0xFFFFFFFFll)
        return error = who + ".corrupt_at is an address, or -1 for none", false;
    if (c["mode"] != "application" && c["mode"] != "bootloader")
        return error = who + ".mode is application or bootloader", false;
    if (!c["synchronised"].is_boolean()) return error = who + ".synchronised is true or false", false;
    return true;
}

bool validateBootloader(json& d, std::string& error) {
    if (!unsignedUpTo(d["routing"], 2)) return error = "routing is 0 (nobody), 1 (system supervisor) or 2 (front)", false;
    if (!d["paced"].is_boolean()) return error = "paced is true or false", false;
    if (!d["front"]["armed"].is_boolean()) return error = "front.armed is true or false", false;
    return validateController(d["ss"], "ss", error) && validateController(d["front"], "front", error);
}

const bool bootloaderModelRegistered = (registerModel({kBootloaderModel, &initBootloader, &validateBootloader}), true);

// A microcontroller reset into its bootloader waits for synchronisation; one reset into its
// application no longer answers on the line.
void enter(json& c, bool bootloader) {
    c["mode"] = bootloader ? "bootloader" : "application";
    c["synchronised"] = false;
}

// 0x942: 0x96 resets the system supervisor into its bootloader; 0x0F is the first step of the
// front microcontroller's switch (0x943 completes it); 0xC3 restarts the front's application.
bool targetSwitch(Txn& txn, Request& r) {
    json& d = txn.edit(kBootloaderModel);
    switch (r.in[0]) {
    case kSwitchSsBootloader:
        enter(d["ss"], true);
        break;
    case kSwitchFrontFirst:
        d["front"]["armed"] = true;
        break;
    case kSwitchNormal:
        d["front"]["armed"] = false;
        if (d["front"]["mode"] == "bootloader") enter(d["front"], false);
        break;
    default:
        break; // other values concern other parts of the unit, or none
    }
    return true;
}

bool frontSecondStep(Txn& txn, Request& r) {
    json& d = txn.edit(kBootloaderModel);
    if (!d["front"]["armed"].get<bool>()) {
        r.note = "front switch: second step without the first (0x942 with 0x0F)";
        return true;
    }
    d["front"]["armed"] = false;
    enter(d["front"], true);
    r.note = "front microcontroller in its bootloader";
    return true;
}

// 0x944: routes the serial line. Routing it away from the system supervisor restarts its
// application.
bool routeSerial(Txn& txn, Request& r) {
    const uint8_t route = r.in[0];
    if (route > kRouteFront) {
        r.note = "serial routing " + std::to_string(route) + " does not exist";
        return false;
    }
    json& d = txn.edit(kBootloaderModel);
    if (route != kRouteSs && d["routing"] == kRouteSs && d["ss"]["mode"] == "bootloader") enter(d["ss"], false);
    d["routing"] = route;
    r.note = "serial line routed to " + std::string(route == kRouteSs ? "the system supervisor" : route == kRouteFront ? "the front microcontroller" : "nobody");
    return true;
}

const bool bootloaderHandlersRegistered = [] {
    addRequestHandler(frame::requestCode(0x942), &targetSwitch);
    registerRequestHandler(frame::requestCode(0x943), &frontSecondStep);
    registerRequestHandler(frame::requestCode(0x944), &routeSerial);
    return true;
}();

// Parser phases of the line: what the pending bytes are.
enum Phase { Command, ReadAddress, ReadLength, WriteAddress, WriteLength, WriteData, EraseCount, EraseAll, ErasePages, GoAddress };

uint8_t xorOf(const uint8_t* p, size_t n, uint8_t start = 0) {
    for (size_t i = 0; i < n; ++i) start ^= p[i];
    return start;
}

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool inFlash(const json& c, uint64_t address, uint64_t length) {
    const uint64_t size = c["flash_size"].get<uint64_t>();
    return address >= kFlashBase && address - kFlashBase <= size && length <= size - (address - kFlashBase);
}

// The flash, sized as the document says.
void sizeFlash(Txn& txn, const std::string& who, const json& c) {
    const uint64_t size = c["flash_size"].get<uint64_t>();
    if (txn.blobSize(flashBlob(who)) != size) txn.blobResize(flashBlob(who), size);
}

} // namespace

void BootloaderLine::restart() {
    if (target_ == LineTarget::Routed) return;
    const std::string who = target_ == LineTarget::SystemSupervisor ? "ss" : "front";
    Unit::instance().transact([&](Txn& txn) { enter(txn.edit(kBootloaderModel)[who], true); });
    current_.clear();
}

void BootloaderLine::expect(int phase, size_t bytes) {
    phase_ = phase;
    need_ = bytes;
    pending_.clear();
}

std::vector<uint8_t> BootloaderLine::receive(const uint8_t* data, size_t size, bool& paced) {
    std::vector<uint8_t> reply;
    Unit::instance().transact([&](Txn& txn) {
        const json& d = txn.get(kBootloaderModel);
        paced = d.value("paced", false);
        std::string who;
        if (target_ == LineTarget::SystemSupervisor) who = "ss";
        else if (target_ == LineTarget::Front) who = "front";
        else if (d["routing"] == kRouteSs) who = "ss";
        else if (d["routing"] == kRouteFront) who = "front";
        const bool listening = !who.empty() && (target_ != LineTarget::Routed || d[who]["mode"] == "bootloader");
        if (!listening || who != current_) {
            current_ = listening ? who : "";
            expect(Command, 2);
            in_.clear();
            out_.clear();
        }
        if (!listening) {
            LogEntry e;
            e.target = "serial";
            e.in.assign(data, data + size);
            e.note = who.empty() ? "line not routed: bytes lost" : who + " not in its bootloader: bytes lost";
            Unit::instance().appendLog(txn, std::move(e));
            return;
        }
        for (size_t i = 0; i < size; ++i) step(txn, who, data[i], reply);
    });
    return reply;
}

void BootloaderLine::finish(Txn& txn, const std::string& who, const std::string& note) {
    LogEntry e;
    e.target = "bootloader:" + who;
    e.code = command_;
    e.in = std::move(in_);
    e.out = std::move(out_);
    e.ok = !refused_;
    refused_ = false;
    e.note = note;
    Unit::instance().appendLog(txn, std::move(e));
    in_.clear();
    out_.clear();
    expect(Command, 2);
}

void BootloaderLine::step(Txn& txn, const std::string& who, uint8_t byte, std::vector<uint8_t>& reply) {
    const json& c = txn.get(kBootloaderModel)[who];
    if (!c["synchronised"].get<bool>()) {
        if (byte != kSync) return; // not yet synchronised: nothing else is heard
        command_ = kSync;
        in_ = {byte};
        const json fault = takeFault(txn, "bootloader:" + who, kSync);
        const std::string action = fault.is_null() ? "" : fault.value("action", "");
        refused_ = !action.empty();
        if (action == "silent") return finish(txn, who, "fault: no answer to synchronisation");
        if (action == "nack") {
            reply.push_back(kNack);
            out_ = {kNack};
            return finish(txn, who, "fault: synchronisation refused");
        }
        txn.edit(kBootloaderModel)[who]["synchronised"] = true;
        reply.push_back(kAck);
        out_ = {kAck};
        return finish(txn, who, "synchronised");
    }
    pending_.push_back(byte);
    in_.push_back(byte);
    if (pending_.size() < need_) return;
    const size_t before = reply.size();
    std::string note;
    const bool ended = process(txn, who, reply, note);
    out_.insert(out_.end(), reply.begin() + static_cast<std::ptrdiff_t>(before), reply.end());
    if (ended) finish(txn, who, note);
}

bool BootloaderLine::process(Txn& txn, const std::string& who, std::vector<uint8_t>& reply, std::string& note) {
    const json& c = txn.get(kBootloaderModel)[who];
    const uint8_t* p = pending_.data();
    auto nack = [&](const char* why) {
        reply.push_back(kNack);
        refused_ = true;
        note = why;
        return true;
    };
    auto ack = [&](int next, size_t bytes) {
        reply.push_back(kAck);
        expect(next, bytes);
        return false;
    };
    auto done = [&](std::string what) {
        reply.push_back(kAck);
        note = std::move(what);
        return true;
    };
    switch (phase_) {
    case Command: {
        command_ = p[0];
        if ((p[0] ^ p[1]) != 0xFF) return nack("command byte without its complement");
        const json& codes = c["commands"];
        const auto it = std::find(codes.begin(), codes.end(), p[0]);
        if (it == codes.end()) return nack("unknown command");
        if (json f = takeFault(txn, "bootloader:" + who, p[0]); !f.is_null()) {
            if (f.value("action", "") != "silent") return nack("fault: command refused");
            note = "fault: no answer";
            refused_ = true;
            return true;
        }
        switch (static_cast<int>(it - codes.begin())) {
        case Get: {
            const uint32_t extra = c["extra_get_bytes"].get<uint32_t>();
            reply.push_back(kAck);
            reply.push_back(static_cast<uint8_t>(kFunctions + extra)); // N: N + 1 bytes follow
            reply.push_back(c["version"].get<uint8_t>());
            for (const json& code : codes) reply.push_back(code.get<uint8_t>());
            for (uint32_t i = 0; i < extra; ++i) reply.push_back(static_cast<uint8_t>(0x44 + i));
            return done("get");
        }
        case GetVersion:
            reply.insert(reply.end(), {kAck, c["version"].get<uint8_t>(), c["options"][0].get<uint8_t>(),
                                       c["options"][1].get<uint8_t>()});
            return done("get version");
        case GetId: {
            const uint32_t id = c["product_id"].get<uint32_t>();
            reply.insert(reply.end(), {kAck, 1, static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)});
            return done("get id");
        }
        case ReadMemory: return ack(ReadAddress, 5);
        case WriteMemory: return ack(WriteAddress, 5);
        case Erase: return ack(EraseCount, 1);
        case Go: return ack(GoAddress, 5);
        default: return nack("command not served by the simulated bootloader");
        }
    }
    case ReadAddress:
    case WriteAddress:
    case GoAddress:
        if (xorOf(p, 4) != p[4]) return nack("address checksum wrong");
        address_ = be32(p);
        if (!inFlash(c, address_, 1) || (phase_ != ReadAddress && address_ % 4 != 0))
            return nack("address outside the flash or not aligned");
        if (phase_ == GoAddress) {
            enter(txn.edit(kBootloaderModel)[who], false);
            return done("application started");
        }
        return phase_ == ReadAddress ? ack(ReadLength, 2) : ack(WriteLength, 1);
    case ReadLength: {
        if ((p[0] ^ p[1]) != 0xFF) return nack("length without its complement");
        const uint32_t length = p[0] + 1u;
        if (!inFlash(c, address_, length)) return nack("read beyond the flash");
        sizeFlash(txn, who, c);
        reply.push_back(kAck);
        const size_t at = reply.size();
        reply.resize(at + length);
        txn.blobRead(flashBlob(who), address_ - kFlashBase, reply.data() + at, length);
        const int64_t corrupt = c["corrupt_at"].get<int64_t>();
        if (corrupt >= int64_t(address_) && corrupt < int64_t(address_) + length) reply[at + (corrupt - address_)] ^= 0xFF;
        note = "read " + std::to_string(length) + " bytes";
        return true;
    }
    case WriteLength:
        expect(WriteData, p[0] + 2u); // N + 1 data bytes and the checksum
        return false;
    case WriteData: {
        const size_t length = pending_.size() - 1;
        if (xorOf(p, length, static_cast<uint8_t>(length - 1)) != p[length]) return nack("data checksum wrong");
        if (length % 4 != 0) return nack("length not a multiple of 4");
        if (!inFlash(c, address_, length)) return nack("write beyond the flash");
        sizeFlash(txn, who, c);
        std::vector<uint8_t> cells(length);
        txn.blobRead(flashBlob(who), address_ - kFlashBase, cells.data(), length);
        for (size_t i = 0; i < length; ++i)
            if (cells[i] != 0xFF && cells[i] != p[i]) return nack("programming a cell that is not erased");
        txn.blobWrite(flashBlob(who), address_ - kFlashBase, p, length);
        return done("wrote " + std::to_string(length) + " bytes");
    }
    case EraseCount:
        expect(p[0] == 0xFF ? EraseAll : ErasePages, p[0] == 0xFF ? 1 : p[0] + 2u); // pages: N + 1 and a checksum
        return false;
    case EraseAll:
        if (p[0] != 0x00) return nack("global erase without its checksum 0x00");
        txn.blobRemove(flashBlob(who));
        sizeFlash(txn, who, c);
        return done("flash erased");
    case ErasePages: {
        const size_t count = pending_.size() - 1;
        if (xorOf(p, count, static_cast<uint8_t>(count - 1)) != p[count]) return nack("page list checksum wrong");
        const uint64_t page = c["page_size"].get<uint64_t>(), size = c["flash_size"].get<uint64_t>();
        for (size_t i = 0; i < count; ++i)
            if ((p[i] + 1u) * page > size) return nack("page outside the flash");
        sizeFlash(txn, who, c);
        const std::vector<uint8_t> erased(page, 0xFF);
        for (size_t i = 0; i < count; ++i) txn.blobWrite(flashBlob(who), p[i] * page, erased.data(), erased.size());
        return done("erased " + std::to_string(count) + " pages");
    }
    }
    return nack("parser out of step");
}

} // namespace tavik::sim
