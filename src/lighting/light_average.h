// The light-sensor averaging filter: a rejection window that holds back samples while the light
// changes fast, and a moving average over a ring with a running sum (constant time per sample).
#pragma once

#include <cstdint>
#include <memory>

#include "tavik2/error_code.h"

namespace tavik::lighting {

// A ring of window + 1 entries: head is the next write, tail the oldest entry; head == tail is
// empty. Its heap block would be 16 + 4 x window bytes, which must fit in 32 bits.
class LuxRing {
public:
    explicit LuxRing(uint32_t window); // throws std::bad_alloc
    bool empty() const { return head_ == tail_; }
    // Every entry becomes `lux`; the ring then reads as full (head at the last entry).
    void fill(uint32_t lux);
    // Writes at head and moves head and tail on: the ring keeps its `window` newest entries.
    // Returns the entry that dropped out.
    uint32_t push(uint32_t lux);
    // Smallest and largest of the `window` newest entries.
    void spread(uint32_t& smallest, uint32_t& largest) const;

private:
    uint32_t head_ = 0;
    uint32_t tail_ = 0;
    uint32_t capacity_;
    std::unique_ptr<uint32_t[]> entries_;
};

class AverageFilter {
public:
    // Largest windows: the ring block must not wrap 32 bits, and the running sum of
    // averageWndSize samples of up to 65535 lux must fit in 32 bits.
    static constexpr uint32_t kMaxRingWindow = (UINT32_MAX - 16u) / 4u;
    static constexpr uint32_t kMaxAverageWindow = UINT32_MAX / 65535u;

    // ERR_INVALID_DATA for a zero or too large average window, a zero delta or a too large
    // rejection window; else ERR_SUCCESS.
    static ErrorCode checkSizes(uint32_t averageWndSize, uint32_t rejectWndSize, uint32_t rejectDeltaInLux);

    // New empty windows (the rejection window only when rejectWndSize > 1). Throws std::bad_alloc,
    // leaving the filter as it was.
    void reset(uint32_t averageWndSize, uint32_t rejectWndSize, uint32_t rejectDeltaInLux);

    enum class Outcome { Rejected, Averaged };
    // One accepted sample. The first sample fills both windows with its value.
    Outcome add(uint32_t lux);

    uint32_t average() const { return average_; }
    // Whether a sample has entered since the last reset.
    bool hasSample() const { return averageRing_ != nullptr && !averageRing_->empty(); }

private:
    std::unique_ptr<LuxRing> rejectRing_;
    std::unique_ptr<LuxRing> averageRing_;
    uint32_t averageWndSize_ = 0;
    uint32_t rejectDeltaInLux_ = 0;
    uint32_t sum_ = 0;
    uint32_t average_ = 0;
};

} // namespace tavik::lighting
