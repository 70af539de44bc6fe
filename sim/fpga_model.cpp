// The FPGA's configuration memory and its programming requests, as the driver serves them: the
// interface status (0x93F), programming blocks (0x940), read-back blocks (0x941) and the
// configuration path switch (0x942). The memory is the blob "fpga.config"; a memory position
// counts bytes from its start.
#include <algorithm>
#include <cstring>

#include "frame/request_index.h"
#include "sim/driver.h"

namespace tavik::sim {
namespace fpga_model {

constexpr const char* kModel = "fpga";
constexpr const char* kMemory = "fpga.config";
constexpr uint64_t kDefaultMemoryBytes = 4u << 20;
constexpr uint64_t kMaxMemoryBytes = 256u << 20;
constexpr uint32_t kBlockBytes = 528;
constexpr uint8_t kSwitchProgramming = 0x0F;
constexpr uint8_t kSwitchNormal = 0xC3;

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void initFpga(const json& profile, Txn& txn) {
    const json p = profile.value("fpga", json::object());
    txn.edit(kModel) = {
        {"memory_size", p.value("memory_size", kDefaultMemoryBytes)},
        {"interface_status", p.value("interface_status", 0)},
        {"switch", kSwitchNormal},
        {"programmed", false},
        {"accept_limit", p.value("accept_limit", 0)},
        {"stalled", p.value("stalled", false)},
        {"corrupt_at", p.value("corrupt_at", -1)},
        {"version_follows_image", p.value("version_follows_image", false)},
        {"version_offset", p.value("version_offset", 0)},
    };
    txn.blobRemove(kMemory);
    txn.blobResize(kMemory, txn.get(kModel)["memory_size"].get<uint64_t>()); // erased (0xFF)
}

bool isUnsigned(const json& v, uint64_t max) {
    if (!v.is_number_integer()) return false;
    if (!v.is_number_unsigned() && v.get<int64_t>() < 0) return false;
    return v.get<uint64_t>() <= max;
}

bool validateFpga(json& d, std::string& error) {
    const struct {
        const char* field;
        uint64_t max;
    } numbers[] = {{"memory_size", kMaxMemoryBytes}, {"interface_status", 255}, {"switch", 255},
                   {"accept_limit", kBlockBytes}, {"version_offset", kMaxMemoryBytes - 4}};
    for (const auto& n : numbers)
        if (!isUnsigned(d[n.field], n.max)) {
            error = std::string(n.field) + " is an integer 0.." + std::to_string(n.max);
            return false;
        }
    if (d["memory_size"].get<uint64_t>() == 0) return error = "memory_size is at least 1", false;
    for (const char* flag : {"programmed", "stalled", "version_follows_image"})
        if (!d[flag].is_boolean()) return error = std::string(flag) + " is true or false", false;
    const json& c = d["corrupt_at"];
    if (!c.is_number_integer() || c.get<int64_t>() < -1)
        return error = "corrupt_at is a memory position, or -1 for none", false;
    return true;
}

const bool modelRegistered = (registerModel({kModel, &initFpga, &validateFpga}), true);

// The memory, sized as the document says (a changed size erases what lies beyond).
uint64_t memorySize(Txn& txn) {
    const uint64_t size = txn.get(kModel)["memory_size"].get<uint64_t>();
    if (txn.blobSize(kMemory) != size) txn.blobResize(kMemory, size);
    return size;
}

bool programmingPath(Txn& txn, Request& r) {
    if (txn.get(kModel)["switch"].get<int>() == kSwitchProgramming) return true;
    r.note = "configuration path not switched for programming";
    return false;
}

bool interfaceStatus(Txn& txn, Request& r) {
    r.out[0] = txn.get(kModel)["interface_status"].get<uint8_t>();
    r.returned = 1;
    return true;
}

// Writes as much of the block as the memory takes and answers with the position after it.
// Programming from position 0 starts over: the memory is erased first.
bool programBlock(Txn& txn, Request& r) {
    if (!programmingPath(txn, r)) return false;
    const uint32_t length = uint32_t(r.in[0]) | uint32_t(r.in[1]) << 8;
    const uint32_t position = le32(r.in + 4);
    if (length == 0 || length > kBlockBytes) {
        r.note = "block length " + std::to_string(length) + " outside 1..528";
        return false;
    }
    const json& d = txn.get(kModel);
    const uint64_t size = memorySize(txn);
    uint64_t taken = length;
    if (d["stalled"].get<bool>()) taken = 0;
    if (const uint32_t limit = d["accept_limit"].get<uint32_t>(); limit != 0) taken = std::min<uint64_t>(taken, limit);
    taken = position >= size ? 0 : std::min<uint64_t>(taken, size - position);
    if (position == 0 && taken > 0) {
        txn.blobRemove(kMemory);
        txn.blobResize(kMemory, size);
    }
    if (taken > 0) {
        txn.blobWrite(kMemory, position, r.in + 8, static_cast<size_t>(taken));
        txn.edit(kModel)["programmed"] = true;
    }
    putLe32(r.out, position + static_cast<uint32_t>(taken));
    r.returned = 4;
    r.note = "took " + std::to_string(taken) + " of " + std::to_string(length) + " bytes at " + std::to_string(position);
    return true;
}

// Reads up to 528 bytes at the position; the length read is 0 past the end of the memory.
bool readBlock(Txn& txn, Request& r) {
    if (!programmingPath(txn, r)) return false;
    const uint32_t position = le32(r.in + 4);
    const uint64_t size = memorySize(txn);
    const uint32_t n = position >= size ? 0 : static_cast<uint32_t>(std::min<uint64_t>(kBlockBytes, size - position));
    std::memset(r.out, 0, r.outSize);
    r.out[0] = static_cast<uint8_t>(n);
    r.out[1] = static_cast<uint8_t>(n >> 8);
    putLe32(r.out + 4, position + n);
    if (n > 0) txn.blobRead(kMemory, position, r.out + 8, n);
    const int64_t corrupt = txn.get(kModel)["corrupt_at"].get<int64_t>();
    if (corrupt >= position && corrupt < int64_t(position) + n) r.out[8 + (corrupt - position)] ^= 0xFF;
    r.returned = r.outSize;
    return true;
}

// 0x0F opens the configuration path for programming, 0xC3 returns it to normal: the FPGA then
// loads what was programmed, and may report the version the image carries.
bool switchPath(Txn& txn, Request& r) {
    const uint8_t value = r.in[0];
    json& d = txn.edit(kModel);
    const bool reload = value == kSwitchNormal && d["switch"].get<int>() == kSwitchProgramming && d["programmed"].get<bool>();
    d["switch"] = value;
    if (value == kSwitchProgramming) d["programmed"] = false;
    if (reload && d["version_follows_image"].get<bool>()) {
        uint8_t v[4];
        txn.blobRead(kMemory, d["version_offset"].get<uint64_t>(), v, 4);
        if (!(v[0] == 0xFF && v[1] == 0xFF && v[2] == 0xFF && v[3] == 0xFF)) {
            // The version request reads the driver's record of the FPGA version.
            txn.edit("driver")["versions"]["fpga"] = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
                                                     std::to_string(v[2]) + "." + std::to_string(v[3]);
            r.note = "FPGA reloaded, version from the image";
        }
    }
    r.returned = 0;
    return true;
}

const bool handlersRegistered = [] {
    registerRequestHandler(frame::requestCode(0x93F), &interfaceStatus);
    registerRequestHandler(frame::requestCode(0x940), &programBlock);
    registerRequestHandler(frame::requestCode(0x941), &readBlock);
    registerRequestHandler(frame::requestCode(0x942), &switchPath);
    return true;
}();

} // namespace fpga_model
} // namespace tavik::sim
