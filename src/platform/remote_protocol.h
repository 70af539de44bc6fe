// Wire format between a client of a remote simulated unit (the Windows build with TAVIK_SIM set)
// and `tavikctl sim serve`. Portable: both ends compile it and remote_protocol.cpp; no OS calls here.
//
// A connection is a stream of frames. Every frame is a 16-byte header followed by `length`
// payload bytes; all numbers are little-endian.
//
//   offset 0  u32 magic    kMagic ("TVKS")
//   offset 4  u16 version  kVersion
//   offset 6  u16 kind     a request kind, or the request kind | kReplyFlag for its reply
//   offset 8  u32 id       chosen by the client, echoed in the reply
//   offset 12 u32 length   payload bytes, at most kMaxPayload
//
// The client sends one request and waits for its reply (one request at a time per connection).
// The first request of a connection is Hello. A frame with a wrong magic, version or kind, a
// length over kMaxPayload, or a payload that does not decode exactly (short or with bytes left
// over) makes the server close that connection; nothing else is affected.
//
// Payloads, field by field (u32 = 4 bytes; bytes = u32 count then the bytes; text = bytes in
// UTF-8; wtext = u32 flag (0: null pointer, 1: present; any other value is malformed) then
// bytes of UTF-16LE code units without the terminating zero):
//
//   Hello          request: u32 client process id, text client description[, text token]
//                  reply:   u32 server process id, text server description (names the unit)
//                  The token is required by a server that has one (any server not on a
//                  loopback address); a missing or wrong one closes the connection unanswered.
//                  A second Hello on a connection closes it.
//   DeviceOpen     request: text device name ("\\.\TavikDrv", ...)
//                  reply:   u32 opened (0/1), u32 device id (valid when opened)
//   DeviceControl  request: u32 device id, u32 code, bytes in, u32 out size
//                  reply:   u32 ok (0/1), u32 returned, bytes out (what the driver wrote,
//                           at most the out size)
//   DeviceRead     request: u32 device id, u32 size
//                  reply:   u32 ok (0/1), bytes read (at most size)
//   DeviceClose    request: u32 device id
//                  reply:   (empty)
//   BoardCall      request: u32 ordinal, u32 args[kBoardArgs], wtext class name, bytes data,
//                           u32 read length
//                  reply:   u32 result, u32 outs[kBoardOuts], bytes data
//                  (the ordinal's use of the fields is given by BoardOrdinal below)
//   ServiceControl request: text service name, u32 code
//                  reply:   u32 answer (ServiceAnswer)
//
// Device ids and board sessions belong to the connection: closing it closes its devices and
// ends its board-library session.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tavik::platform::remote {

constexpr uint32_t kMagic = 0x534B5654; // "TVKS"
constexpr uint16_t kVersion = 1;
constexpr uint16_t kReplyFlag = 0x8000;
constexpr uint32_t kHeaderSize = 16;
// Largest payload: a raw video frame (2 MB) and its framing fit well inside.
constexpr uint32_t kMaxPayload = 8u * 1024u * 1024u;
// Port of `tavikctl sim serve` when none is given.
constexpr uint16_t kDefaultPort = 47820;
constexpr const char* kDefaultAddress = "127.0.0.1";

enum class Kind : uint16_t {
    Hello = 1,
    DeviceOpen = 2,
    DeviceControl = 3,
    DeviceRead = 4,
    DeviceClose = 5,
    BoardCall = 6,
    ServiceControl = 7,
};
constexpr uint16_t kHighestKind = 7;

enum class ServiceAnswer : uint32_t { NotOpened = 0, Refused = 1, Accepted = 2 };

// Board-library calls by their ordinal. Argument and result fields per ordinal:
//   3  libraryInit            -> result
//   40 libraryInitRetry       args[0] mode -> result
//   55 boardCount             class name, args[0] flags -> result
//   56 boardOpen              class name, args[0] index, args[1] flags -> result, outs[0] handle
//   9  boardSelect            args[0] handle -> result
//   4  libraryClose           -> result
//   69 i2cWriteRead           args[0..2] handle, bus, address; data written; read length
//                             -> result, data read (read length bytes, also on failure)
//   32 i2cWrite               args[0..2] handle, bus, address; data -> result
//   33 i2cReadRegister        args[0..3] handle, bus, address, reg -> result, outs[0] value
//   34 i2cWriteRegister       args[0..4] handle, bus, address, reg, value -> result
//   79 temperatureSensorCount args[0] handle -> result
//   81 temperatureRead        args[0..1] handle, index -> result, outs[0] value, outs[1] status
//   80 temperatureInfo        args[0..1] handle, index; data: the 44-byte record as the caller
//                             preset it -> result, data: the record afterwards
enum class BoardOrdinal : uint32_t {
    LibraryInit = 3,
    LibraryClose = 4,
    BoardSelect = 9,
    I2cWrite = 32,
    I2cReadRegister = 33,
    I2cWriteRegister = 34,
    LibraryInitRetry = 40,
    BoardCount = 55,
    BoardOpen = 56,
    I2cWriteRead = 69,
    TemperatureSensorCount = 79,
    TemperatureInfo = 80,
    TemperatureRead = 81,
};
constexpr uint32_t kBoardArgs = 5;
constexpr uint32_t kBoardOuts = 2;

struct Header {
    uint32_t magic = kMagic;
    uint16_t version = kVersion;
    uint16_t kind = 0;
    uint32_t id = 0;
    uint32_t length = 0;
};

inline void putU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint32_t getU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void encodeHeader(const Header& h, uint8_t out[kHeaderSize]) {
    putU32(out, h.magic);
    out[4] = static_cast<uint8_t>(h.version);
    out[5] = static_cast<uint8_t>(h.version >> 8);
    out[6] = static_cast<uint8_t>(h.kind);
    out[7] = static_cast<uint8_t>(h.kind >> 8);
    putU32(out + 8, h.id);
    putU32(out + 12, h.length);
}

inline Header decodeHeader(const uint8_t in[kHeaderSize]) {
    Header h;
    h.magic = getU32(in);
    h.version = static_cast<uint16_t>(in[4] | in[5] << 8);
    h.kind = static_cast<uint16_t>(in[6] | in[7] << 8);
    h.id = getU32(in + 8);
    h.length = getU32(in + 12);
    return h;
}

// Whether a received header may be followed by its payload. `reply` says which direction the
// receiver expects.
inline bool headerAcceptable(const Header& h, bool reply) {
    if (h.magic != kMagic || h.version != kVersion || h.length > kMaxPayload) return false;
    if (((h.kind & kReplyFlag) != 0) != reply) return false;
    const uint16_t kind = h.kind & static_cast<uint16_t>(~kReplyFlag);
    return kind >= 1 && kind <= kHighestKind;
}

// Builds a payload.
class Writer {
public:
    Writer& u32(uint32_t v) {
        uint8_t b[4];
        putU32(b, v);
        data_.insert(data_.end(), b, b + 4);
        return *this;
    }
    Writer& bytes(const void* p, uint32_t n) {
        u32(n);
        const auto* b = static_cast<const uint8_t*>(p);
        if (n > 0) data_.insert(data_.end(), b, b + n);
        return *this;
    }
    Writer& text(const std::string& s) { return bytes(s.data(), static_cast<uint32_t>(s.size())); }
    // UTF-16 code units up to the terminating zero; null is sent as absent.
    template <class Char16>
    Writer& wtext(const Char16* s) {
        static_assert(sizeof(Char16) == 2, "UTF-16 code units");
        if (s == nullptr) return u32(0);
        u32(1);
        uint32_t n = 0;
        while (s[n] != 0) ++n;
        u32(n * 2);
        for (uint32_t i = 0; i < n; ++i) {
            data_.push_back(static_cast<uint8_t>(s[i]));
            data_.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s[i]) >> 8));
        }
        return *this;
    }
    const std::vector<uint8_t>& data() const { return data_; }
    std::vector<uint8_t>& data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

// Reads a payload. Any read past the end sets the failed flag (and yields zeros/empties);
// `complete()` is true only when nothing failed and every byte was read.
class Reader {
public:
    Reader(const uint8_t* p, uint32_t n) : p_(p), n_(n) {}
    explicit Reader(const std::vector<uint8_t>& v) : Reader(v.data(), static_cast<uint32_t>(v.size())) {}

    uint32_t u32() {
        if (failed_ || n_ - pos_ < 4) {
            failed_ = true;
            return 0;
        }
        const uint32_t v = getU32(p_ + pos_);
        pos_ += 4;
        return v;
    }
    // A byte string; its bytes stay in the payload (valid while the payload lives).
    const uint8_t* bytes(uint32_t& n) {
        n = u32();
        if (failed_ || n_ - pos_ < n) {
            failed_ = true;
            n = 0;
            return nullptr;
        }
        const uint8_t* b = p_ + pos_;
        pos_ += n;
        return b;
    }
    std::vector<uint8_t> byteVector() {
        uint32_t n = 0;
        const uint8_t* b = bytes(n);
        return b == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(b, b + n);
    }
    std::string text() {
        uint32_t n = 0;
        const uint8_t* b = bytes(n);
        return b == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(b), n);
    }
    // UTF-16 code units with a terminating zero appended; `present` false for a null pointer.
    std::u16string wtext(bool& present) {
        const uint32_t flag = u32();
        present = flag == 1;
        if (flag > 1) failed_ = true;
        if (!present) return {};
        uint32_t n = 0;
        const uint8_t* b = bytes(n);
        if (b == nullptr || n % 2 != 0) {
            failed_ = true;
            present = false;
            return {};
        }
        std::u16string s(n / 2, u'\0');
        for (uint32_t i = 0; i < n / 2; ++i) s[i] = static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8);
        return s;
    }
    bool failed() const { return failed_; }
    bool complete() const { return !failed_ && pos_ == n_; }

private:
    const uint8_t* p_;
    uint32_t n_;
    uint32_t pos_ = 0;
    bool failed_ = false;
};

// The payload of each request kind and of its reply, encoded and decoded here once for both
// clients and the server. Byte fields are views: when encoding they point at the caller's data,
// after decoding into the payload (valid while the payload lives). decode() is true only when the
// payload decodes exactly (nothing short, nothing left over).
struct ByteView {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
};

struct HelloRequest {
    static constexpr Kind kind = Kind::Hello;
    uint32_t pid = 0;
    std::string description;
    std::string token; // optional third field: sent only when not empty
};
struct HelloReply {
    uint32_t pid = 0;
    std::string description;
};

struct DeviceOpenRequest {
    static constexpr Kind kind = Kind::DeviceOpen;
    std::string name;
};
struct DeviceOpenReply {
    bool opened = false;
    uint32_t device = 0; // valid when opened
};

struct DeviceControlRequest {
    static constexpr Kind kind = Kind::DeviceControl;
    uint32_t device = 0;
    uint32_t code = 0;
    ByteView in;
    uint32_t outSize = 0;
};
struct DeviceControlReply {
    bool ok = false;
    uint32_t returned = 0;
    ByteView out; // what the driver wrote, at most the request's out size
};

struct DeviceReadRequest {
    static constexpr Kind kind = Kind::DeviceRead;
    uint32_t device = 0;
    uint32_t size = 0;
};
struct DeviceReadReply {
    bool ok = false;
    ByteView data; // at most the request's size
};

struct DeviceCloseRequest {
    static constexpr Kind kind = Kind::DeviceClose;
    uint32_t device = 0;
};
struct DeviceCloseReply {};

struct BoardCallRequest {
    static constexpr Kind kind = Kind::BoardCall;
    BoardOrdinal ordinal{};
    uint32_t args[kBoardArgs] = {};
    bool hasClass = false; // false: a null class name
    std::u16string className;
    ByteView data;
    uint32_t readLength = 0;
};
struct BoardCallReply {
    uint32_t result = 0;
    uint32_t outs[kBoardOuts] = {};
    ByteView data;
};

struct ServiceControlRequest {
    static constexpr Kind kind = Kind::ServiceControl;
    std::string service;
    uint32_t code = 0;
};
struct ServiceControlReply {
    ServiceAnswer answer = ServiceAnswer::NotOpened; // as sent: other values are possible
};

void encode(Writer& out, const HelloRequest& m);
void encode(Writer& out, const HelloReply& m);
void encode(Writer& out, const DeviceOpenRequest& m);
void encode(Writer& out, const DeviceOpenReply& m);
void encode(Writer& out, const DeviceControlRequest& m);
void encode(Writer& out, const DeviceControlReply& m);
void encode(Writer& out, const DeviceReadRequest& m);
void encode(Writer& out, const DeviceReadReply& m);
void encode(Writer& out, const DeviceCloseRequest& m);
void encode(Writer& out, const DeviceCloseReply& m);
void encode(Writer& out, const BoardCallRequest& m);
void encode(Writer& out, const BoardCallReply& m);
void encode(Writer& out, const ServiceControlRequest& m);
void encode(Writer& out, const ServiceControlReply& m);

bool decode(Reader& in, HelloRequest& m);
bool decode(Reader& in, HelloReply& m);
bool decode(Reader& in, DeviceOpenRequest& m);
bool decode(Reader& in, DeviceOpenReply& m);
bool decode(Reader& in, DeviceControlRequest& m);
bool decode(Reader& in, DeviceControlReply& m);
bool decode(Reader& in, DeviceReadRequest& m);
bool decode(Reader& in, DeviceReadReply& m);
bool decode(Reader& in, DeviceCloseRequest& m);
bool decode(Reader& in, DeviceCloseReply& m);
bool decode(Reader& in, BoardCallRequest& m);
bool decode(Reader& in, BoardCallReply& m);
bool decode(Reader& in, ServiceControlRequest& m);
bool decode(Reader& in, ServiceControlReply& m);

// A whole payload of one message.
template <class Message>
std::vector<uint8_t> encoded(const Message& m) {
    Writer w;
    encode(w, m);
    return std::move(w.data());
}
template <class Message>
bool decode(const std::vector<uint8_t>& payload, Message& m) {
    Reader in(payload);
    return decode(in, m);
}

} // namespace tavik::platform::remote
