#include "sim/driver.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "frame/request_index.h"

namespace tavik::sim {
namespace {

std::map<uint32_t, RequestHandler>& handlers() {
    static std::map<uint32_t, RequestHandler> h;
    return h;
}

struct ReadDevice {
    ReadPresence present;
    ReadHandler read;
};

std::map<std::string, ReadDevice>& readDevices() {
    static std::map<std::string, ReadDevice> d;
    return d;
}

bool isAbsentFault(const json& f) { return f.value("action", "") == "absent"; }

std::map<uint32_t, std::vector<RequestHandler>>& addedHandlers() {
    static std::map<uint32_t, std::vector<RequestHandler>> h;
    return h;
}

bool isDriverDevice(const std::string& device) {
    return device == kMainDevice || device == "\\\\.\\TavikDrv\\Video1" ||
           device == "\\\\.\\TavikDrv\\Video2";
}

bool isVideoRequest(uint32_t function) {
    return (function >= 0x909 && function <= 0x918) || function == 0x96B;
}

// Driver part of a profile: whether it is fitted, and the versions it reports.
void initDriver(const json& profile, Txn& txn) {
    const json p = profile.value("driver", json::object());
    json d = json::object();
    d["present"] = p.value("present", true);
    d["video_devices"] = p.value("video_devices", true);
    const json v = p.value("versions", json::object());
    const std::pair<const char*, const char*> parts[] = {
        {"fpga", "0.4.0.1"}, {"ss", "1.3.0.0"}, {"front", "1.0.0.0"}, {"driver", "2.1.0.0"}};
    for (auto [key, fallback] : parts) {
        std::vector<uint8_t> bytes;
        const std::string text = v.value(key, std::string(fallback));
        d["versions"][key] = parseVersion(text, bytes) ? text : fallback;
    }
    txn.edit("driver") = d;
}

bool validateDriver(json& d, std::string& error) {
    for (const char* flag : {"present", "video_devices"})
        if (!d[flag].is_boolean()) {
            error = std::string(flag) + " is true or false";
            return false;
        }
    for (const char* part : {"fpga", "ss", "front", "driver"}) {
        std::vector<uint8_t> bytes;
        const json& v = d["versions"][part];
        if (!v.is_string() || !parseVersion(v.get<std::string>(), bytes)) {
            error = std::string("versions.") + part + " is a version a.b.c.d with parts 0..255";
            return false;
        }
    }
    return true;
}

const bool driverRegistered = (registerModel({"driver", &initDriver, &validateDriver}), true);

} // namespace

void registerRequestHandler(uint32_t code, RequestHandler handler) { handlers()[code] = handler; }

void registerReadDevice(const std::string& device, ReadPresence present, ReadHandler read) {
    readDevices()[device] = {present, read};
}
void addRequestHandler(uint32_t code, RequestHandler handler) { addedHandlers()[code].push_back(handler); }

bool driverDeviceOpen(const std::string& device) {
    bool ok = false;
    Unit::instance().transact([&](Txn& txn) {
        LogEntry e;
        e.pid = static_cast<uint32_t>(::getpid());
        e.target = device;
        e.code = 0; // an open
        const json& d = txn.get("driver");
        const auto reader = readDevices().find(device);
        if (reader != readDevices().end()) {
            if (!reader->second.present(txn, device))
                e.note = "device not fitted";
            else if (!takeFault(txn, device, 0, isAbsentFault).is_null())
                e.note = "fault: device absent";
            else
                ok = true, e.note = "open";
        } else if (!isDriverDevice(device)) {
            e.note = "no such device";
        } else if (!d.value("present", true)) {
            e.note = "driver not fitted";
        } else if (device != kMainDevice && !d.value("video_devices", true)) {
            e.note = "video device not fitted";
        } else if (!takeFault(txn, device, 0, isAbsentFault).is_null()) {
            e.note = "fault: device absent";
        } else {
            ok = true;
            e.note = "open";
        }
        e.ok = ok;
        Unit::instance().appendLog(txn, std::move(e));
    });
    return ok;
}

bool driverDeviceControl(const std::string& device, uint32_t code, const uint8_t* in,
                         uint32_t inSize, uint8_t* out, uint32_t outSize, uint32_t& returned) {
    returned = 0;
    bool ok = false;
    Unit::instance().transact([&](Txn& txn) {
        LogEntry e;
        e.pid = static_cast<uint32_t>(::getpid());
        e.target = device;
        e.code = code;
        if (in != nullptr && inSize > 0) e.in.assign(in, in + inSize);
        std::string note;
        uint32_t count = 0;

        json fault = takeFault(txn, device, code);
        if (fault.is_null() && device != kMainDevice) fault = takeFault(txn, kMainDevice, code);
        const std::string action = fault.is_null() ? "" : fault.value("action", "");
        const frame::RequestInfo* info = frame::findRequest(code);

        if (action == "fail") {
            note = "fault: request fails";
        } else if (info == nullptr) {
            note = "unknown request code";
        } else if (inSize != info->inSize || outSize != info->outSize) {
            note = "buffer sizes differ from the request's (" + std::to_string(info->inSize) + "/" +
                   std::to_string(info->outSize) + ")";
        } else if ((device == kMainDevice) == isVideoRequest(info->function)) {
            note = "request not served by this device";
        } else if (action == "reply") {
            std::vector<uint8_t> reply;
            fromHex(fault.value("reply", std::string()), reply);
            const uint32_t n = std::min<uint32_t>(outSize, static_cast<uint32_t>(reply.size()));
            if (n > 0) std::memcpy(out, reply.data(), n);
            count = fault.contains("count") ? fault.value("count", 0u) : static_cast<uint32_t>(reply.size());
            ok = true;
            note = "fault: given reply";
        } else {
            auto it = handlers().find(code);
            auto added = addedHandlers().find(code);
            if (it == handlers().end() && added == addedHandlers().end()) {
                note = "request not served by the simulated unit";
            } else {
                Request r{device, code, in, inSize, out, outSize, count, note};
                ok = it == handlers().end() || it->second(txn, r);
                if (added != addedHandlers().end())
                    for (RequestHandler h : added->second) ok = h(txn, r) && ok;
            }
            if (ok && action == "count") {
                count = fault.value("count", 0u);
                note = "fault: returned count " + std::to_string(count);
            }
        }
        if (!ok) count = 0;
        returned = count;
        e.returned = count;
        e.ok = ok;
        if (ok && out != nullptr) e.out.assign(out, out + std::min(outSize, count));
        e.timeUs = 0;
        e.note = note;
        Unit::instance().appendLog(txn, std::move(e));
    });
    return ok;
}

bool driverDeviceRead(const std::string& device, uint8_t* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    const auto reader = readDevices().find(device);
    if (reader == readDevices().end()) return false;
    bool ok = false;
    Unit::instance().transact([&](Txn& txn) {
        LogEntry e;
        e.pid = static_cast<uint32_t>(::getpid());
        e.target = device;
        e.code = 0; // a read
        uint32_t count = 0;
        const json fault = takeFault(txn, device, 0, [](const json& f) { return !isAbsentFault(f); });
        const std::string action = fault.is_null() ? "" : fault.value("action", "");
        if (action == "fail") {
            e.note = "read: fault: read fails";
        } else {
            ReadRequest r{device, buffer, size, count, e.note};
            ok = reader->second.read(txn, r);
            if (ok && action == "count") count = std::min(count, fault.value("count", 0u));
            e.note = "read " + std::to_string(size) + " bytes: " + e.note;
        }
        if (!ok) count = 0;
        read = count;
        e.returned = count;
        e.ok = ok;
        if (ok) e.out.assign(buffer, buffer + count);
        Unit::instance().appendLog(txn, std::move(e));
    });
    return ok;
}

} // namespace tavik::sim
