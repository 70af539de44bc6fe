// The channel to the auxiliary driver: one device handle, owned by one object, and the common
// mapping of request outcomes to result codes.
#pragma once

#include <cstdint>
#include <string>

#include "frame/request_index.h"
#include "platform/device.h"
#include "tavik2/error_code.h"

namespace tavik::frame {

constexpr const char* kDriverDevice = "\\\\.\\TavikDrv";
constexpr const char* kDriverVideoDevice1 = "\\\\.\\TavikDrv\\Video1";
constexpr const char* kDriverVideoDevice2 = "\\\\.\\TavikDrv\\Video2";

class DriverChannel {
public:
    enum class OpenPolicy {
        AtConstruction, // opened once; a failed open fails every request for the object's life
        OnDemand,       // a closed channel is opened again by the next request
    };

    // Does not open: the owner calls open() in its constructor, as its family requires.
    explicit DriverChannel(OpenPolicy policy = OpenPolicy::AtConstruction,
                           std::string device = kDriverDevice);
    ~DriverChannel();
    DriverChannel(const DriverChannel&) = delete;
    DriverChannel& operator=(const DriverChannel&) = delete;

    // Opens the device; the open flag records whether a handle resulted. Nothing is reported.
    void open();
    void close();
    bool isOpen() const { return open_; }
    OpenPolicy policy() const { return policy_; }
    const std::string& device() const { return device_; }

    // ERR_SUCCESS when the channel is open (trying once more under the on-demand policy),
    // else ERR_OPEN_FAILED.
    ErrorCode ensureOpen();

    // Read request: no input, `size` bytes out, exactly `size` bytes expected back.
    ErrorCode read(uint32_t code, void* out, uint32_t size);
    // Write request: `size` bytes in, no output; the driver reports the bytes it consumed.
    ErrorCode write(uint32_t code, const void* in, uint32_t size);
    // Request with input and output; `expected` is the byte count that must come back.
    ErrorCode transfer(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t expected);
    // Request whose byte count is not checked; `returned` receives it when not null.
    ErrorCode requestUnchecked(uint32_t code, const void* in, uint32_t inSize, void* out,
                               uint32_t outSize, uint32_t* returned = nullptr);

private:
    ErrorCode send(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t& returned);

    OpenPolicy policy_;
    std::string device_;
    platform::DeviceHandle handle_;
    bool open_ = false;
};

} // namespace tavik::frame
