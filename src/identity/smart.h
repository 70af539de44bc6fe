// The storage-health family (Smart): remaining life time, serial number and first-use time of the
// storage device, from the current health record in the supervisor's word store.
#pragma once

#include <cstdint>

#include "frame/driver_channel.h"
#include "identity/aux_version.h"
#include "tavik2/smart.h"

namespace tavik::identity {

// Word 2 of the store selects the current record: low byte the record number, high byte 0xFF
// when the unit keeps no health record. Records are 172 bytes after a 6-byte header.
constexpr uint16_t kHealthSelectorWord = 2;
constexpr uint16_t kHealthRecordBytes = 172;
constexpr uint16_t kHealthHeaderBytes = 6;

// Words of a record (index = record base / 2 + k).
constexpr uint16_t kHealthInitialTimeLow = 0;
constexpr uint16_t kHealthInitialTimeHigh = 1;
constexpr uint16_t kHealthSerialFirst = 3; // 3..12: two characters each, low byte first
constexpr uint16_t kHealthSerialWords = 10;
constexpr uint16_t kHealthRemainingLife = 19;

// Byte offset of the record that selector word `selector` points to.
constexpr uint16_t healthRecordBase(uint16_t selector) {
    return static_cast<uint16_t>((selector & 0xFF) * kHealthRecordBytes + kHealthHeaderBytes);
}

// A fresh object per factory call; whether the record can be read is settled at construction.
class Smart_Imp final : public Varnholtstad::Smart {
public:
    Smart_Imp();
    Smart_Imp(const Smart_Imp&) = delete;
    Smart_Imp& operator=(const Smart_Imp&) = delete;

    ErrorCode getRemainingLifeTime(uint8_t* percent) override;
    ErrorCode getDeviceSerial(char* buffer, int32_t length) override;
    ErrorCode getInitialTime(int64_t* time) override;
    void release() override;

    ErrorCode state() const { return state_; }
    uint16_t recordBase() const { return recordBase_; }

private:
    ErrorCode readRecordWord(uint16_t k, uint16_t& value);

    frame::DriverChannel channel_;
    FirmwareVersionNumber ssVersion_ = 0;
    uint16_t recordBase_ = 0;
    ErrorCode state_ = ERR_SUCCESS;
};

} // namespace tavik::identity
