// Firmware image files (Intel HEX text) turned into one contiguous binary image, with every
// record's checksum checked. Two readers: the full one for the microcontrollers, which honours
// record types and extended addresses, and the line reader for the FPGA, which takes the data of
// 16-byte records in file order. Both publish progress as the percentage of the file consumed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tavik2/error_code.h"

namespace tavik::firmware {

// Where a reader gets the file's bytes from (the file, or memory for tests and fuzzing).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes into `buffer`; `got` is 0 at the end. False on a read error.
    virtual bool read(uint8_t* buffer, uint32_t size, uint32_t& got) = 0;
};

// Bytes of a memory range.
class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool read(uint8_t* buffer, uint32_t size, uint32_t& got) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Progress of a reader: a result code and a percentage, published under the read-file action.
using ReadProgress = std::function<void(ErrorCode result, uint32_t percent)>;

// The microcontroller reader's result. Image byte 0 is the start of the first 64-KiB segment
// (segment 0 when data comes before any extended address), whatever the file's addresses are.
struct FirmwareImage {
    std::vector<uint8_t> data;  // gaps filled with 0x00
    uint32_t readPosition = 0;  // bytes already handed to the programmer
    uint32_t firstSegment = 0;  // linear base address of the first segment
    bool segmentSeen = false;   // firstSegment is set (0 is a segment like any other)
    uint32_t size() const { return static_cast<uint32_t>(data.size()); }
};

// Images beyond these sizes are refused: no flash of the unit comes near them, and positions
// stay well inside 32 bits.
constexpr uint32_t kMaxHexImageBytes = 16u << 20;
constexpr uint32_t kMaxFpgaImageBytes = 256u << 20;

// Reads an Intel HEX file (record types 00, 01, 02, 04, 05; others ignored). Type 02 records
// are honoured: their base is value * 16 and the data after them is placed exactly at its
// address relative to the first segment (data that would overlap what was read is refused).
// ERR_SUCCESS, ERR_OPEN_FAILED, ERR_INVALID_DATA, ERR_CHECKSUM or ERR_INIT_FAILED; on failure
// `image` is left empty.
ErrorCode readHexImage(const std::string& path, FirmwareImage& image, const ReadProgress& progress);
// The same over a source of `fileSize` bytes (the size only scales the progress).
ErrorCode readHexImage(ByteSource& source, uint64_t fileSize, FirmwareImage& image,
                       const ReadProgress& progress);

// Reads an FPGA image file: lines longer than 40 characters give 16 data bytes each, in file
// order; shorter lines (address and end records) are skipped. ERR_SUCCESS, ERR_OPEN_FAILED,
// ERR_CHECKSUM or ERR_INIT_FAILED; on failure `image` is left empty.
ErrorCode readFpgaImage(const std::string& path, std::vector<uint8_t>& image, const ReadProgress& progress);
ErrorCode readFpgaImage(ByteSource& source, uint64_t fileSize, std::vector<uint8_t>& image,
                        const ReadProgress& progress);

// Percentage of `done` in `total`, 0..100 (0 for an empty total).
uint32_t percentOf(uint64_t done, uint64_t total);

} // namespace tavik::firmware
