#include "firmware/image_readers.h"

#include <algorithm>
#include <cstring>
#include <new>


namespace tavik::firmware {
namespace {

constexpr uint32_t kBufferBytes = 64 * 1024;

// Bytes of a file read through a buffer: one read call per 64 KiB, not per character.
class Input {
public:
    static constexpr int kEnd = -1;
    static constexpr int kError = -2;

    explicit Input(ByteSource& source) : source_(source), buffer_(new uint8_t[kBufferBytes]) {}
    ~Input() { delete[] buffer_; }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // The next byte (0..255), kEnd or kError; the end and an error stay.
    int get() { return position_ < length_ ? buffer_[position_++] : refill(); }

private:
    int refill() {
        if (state_ != 0) return state_;
        uint32_t got = 0;
        if (!source_.read(buffer_, kBufferBytes, got)) return state_ = kError;
        if (got == 0) return state_ = kEnd;
        length_ = std::min(got, kBufferBytes);
        position_ = 1;
        return buffer_[0];
    }

    ByteSource& source_;
    uint8_t* buffer_;
    uint32_t position_ = 0;
    uint32_t length_ = 0;
    int state_ = 0;
};

int hexDigit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Strict pair of hex digits: 0..255, kNotHex, or kEndOfFile when the file ends (or fails) first.
constexpr int kNotHex = -1;
constexpr int kEndOfFile = -2;

int strictPair(Input& in, uint64_t& consumed) {
    consumed += 2;
    const int a = in.get();
    if (a < 0) return kEndOfFile;
    const int b = in.get();
    if (b < 0) return kEndOfFile;
    const int high = hexDigit(a), low = hexDigit(b);
    if (high < 0 || low < 0) return kNotHex;
    return high * 16 + low;
}

// Linear base addresses beyond this are not representable and are refused.
constexpr uint64_t kMaxSegmentValue = uint64_t(1) << 40;

// Places the image at a new segment base. `exact` (type 02): later data goes exactly at its
// address, so data that would overlap what was read counts as going backwards; otherwise (type
// 04) data continues at the end of the image when it is longer than the segment's offset.
ErrorCode enterSegment(FirmwareImage& image, uint64_t base, bool exact, uint64_t& nextAddress) {
    if (!image.segmentSeen) {
        if (base > UINT32_MAX) return ERR_INVALID_DATA;
        image.segmentSeen = true;
        image.firstSegment = static_cast<uint32_t>(base);
    } else if (base < image.firstSegment) {
        return ERR_INVALID_DATA;
    }
    const uint64_t offset = base - image.firstSegment;
    if (offset > kMaxHexImageBytes) return ERR_INVALID_DATA;
    if (offset > image.data.size()) image.data.resize(static_cast<size_t>(offset), 0x00);
    if (exact) nextAddress = image.data.size() - offset;
    return ERR_SUCCESS;
}

ErrorCode parseHex(Input& in, uint64_t fileSize, FirmwareImage& image, const ReadProgress& progress) {
    uint64_t consumed = 0;
    uint64_t nextAddress = 0;
    for (;;) {
        const int c = in.get();
        ++consumed;
        if (c == '\r' || c == '\n') continue;
        if (c != ':') return ERR_INVALID_DATA; // also the end of the file or a read error

        int header[4];
        for (int& h : header)
            if ((h = strictPair(in, consumed)) < 0) return ERR_INVALID_DATA;
        const uint32_t count = static_cast<uint32_t>(header[0]);
        const uint32_t address = static_cast<uint32_t>(header[1] << 8 | header[2]);
        const int type = header[3];
        uint32_t sum = count + static_cast<uint32_t>(header[1] + header[2]) + static_cast<uint32_t>(type);

        uint8_t* data = nullptr;
        uint64_t value = 0;
        if (type == 0x00) {
            if (!image.segmentSeen) { // data before any extended address: segment 0
                image.segmentSeen = true;
                image.firstSegment = 0;
            }
            if (address < nextAddress) return ERR_INVALID_DATA;
            const uint64_t gap = address - nextAddress;
            if (image.data.size() + gap + count > kMaxHexImageBytes) return ERR_INVALID_DATA;
            image.data.resize(image.data.size() + static_cast<size_t>(gap), 0x00);
            const size_t at = image.data.size();
            image.data.resize(at + count);
            data = image.data.data() + at;
            nextAddress = address + count;
        } else if (type == 0x04) {
            nextAddress = address;
        }

        for (uint32_t i = 0; i < count; ++i) {
            const int b = strictPair(in, consumed);
            if (b < 0) return ERR_INVALID_DATA;
            sum += static_cast<uint32_t>(b);
            if (data != nullptr)
                data[i] = static_cast<uint8_t>(b);
            else if ((type == 0x02 || type == 0x04) && value < kMaxSegmentValue)
                value = value * 256 + static_cast<uint32_t>(b);
        }

        const int checksum = strictPair(in, consumed);
        if (checksum == kEndOfFile) return ERR_INVALID_DATA;
        if (checksum == kNotHex || ((sum + static_cast<uint32_t>(checksum)) & 0xFF) != 0) return ERR_CHECKSUM;

        if (type == 0x01) return ERR_SUCCESS; // the rest of the file is not read
        if (type == 0x04 || type == 0x02) {
            const uint64_t base = type == 0x04 ? value << 16 : value << 4;
            if (const ErrorCode e = enterSegment(image, base, type == 0x02, nextAddress); e != ERR_SUCCESS)
                return e;
        }
        progress(ERR_SUCCESS, percentOf(consumed, fileSize));
    }
}

ErrorCode finishHex(ErrorCode e, FirmwareImage& image, const ReadProgress& progress) {
    if (e != ERR_SUCCESS) {
        image = FirmwareImage{}; // no image is kept after a failure
        progress(e, 0);
    } else {
        progress(ERR_SUCCESS, 0);
    }
    return e;
}

ErrorCode readHex(ByteSource& source, uint64_t fileSize, FirmwareImage& image, const ReadProgress& progress) {
    image = FirmwareImage{};
    ErrorCode e;
    try {
        Input in(source);
        e = parseHex(in, fileSize, image, progress);
    } catch (const std::bad_alloc&) {
        e = ERR_INIT_FAILED;
    }
    return finishHex(e, image, progress);
}

// A pair of the FPGA line reader: a hex number ending at the first non-hex character; no digit
// reads 0. Characters past the line's end count as non-hex.
uint32_t lenientPair(const uint8_t* line, size_t length, size_t position) {
    uint32_t value = 0;
    for (size_t k = position; k < position + 2 && k < length; ++k) {
        const int d = hexDigit(line[k]);
        if (d < 0) break;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return value;
}

constexpr size_t kMaxLineChars = 254;
constexpr size_t kShortLineChars = 40;   // lines of at most this many characters are skipped
constexpr size_t kFpgaRecordBytes = 16;  // data bytes of every FPGA image record

ErrorCode parseFpga(Input& in, uint64_t fileSize, std::vector<uint8_t>& image, const ReadProgress& progress) {
    uint64_t consumed = 0;
    uint8_t line[kMaxLineChars];
    for (;;) {
        size_t length = 0;
        while (length < kMaxLineChars) {
            const int c = in.get();
            if (c == Input::kError) return ERR_OPEN_FAILED;
            if (c == Input::kEnd) break;
            line[length++] = static_cast<uint8_t>(c);
            if (c == '\n') break;
        }
        if (length == 0) break; // end of the file
        consumed += length - 1;
        if (length <= kShortLineChars) continue;

        uint32_t sum = 0;
        if (image.size() + kFpgaRecordBytes > kMaxFpgaImageBytes) return ERR_INIT_FAILED;
        for (size_t i = 0; i < 20; ++i) {
            const uint32_t b = lenientPair(line, length, 1 + 2 * i);
            sum += b;
            if (i >= 4) image.push_back(static_cast<uint8_t>(b));
        }
        const uint32_t checksum = lenientPair(line, length, 41);
        const uint32_t percent = percentOf(consumed, fileSize);
        progress(ERR_SUCCESS, percent);
        if (((sum + checksum) & 0xFF) != 0) {
            progress(ERR_CHECKSUM, percent);
            return ERR_CHECKSUM;
        }
    }
    progress(ERR_SUCCESS, 100);
    return ERR_SUCCESS;
}

ErrorCode readFpga(ByteSource& source, uint64_t fileSize, std::vector<uint8_t>& image, const ReadProgress& progress) {
    image.clear();
    ErrorCode e;
    try {
        Input in(source);
        e = parseFpga(in, fileSize, image, progress);
    } catch (const std::bad_alloc&) {
        e = ERR_INIT_FAILED;
    }
    if (e != ERR_SUCCESS) {
        std::vector<uint8_t>().swap(image);
        if (e != ERR_CHECKSUM) progress(e, 0); // a checksum failure was reported with its percentage
    }
    return e;
}

} // namespace

bool MemorySource::read(uint8_t* buffer, uint32_t size, uint32_t& got) {
    const size_t n = std::min<size_t>(size, size_ - position_);
    if (n > 0) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    got = static_cast<uint32_t>(n);
    return true;
}

uint32_t percentOf(uint64_t done, uint64_t total) {
    if (total == 0) return 0;
    // done * 100 cannot overflow for any size a file system reports below 2^57 bytes.
    const uint64_t p = (done >= total) ? 100 : done * 100 / total;
    return static_cast<uint32_t>(p);
}

ErrorCode readHexImage(ByteSource& source, uint64_t fileSize, FirmwareImage& image, const ReadProgress& progress) {
    progress(ERR_SUCCESS, 0);
    return readHex(source, fileSize, image, progress);
}

ErrorCode readFpgaImage(ByteSource& source, uint64_t fileSize, std::vector<uint8_t>& image,
                        const ReadProgress& progress) {
    progress(ERR_SUCCESS, 0);
    return readFpga(source, fileSize, image, progress);
}

} // namespace tavik::firmware
