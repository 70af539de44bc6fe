// The two microcontrollers' serial bootloaders as the simulated unit plays them: the system
// supervisor's and the front microcontroller's, each with its flash (blobs "bootloader.ss" and
// "bootloader.front"), reachable over the unit's serial line while the driver has put that
// microcontroller into its bootloader (requests 0x942, 0x943) and routed the line to it (0x944).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/unit.h"

namespace tavik::sim {

// Who answers on a line: whatever the driver has routed there (the unit's "COM1"), or one
// microcontroller's bootloader always (a line served to programs outside the library).
enum class LineTarget { Routed, SystemSupervisor, Front };

// The microcontrollers' end of one serial connection: takes the bytes the host sends and gives
// back what the bootloader answers. Each call is one transaction on the unit.
class BootloaderLine {
public:
    explicit BootloaderLine(LineTarget target) : target_(target) {}

    // The reply to `data` (possibly empty). `paced` tells whether the unit paces its line.
    std::vector<uint8_t> receive(const uint8_t* data, size_t size, bool& paced);

    // A fixed target's bootloader starts afresh, waiting for synchronisation.
    void restart();

private:
    void step(Txn& txn, const std::string& who, uint8_t byte, std::vector<uint8_t>& reply);
    // Acts on a complete phase; true when the command has ended (`note` says how).
    bool process(Txn& txn, const std::string& who, std::vector<uint8_t>& reply, std::string& note);
    void finish(Txn& txn, const std::string& who, const std::string& note);
    void expect(int phase, size_t bytes);

    LineTarget target_;
    std::string current_;          // the bootloader the parser state belongs to
    int phase_ = 0;                // what the pending bytes are (see bootloader_model.cpp)
    size_t need_ = 2;              // bytes the phase takes
    std::vector<uint8_t> pending_; // bytes of the phase received so far
    uint32_t address_ = 0;         // of the command under way
    uint8_t command_ = 0;
    bool refused_ = false;          // the command under way was refused or ignored
    std::vector<uint8_t> in_, out_; // the command's bytes, for the log
};

// A pseudo-terminal whose far end is served by a BootloaderLine in a thread of its own. The
// server keeps a handle on the terminal itself, so clients may open and close it at will.
// When the unit paces its line, each byte takes the time of 11 bits at 115200 baud (8E1).
class SerialLineServer {
public:
    // Throws UnitError when no pseudo-terminal can be had.
    explicit SerialLineServer(LineTarget target);
    ~SerialLineServer(); // stops serving and closes the terminal
    SerialLineServer(const SerialLineServer&) = delete;
    SerialLineServer& operator=(const SerialLineServer&) = delete;

    // The terminal to open (/dev/pts/N).
    const std::string& path() const { return path_; }

    // Bytes that crossed the line since the start, each way.
    uint64_t bytesReceived() const { return received_.load(); }
    uint64_t bytesSent() const { return sent_.load(); }
    // On a paced line: the time the bootloader's work and its waking took beyond the line time
    // of the bytes it answered (its own delay, not the line's), in seconds.
    double overrunSeconds() const { return overrunNs_.load() / 1e9; }
    // Whether bytes sent to the server wait for it, or it is working out its reply. A reader
    // waiting for the reply counts none of this as line time: on a loaded machine the
    // simulator's own work (a whole-flash erase in the unit's store, say) may outlast a
    // compressed time-out.
    bool working() const;

private:
    void serve();

    BootloaderLine line_;
    int master_ = -1;
    int slave_ = -1;
    int stop_[2] = {-1, -1};
    std::string path_;
    std::atomic<uint64_t> received_{0}, sent_{0}, overrunNs_{0};
    std::atomic<bool> working_{false};
    std::thread thread_;
};

// Line time of one byte on a paced line: 11 bits (start, 8 data, parity, stop) at 115200 baud.
constexpr double kPacedByteSeconds = 11.0 / 115200.0;

} // namespace tavik::sim
