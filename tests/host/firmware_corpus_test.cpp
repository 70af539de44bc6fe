// The image readers' fuzzing corpus (tests/fuzz/corpus), every past crasher among it, replayed:
// each input reads without a fault and leaves no image behind a failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "firmware/image_readers.h"

namespace {

namespace fs = std::filesystem;
using namespace tavik::firmware;

std::vector<std::pair<std::string, std::vector<uint8_t>>> corpus(const char* reader) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs;
    for (const auto& entry : fs::directory_iterator(fs::path(TAVIK_SOURCE_DIR) / "tests/fuzz/corpus" / reader)) {
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(entry.path().filename().string(),
                            std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    }
    return inputs;
}

TEST(FirmwareCorpus, HexReaderInputs) {
    const auto inputs = corpus("hex");
    ASSERT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        MemorySource source(bytes.data(), bytes.size());
        FirmwareImage image;
        uint32_t highest = 0;
        const ErrorCode e = readHexImage(source, bytes.size(), image, [&](ErrorCode, uint32_t p) { highest = std::max(highest, p); });
        EXPECT_LE(highest, 100u) << name;
        EXPECT_TRUE(e == ERR_SUCCESS || image.data.empty()) << name;
        EXPECT_LE(image.data.size(), kMaxHexImageBytes) << name;
    }
}

TEST(FirmwareCorpus, FpgaReaderInputs) {
    const auto inputs = corpus("fpga");
    ASSERT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        MemorySource source(bytes.data(), bytes.size());
        std::vector<uint8_t> image;
        uint32_t highest = 0;
        const ErrorCode e = readFpgaImage(source, bytes.size(), image, [&](ErrorCode, uint32_t p) { highest = std::max(highest, p); });
        EXPECT_LE(highest, 100u) << name;
        EXPECT_TRUE(e == ERR_SUCCESS || image.empty()) << name;
        EXPECT_EQ(image.size() % 16, 0u) << name;
    }
}

} // namespace
