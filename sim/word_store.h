// The system supervisor's word store ("wordstore"): 750 16-bit words in its non-volatile memory,
// read and written by index through requests 0x22248C and 0x222488. They are the blob
// "wordstore.words" (little-endian), kept across power cycles. Words 0..2 are a header (layout
// version, record count, current record: low byte the record number, high byte 0xFF when no
// storage-health record is kept); then records of 86 words: first-use time (words 0 and 1, low
// word first, seconds since 1970), serial number (words 3..12, two characters each, low byte
// first), remaining life time in percent (low byte of word 19).
#pragma once

#include <cstdint>
#include <vector>

#include "sim/unit.h"

namespace tavik::sim {

constexpr const char* kWordStoreBlob = "wordstore.words";
constexpr uint16_t kWordStoreWords = 750;

// All 750 words, and one word changed (index below 750).
std::vector<uint16_t> readStoreWords(Txn& txn);
void writeStoreWord(Txn& txn, uint16_t index, uint16_t value);

} // namespace tavik::sim
