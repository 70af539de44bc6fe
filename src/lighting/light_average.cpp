#include "lighting/light_average.h"

#include <new>

#include "lighting/trace.h"

namespace tavik::lighting {

LuxRing::LuxRing(uint32_t window) : capacity_(window + 1), entries_(new uint32_t[window + 1]()) {}

void LuxRing::fill(uint32_t lux) {
    for (uint32_t i = 0; i < capacity_; ++i) entries_[i] = lux;
    head_ = capacity_ - 1;
    tail_ = 0;
}

uint32_t LuxRing::push(uint32_t lux) {
    entries_[head_] = lux;
    const uint32_t dropped = entries_[tail_];
    head_ = (head_ + 1) % capacity_;
    tail_ = (tail_ + 1) % capacity_;
    return dropped;
}

void LuxRing::spread(uint32_t& smallest, uint32_t& largest) const {
    smallest = UINT32_MAX;
    largest = 0;
    for (uint32_t i = tail_; i != head_; i = (i + 1) % capacity_) {
        if (entries_[i] < smallest) smallest = entries_[i];
        if (entries_[i] > largest) largest = entries_[i];
    }
}

ErrorCode AverageFilter::checkSizes(uint32_t averageWndSize, uint32_t rejectWndSize, uint32_t rejectDeltaInLux) {
    if (averageWndSize == 0 || rejectDeltaInLux == 0) return ERR_INVALID_DATA;
    if (averageWndSize > kMaxAverageWindow || rejectWndSize > kMaxRingWindow) return ERR_INVALID_DATA;
    return ERR_SUCCESS;
}

void AverageFilter::reset(uint32_t averageWndSize, uint32_t rejectWndSize, uint32_t rejectDeltaInLux) {
    std::unique_ptr<LuxRing> reject = rejectWndSize > 1 ? std::make_unique<LuxRing>(rejectWndSize) : nullptr;
    auto average = std::make_unique<LuxRing>(averageWndSize);
    rejectRing_ = std::move(reject);
    averageRing_ = std::move(average);
    averageWndSize_ = averageWndSize;
    rejectDeltaInLux_ = rejectDeltaInLux;
    sum_ = 0;
    average_ = 0;
}

AverageFilter::Outcome AverageFilter::add(uint32_t lux) {
    if (averageRing_->empty()) {
        trace("First sample\n");
        if (rejectRing_) rejectRing_->fill(lux);
        averageRing_->fill(lux);
        average_ = lux;
        sum_ = averageWndSize_ * lux;
    }
    if (rejectRing_) {
        rejectRing_->push(lux);
        trace("pReject->brightnessInLux[%ld]\n", static_cast<long>(lux));
        uint32_t smallest = 0, largest = 0;
        rejectRing_->spread(smallest, largest);
        if (largest - smallest > rejectDeltaInLux_) {
            trace("Sample rejected\n");
            return Outcome::Rejected;
        }
    }
    // The ring keeps averageWndSize + 1 entries: the one dropped leaves the sum, the new one enters.
    sum_ -= averageRing_->push(lux);
    sum_ += lux;
    trace("pAverage->brightnessInLux[%ld]\n", static_cast<long>(lux));
    average_ = sum_ / averageWndSize_;
    trace("Brightness in Lux: %ld\n", static_cast<long>(average_));
    return Outcome::Averaged;
}

} // namespace tavik::lighting
