#include "frame/driver_channel.h"

#include <utility>

namespace tavik::frame {

DriverChannel::DriverChannel(OpenPolicy policy, std::string device)
    : policy_(policy), device_(std::move(device)) {}

DriverChannel::~DriverChannel() { close(); }

void DriverChannel::open() {
    if (open_) return;
    handle_ = platform::openDevice(device_);
    open_ = handle_.valid();
}

void DriverChannel::close() {
    if (open_) platform::closeDevice(handle_);
    handle_ = {};
    open_ = false;
}

ErrorCode DriverChannel::ensureOpen() {
    if (!open_ && policy_ == OpenPolicy::OnDemand) open();
    return open_ ? ERR_SUCCESS : ERR_OPEN_FAILED;
}

ErrorCode DriverChannel::send(uint32_t code, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize, uint32_t& returned) {
    returned = 0;
    if (const ErrorCode e = ensureOpen(); e != ERR_SUCCESS) return e;
    if (!platform::deviceControl(handle_, code, in, inSize, out, outSize, returned))
        return ERR_IOCTRL_FAILED;
    return ERR_SUCCESS;
}

ErrorCode DriverChannel::read(uint32_t code, void* out, uint32_t size) {
    return transfer(code, nullptr, 0, out, size, size);
}

ErrorCode DriverChannel::write(uint32_t code, const void* in, uint32_t size) {
    return transfer(code, in, size, nullptr, 0, size);
}

ErrorCode DriverChannel::transfer(uint32_t code, const void* in, uint32_t inSize, void* out,
                                  uint32_t outSize, uint32_t expected) {
    uint32_t returned = 0;
    if (const ErrorCode e = send(code, in, inSize, out, outSize, returned); e != ERR_SUCCESS)
        return e;
    return returned == expected ? ERR_SUCCESS : ERR_BUFFER_SIZE;
}

ErrorCode DriverChannel::requestUnchecked(uint32_t code, const void* in, uint32_t inSize, void* out,
                                          uint32_t outSize, uint32_t* returned) {
    uint32_t count = 0;
    const ErrorCode e = send(code, in, inSize, out, outSize, count);
    if (returned != nullptr) *returned = count;
    return e;
}

} // namespace tavik::frame
