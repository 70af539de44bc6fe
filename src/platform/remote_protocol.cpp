// The request and reply payloads of remote_protocol.h, field by field as listed there.
#include "platform/remote_protocol.h"

namespace tavik::platform::remote {
namespace {

void putBytes(Writer& out, const ByteView& b) { out.bytes(b.data, b.size); }

void getBytes(Reader& in, ByteView& b) { b.data = in.bytes(b.size); }

} // namespace

void encode(Writer& out, const HelloRequest& m) {
    out.u32(m.pid).text(m.description);
    if (!m.token.empty()) out.text(m.token);
}
void encode(Writer& out, const HelloReply& m) { out.u32(m.pid).text(m.description); }

bool decode(Reader& in, HelloRequest& m) {
    m.pid = in.u32();
    m.description = in.text();
    m.token.clear();
    if (!in.complete()) m.token = in.text();
    return in.complete();
}
bool decode(Reader& in, HelloReply& m) {
    m.pid = in.u32();
    m.description = in.text();
    return in.complete();
}

void encode(Writer& out, const DeviceOpenRequest& m) { out.text(m.name); }
void encode(Writer& out, const DeviceOpenReply& m) { out.u32(m.opened ? 1 : 0).u32(m.device); }

bool decode(Reader& in, DeviceOpenRequest& m) {
    m.name = in.text();
    return in.complete();
}
bool decode(Reader& in, DeviceOpenReply& m) {
    m.opened = in.u32() != 0;
    m.device = in.u32();
    return in.complete();
}

void encode(Writer& out, const DeviceControlRequest& m) {
    out.u32(m.device).u32(m.code);
    putBytes(out, m.in);
    out.u32(m.outSize);
}
void encode(Writer& out, const DeviceControlReply& m) {
    out.u32(m.ok ? 1 : 0).u32(m.returned);
    putBytes(out, m.out);
}

bool decode(Reader& in, DeviceControlRequest& m) {
    m.device = in.u32();
    m.code = in.u32();
    getBytes(in, m.in);
    m.outSize = in.u32();
    return in.complete();
}
bool decode(Reader& in, DeviceControlReply& m) {
    m.ok = in.u32() != 0;
    m.returned = in.u32();
    getBytes(in, m.out);
    return in.complete();
}

void encode(Writer& out, const DeviceReadRequest& m) { out.u32(m.device).u32(m.size); }
void encode(Writer& out, const DeviceReadReply& m) {
    out.u32(m.ok ? 1 : 0);
    putBytes(out, m.data);
}

bool decode(Reader& in, DeviceReadRequest& m) {
    m.device = in.u32();
    m.size = in.u32();
    return in.complete();
}
bool decode(Reader& in, DeviceReadReply& m) {
    m.ok = in.u32() != 0;
    getBytes(in, m.data);
    return in.complete();
}

void encode(Writer& out, const DeviceCloseRequest& m) { out.u32(m.device); }
void encode(Writer&, const DeviceCloseReply&) {}

bool decode(Reader& in, DeviceCloseRequest& m) {
    m.device = in.u32();
    return in.complete();
}
bool decode(Reader& in, DeviceCloseReply&) { return in.complete(); }

void encode(Writer& out, const BoardCallRequest& m) {
    out.u32(static_cast<uint32_t>(m.ordinal));
    for (const uint32_t a : m.args) out.u32(a);
    out.wtext(m.hasClass ? m.className.c_str() : nullptr);
    putBytes(out, m.data);
    out.u32(m.readLength);
}
void encode(Writer& out, const BoardCallReply& m) {
    out.u32(m.result);
    for (const uint32_t o : m.outs) out.u32(o);
    putBytes(out, m.data);
}

bool decode(Reader& in, BoardCallRequest& m) {
    m.ordinal = static_cast<BoardOrdinal>(in.u32());
    for (uint32_t& a : m.args) a = in.u32();
    m.className = in.wtext(m.hasClass);
    getBytes(in, m.data);
    m.readLength = in.u32();
    return in.complete();
}
bool decode(Reader& in, BoardCallReply& m) {
    m.result = in.u32();
    for (uint32_t& o : m.outs) o = in.u32();
    getBytes(in, m.data);
    return in.complete();
}

void encode(Writer& out, const ServiceControlRequest& m) { out.text(m.service).u32(m.code); }
void encode(Writer& out, const ServiceControlReply& m) { out.u32(static_cast<uint32_t>(m.answer)); }

bool decode(Reader& in, ServiceControlRequest& m) {
    m.service = in.text();
    m.code = in.u32();
    return in.complete();
}
bool decode(Reader& in, ServiceControlReply& m) {
    m.answer = static_cast<ServiceAnswer>(in.u32());
    return in.complete();
}

} // namespace tavik::platform::remote
