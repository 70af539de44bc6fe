// The firmware image readers: record handling, checksums, failures and their reports.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "firmware/image_readers.h"

namespace {

using tavik::firmware::FirmwareImage;
using tavik::firmware::MemorySource;

// One Intel HEX record with its checksum; `checksumDelta` spoils it.
std::string rec(uint16_t address, int type, const std::vector<uint8_t>& data, int checksumDelta = 0) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address), static_cast<uint8_t>(type)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
    bytes.push_back(static_cast<uint8_t>(-sum + checksumDelta));
    std::string s = ":";
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        s += hex;
    }
    return s + "\r\n";
}

std::vector<uint8_t> fill(size_t n, uint8_t first) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
    return v;
}

const std::string kEnd = rec(0, 0x01, {});
std::string linear(uint16_t value) { return rec(0, 0x04, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}); }
std::string segment(uint16_t value) { return rec(0, 0x02, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}); }

struct Read {
    ErrorCode result;
    std::vector<uint8_t> image;
    std::vector<std::pair<int, uint32_t>> reports;
};

Read readHex(const std::string& text) {
    Read r;
    MemorySource src(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    FirmwareImage image;
    r.result = tavik::firmware::readHexImage(src, text.size(), image,
                                             [&](ErrorCode e, uint32_t p) { r.reports.emplace_back(e, p); });
    r.image = image.data;
    return r;
}

Read readFpga(const std::string& text) {
    Read r;
    MemorySource src(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    r.result = tavik::firmware::readFpgaImage(src, text.size(), r.image,
                                              [&](ErrorCode e, uint32_t p) { r.reports.emplace_back(e, p); });
    return r;
}

// Images with their expected bytes (gaps are 0x00).
TEST(HexReader, PlacesRecordsBySegmentAndAddress) {
    std::vector<uint8_t> spanning(65536 + 4, 0x00);
    for (int i = 0; i < 4; ++i) spanning[i] = static_cast<uint8_t>(1 + i), spanning[65536 + i] = static_cast<uint8_t>(0x41 + i);
    std::vector<uint8_t> gapFirst(20, 0x00);
    for (int i = 0; i < 4; ++i) gapFirst[16 + i] = static_cast<uint8_t>(1 + i);

    const struct {
        const char* what;
        std::string text;
        std::vector<uint8_t> image;
    } cases[] = {
        {"STM32 segment, then the next one at 65536",
         linear(0x0800) + rec(0, 0, fill(4, 1)) + linear(0x0801) + rec(0, 0, fill(4, 0x41)) + kEnd, spanning},
        {"data at 0010 after the segment: 16 leading zeros", linear(0x0800) + rec(0x10, 0, fill(4, 1)) + kEnd, gapFirst},
        {"first segment 0, then segment 1 at 65536",
         linear(0) + rec(0, 0, fill(4, 1)) + linear(1) + rec(0, 0, fill(4, 0x41)) + kEnd, spanning},
        {"data before any extended address is segment 0",
         rec(0, 0, fill(4, 1)) + linear(1) + rec(0, 0, fill(4, 0x41)) + kEnd, spanning},
        {"type 02 honoured: base value * 16",
         rec(0, 0, fill(4, 1)) + segment(0x1000) + rec(0, 0, fill(4, 0x41)) + kEnd, spanning},
        {"start address and unknown types are ignored",
         linear(0x0800) + rec(0, 5, {8, 0, 0, 0}) + rec(0, 3, {1, 2, 3, 4}) + rec(0, 0, fill(4, 1)) + kEnd, fill(4, 1)},
        {"the end record ends reading", rec(0, 0, fill(4, 1)) + kEnd + "garbage", fill(4, 1)},
        {"lower-case digits", ":0400000001020304f2\n:00000001ff\n", fill(4, 1)},
    };
    for (const auto& c : cases) {
        const Read r = readHex(c.text);
        EXPECT_EQ(r.result, ERR_SUCCESS) << c.what;
        EXPECT_EQ(r.image, c.image) << c.what;
    }
}

TEST(HexReader, RefusesBrokenFiles) {
    const struct {
        const char* what;
        std::string text;
        ErrorCode result;
    } cases[] = {
        {"checksum off by one", rec(0, 0, fill(4, 1), 1) + kEnd, ERR_CHECKSUM},
        {"checksum not hex", ":0400000001020304ZZ\n" + kEnd, ERR_CHECKSUM},
        {"data going backwards", rec(0x10, 0, fill(4, 1)) + rec(0x08, 0, fill(4, 1)) + kEnd, ERR_INVALID_DATA},
        {"overlap after a type 02 record", rec(0, 0, fill(32, 1)) + segment(1) + rec(0, 0, fill(4, 1)) + kEnd, ERR_INVALID_DATA},
        {"extended address below the first", linear(0x0801) + rec(0, 0, fill(4, 1)) + linear(0x0800) + kEnd, ERR_INVALID_DATA},
        {"no end record", rec(0, 0, fill(4, 1)), ERR_INVALID_DATA},
        {"empty file", "", ERR_INVALID_DATA},
        {"character outside a record", rec(0, 0, fill(4, 1)) + " " + kEnd, ERR_INVALID_DATA},
        {"header digit not hex", ":04000G0001020304F2\n" + kEnd, ERR_INVALID_DATA},
        {"data digit not hex", ":04000000010203G4F2\n" + kEnd, ERR_INVALID_DATA},
        {"record cut short", ":0400000001", ERR_INVALID_DATA},
        {"image beyond 16 MiB", linear(0) + rec(0, 0, {1}) + linear(0x0100) + rec(0, 0, {1}) + kEnd, ERR_INVALID_DATA},
        {"segment base beyond 32 bits", linear(0) + rec(0, 0, {1}) + rec(0, 4, {1, 0, 0}) + kEnd, ERR_INVALID_DATA},
    };
    for (const auto& c : cases) {
        const Read r = readHex(c.text);
        EXPECT_EQ(r.result, c.result) << c.what;
        EXPECT_TRUE(r.image.empty()) << c.what;
        ASSERT_FALSE(r.reports.empty());
        EXPECT_EQ(r.reports.back(), std::make_pair(static_cast<int>(c.result), 0u)) << c.what;
    }
}

TEST(HexReader, ReportsTheShareOfTheFileConsumed) {
    const std::string text = rec(0, 0, fill(16, 0)) + rec(16, 0, fill(16, 0)) + rec(32, 0, fill(16, 0)) + kEnd;
    const Read r = readHex(text);
    ASSERT_EQ(r.result, ERR_SUCCESS);
    // After each record: its characters and those before it, the line break not yet read.
    const size_t line = rec(0, 0, fill(16, 0)).size();
    auto after = [&](size_t records) { return static_cast<uint32_t>((records * line - 2) * 100 / text.size()); };
    const std::vector<std::pair<int, uint32_t>> expected = {
        {0, 0}, {0, after(1)}, {0, after(2)}, {0, after(3)},
        {0, 0}, // the end record
    };
    EXPECT_EQ(r.reports, expected);
}

// An image made by objcopy reads back byte for byte, at flash addresses (type 04) and at 0 (type 02).
TEST(HexReader, ReadsObjcopyOutputExactly) {
    const auto dir = std::filesystem::temp_directory_path() / ("tavik_hex_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::vector<uint8_t> binary(150001);
    std::mt19937 random(7);
    for (uint8_t& b : binary) b = static_cast<uint8_t>(random());
    std::ofstream((dir / "image.bin").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(binary.data()), static_cast<std::streamsize>(binary.size()));

    for (const char* change : {"--change-addresses 0x08000000", ""}) {
        const std::string hex = (dir / "image.hex").string();
        const std::string command = std::string("objcopy -I binary -O ihex ") + change + " " +
                                    (dir / "image.bin").string() + " " + hex;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream in(hex, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const Read r = readHex(text.str());
        EXPECT_EQ(r.result, ERR_SUCCESS) << change;
        EXPECT_TRUE(r.image == binary) << change;
    }
    std::filesystem::remove_all(dir);
}

std::string fpgaLine(const std::vector<uint8_t>& data, uint16_t address = 0, int checksumDelta = 0) {
    std::string s = rec(address, 0, data, checksumDelta);
    return s.substr(0, s.size() - 2) + "\n";
}

TEST(FpgaReader, TakesSixteenByteRecordsInFileOrder) {
    const std::vector<uint8_t> a = fill(16, 0x10), b = fill(16, 0x80);
    // Addresses are not interpreted; an 8-byte record (27 characters and the break) is skipped.
    const std::string text = linear(0x0800) + fpgaLine(b, 0x0100) + fpgaLine(fill(8, 0xEE), 0x0010) +
                             fpgaLine(a, 0x0000) + kEnd;
    const Read r = readFpga(text);
    ASSERT_EQ(r.result, ERR_SUCCESS);
    std::vector<uint8_t> expected = b;
    expected.insert(expected.end(), a.begin(), a.end());
    EXPECT_EQ(r.image, expected);
    EXPECT_EQ(r.reports.front(), std::make_pair(0, 0u));
    EXPECT_EQ(r.reports.back(), std::make_pair(0, 100u));
}

TEST(FpgaReader, ReadsEachPairUpToItsFirstNonHexCharacter) {
    // "1 " reads as 0x1 and " 1" as 0: the checksum computed for those values makes it valid.
    std::string line = fpgaLine(fill(16, 0x20));
    line.replace(9, 2, "1 ");  // first data byte: 0x01
    line.replace(11, 2, " 1"); // second data byte: 0x00
    uint32_t sum = 0x10;
    std::vector<uint8_t> data = fill(16, 0x20);
    data[0] = 0x01;
    data[1] = 0x00;
    for (uint8_t d : data) sum += d;
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    line.replace(41, 2, checksum);
    const Read r = readFpga(line);
    EXPECT_EQ(r.result, ERR_SUCCESS);
    EXPECT_EQ(r.image, data);
}

TEST(FpgaReader, ChecksumFailureKeepsItsPercentage) {
    const std::string good = fpgaLine(fill(16, 0));
    const std::string text = good + fpgaLine(fill(16, 0), 0x10, 1) + good;
    const Read r = readFpga(text);
    EXPECT_EQ(r.result, ERR_CHECKSUM);
    EXPECT_TRUE(r.image.empty());
    const uint32_t percent = static_cast<uint32_t>((2 * (good.size() - 1)) * 100 / text.size());
    EXPECT_EQ(r.reports.back(), std::make_pair(static_cast<int>(ERR_CHECKSUM), percent));
    EXPECT_EQ(r.reports[r.reports.size() - 2], std::make_pair(0, percent));
}

} // namespace
