// Raw frames to bitmaps: byte-exact layouts, the header checks, and a full frame read back by an
// independent decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "fuzz/create_bitmap_check.h"
#include "support/sim_fixture.h"
#include "tavik2/video.h"

namespace {

// A raw frame whose every pixel tells where it came from: blue = block (1 or 2), green = line,
// red = x, unused byte 0xEE.
std::vector<uint8_t> rawFrame(uint32_t width, uint32_t firstLines, uint32_t secondLines, bool withSecond = true) {
    const size_t blocks = static_cast<size_t>(firstLines) + (withSecond ? secondLines : 0);
    std::vector<uint8_t> raw(256 + 4 * static_cast<size_t>(width) * blocks, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) raw[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(4, width);
    put32(8, secondLines);
    put32(12, firstLines);
    uint8_t* p = raw.data() + 256;
    for (uint32_t block = 1; block <= (withSecond ? 2u : 1u); ++block)
        for (uint32_t line = 0; line < (block == 1 ? firstLines : secondLines); ++line)
            for (uint32_t x = 0; x < width; ++x, p += 4) {
                p[0] = static_cast<uint8_t>(block);
                p[1] = static_cast<uint8_t>(line);
                p[2] = static_cast<uint8_t>(x);
                p[3] = 0xEE;
            }
    return raw;
}

struct Row {
    int block;
    int line;
};

// The expected bitmap: header, then the rows named bottom first, each padded with zeros.
std::vector<uint8_t> expectedBitmap(uint32_t width, const std::vector<Row>& rows) {
    const uint32_t stride = (3 * width + 3) / 4 * 4;
    const uint32_t size = 26 + static_cast<uint32_t>(rows.size()) * stride;
    std::vector<uint8_t> bmp = {'B', 'M', uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24),
                                0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, uint8_t(width), uint8_t(width >> 8),
                                uint8_t(rows.size()), uint8_t(rows.size() >> 8), 1, 0, 24, 0};
    for (const Row& r : rows) {
        for (uint32_t x = 0; x < width; ++x) {
            bmp.push_back(static_cast<uint8_t>(r.block));
            bmp.push_back(static_cast<uint8_t>(r.line));
            bmp.push_back(static_cast<uint8_t>(x));
        }
        bmp.resize(bmp.size() + stride - 3 * width, 0);
    }
    return bmp;
}

class VideoBitmapTest : public tavik::test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        video_ = GetVideo();
        ASSERT_NE(video_, nullptr);
    }
    void TearDown() override {
        Video_release(video_);
        SimTest::TearDown();
    }

    // createBitmap through the exported function; the bitmap as bytes, freed again.
    ErrorCode convert(const std::vector<uint8_t>& raw, bool single, bool order, std::vector<uint8_t>& bmp,
                      uint32_t rawSize = UINT32_MAX) {
        uint8_t* buffer = nullptr;
        uint32_t size = 0;
        const ErrorCode e = Video_createBitmap(video_, &buffer, &size, raw.data(),
                                               rawSize == UINT32_MAX ? static_cast<uint32_t>(raw.size()) : rawSize,
                                               single, order);
        if (e == ERR_SUCCESS) {
            bmp.assign(buffer, buffer + size);
            EXPECT_EQ(Video_freeBmpBuffer(video_, buffer), ERR_SUCCESS);
        } else {
            EXPECT_EQ(buffer, nullptr);
        }
        return e;
    }

    Varnholtstad::Video* video_ = nullptr;
};

TEST_F(VideoBitmapTest, LayoutsAreByteExact) {
    struct Case {
        const char* what;
        uint32_t width, first, second;
        bool single, order;
        std::vector<Row> rows; // bottom row first
    };
    const Case cases[] = {
        {"W=4, second block even lines when the flag is clear", 4, 2, 2, false, false, {{2, 1}, {1, 1}, {2, 0}, {1, 0}}},
        {"W=4, first block odd lines when the flag is set", 4, 2, 2, false, true, {{1, 1}, {2, 1}, {1, 0}, {2, 0}}},
        {"W=5 pads each row to 16 bytes", 5, 1, 1, false, false, {{2, 0}, {1, 0}}},
        {"even field one line longer", 3, 3, 2, false, false, {{1, 2}, {2, 1}, {1, 1}, {2, 0}, {1, 0}}},
        {"single field: every line twice", 2, 2, 7, true, false, {{1, 1}, {1, 1}, {1, 0}, {1, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bmp;
        ASSERT_EQ(convert(rawFrame(c.width, c.first, c.second, !c.single), c.single, c.order, bmp), ERR_SUCCESS);
        EXPECT_EQ(bmp, expectedBitmap(c.width, c.rows));
    }
    std::vector<uint8_t> bmp;
    ASSERT_EQ(convert(rawFrame(4, 2, 2), false, false, bmp), ERR_SUCCESS);
    EXPECT_EQ(bmp.size(), 74u);
}

TEST_F(VideoBitmapTest, SingleField288LinesNeedsOnlyOneBlock) {
    const std::vector<uint8_t> raw = rawFrame(3, 288, 288, false); // exactly 256 + 4 * 3 * 288 bytes
    std::vector<uint8_t> bmp;
    ASSERT_EQ(convert(raw, true, false, bmp), ERR_SUCCESS);
    std::vector<Row> rows;
    for (int n = 287; n >= 0; --n) rows.insert(rows.end(), {{1, n}, {1, n}});
    EXPECT_EQ(bmp, expectedBitmap(3, rows));
    EXPECT_EQ(bmp[20] | bmp[21] << 8, 576);
    // The same frame needs both blocks without the single-field flag.
    EXPECT_EQ(convert(raw, false, false, bmp), ERR_BUFFER_SIZE);
}

TEST_F(VideoBitmapTest, HeaderValuesAreChecked) {
    std::vector<uint8_t> bmp;
    const std::vector<uint8_t> good = rawFrame(4, 2, 2);
    EXPECT_EQ(convert(good, false, false, bmp, 255), ERR_BUFFER_SIZE);
    EXPECT_EQ(convert(good, false, false, bmp, static_cast<uint32_t>(good.size() - 1)), ERR_BUFFER_SIZE);
    EXPECT_EQ(convert(rawFrame(3, 3, 2), false, true, bmp), ERR_INVALID_DATA); // even field shorter
    EXPECT_EQ(convert(rawFrame(3, 4, 2), false, false, bmp), ERR_INVALID_DATA); // two lines apart

    // Sizes that do not fit 32 bits are refused, never wrapped: 4 x W wraps to 4 here.
    std::vector<uint8_t> header = rawFrame(0, 0, 0);
    header.resize(300, 0);
    auto set = [&](uint32_t width, uint32_t first, uint32_t second) {
        for (int i = 0; i < 4; ++i) {
            header[4 + i] = static_cast<uint8_t>(width >> (8 * i));
            header[8 + i] = static_cast<uint8_t>(second >> (8 * i));
            header[12 + i] = static_cast<uint8_t>(first >> (8 * i));
        }
    };
    set(0x40000001u, 1, 1);
    EXPECT_EQ(convert(header, false, false, bmp), ERR_INVALID_DATA);
    set(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_EQ(convert(header, false, false, bmp), ERR_INVALID_DATA);
    // Single field at 65535 x 11000: the raw data fits 32 bits, the doubled bitmap does not.
    // Only the header is read before the refusal.
    set(65535, 11000, 0);
    EXPECT_EQ(convert(header, true, false, bmp, UINT32_MAX - 1), ERR_INVALID_DATA);
    // The core header holds 16-bit sizes: 32768 + 32768 lines cannot be described.
    std::vector<uint8_t> tall = rawFrame(1, 32768, 32768);
    EXPECT_EQ(convert(tall, false, false, bmp), ERR_INVALID_DATA);
    EXPECT_EQ(convert(rawFrame(1, 32768, 32767), false, false, bmp), ERR_SUCCESS);
}

TEST_F(VideoBitmapTest, NullPointersAndFreeing) {
    const std::vector<uint8_t> raw = rawFrame(4, 2, 2);
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(Video_createBitmap(video_, nullptr, &size, raw.data(), 300, false, false), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Video_createBitmap(video_, &buffer, nullptr, raw.data(), 300, false, false), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Video_createBitmap(video_, &buffer, &size, nullptr, 300, false, false), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Video_freeBmpBuffer(video_, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Video_createBitmap(nullptr, &buffer, &size, raw.data(), 300, false, false), ERR_INVALID_PARAMETER);
}

// Where a decoder is installed: the RGB bytes of a bitmap file, top row first, via python3-pil or
// ImageMagick. False when neither can be run.
bool decodeIndependently(const std::string& bmpPath, const std::string& rgbPath) {
    // The system's python first: that is where Debian's python3-pil goes.
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        const std::string pil = std::string(python) +
                                " -c \"import sys; from PIL import Image; "
                                "open(sys.argv[2], 'wb').write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" +
                                bmpPath + "' '" + rgbPath + "' 2>/dev/null";
        if (std::system(pil.c_str()) == 0) return true;
    }
    const std::string magick = "convert '" + bmpPath + "' -depth 8 'rgb:" + rgbPath + "' 2>/dev/null";
    return std::system(magick.c_str()) == 0 && std::filesystem::exists(rgbPath);
}

TEST_F(VideoBitmapTest, FullFrameReadsBackInAnIndependentDecoder) {
    // 720 x 576, interlaced: pixel colour from the image line and column.
    const uint32_t w = 720, fieldLines = 288;
    std::vector<uint8_t> raw(256 + 4 * w * fieldLines * 2, 0);
    for (int i = 0; i < 4; ++i) {
        raw[4 + i] = static_cast<uint8_t>(w >> (8 * i));
        raw[8 + i] = raw[12 + i] = static_cast<uint8_t>(fieldLines >> (8 * i));
    }
    auto colour = [](uint32_t y, uint32_t x) {
        return std::array<uint8_t, 3>{uint8_t(x * 7 + y), uint8_t(y * 3), uint8_t(x ^ y)}; // blue, green, red
    };
    for (uint32_t block = 0; block < 2; ++block)
        for (uint32_t n = 0; n < fieldLines; ++n)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t y = 2 * n + (block == 0 ? 1 : 0); // flag set: the first block is the odd field
                uint8_t* p = raw.data() + 256 + 4 * (static_cast<size_t>(block) * fieldLines * w + n * w + x);
                const auto c = colour(y, x);
                p[0] = c[0], p[1] = c[1], p[2] = c[2], p[3] = 0x55;
            }
    std::vector<uint8_t> bmp;
    ASSERT_EQ(convert(raw, false, true, bmp), ERR_SUCCESS);
    const std::string bmpPath = home() + "/frame.bmp", rgbPath = home() + "/frame.rgb";
    std::ofstream(bmpPath, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), bmp.size());
    if (!decodeIndependently(bmpPath, rgbPath)) GTEST_SKIP() << "no bitmap decoder (python3-pil or ImageMagick)";
    std::ifstream in(rgbPath, std::ios::binary);
    const std::vector<uint8_t> rgb((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(rgb.size(), static_cast<size_t>(w) * 576 * 3);
    size_t wrong = 0;
    for (uint32_t y = 0; y < 576; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const auto c = colour(y, x);
            const uint8_t* p = rgb.data() + 3 * (static_cast<size_t>(y) * w + x);
            if (p[0] != c[2] || p[1] != c[1] || p[2] != c[0]) ++wrong;
        }
    EXPECT_EQ(wrong, 0u);
}

// The conversion as first written, row by row and four pixels at a time: the faster packers must
// give exactly its bytes.
std::vector<uint8_t> referenceBitmap(const tavik::video::BitmapPlan& plan) {
    std::vector<uint8_t> out(plan.size);
    const uint8_t header[26] = {'B', 'M', uint8_t(plan.size), uint8_t(plan.size >> 8), uint8_t(plan.size >> 16),
                                uint8_t(plan.size >> 24), 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0,
                                uint8_t(plan.width), uint8_t(plan.width >> 8), uint8_t(plan.height),
                                uint8_t(plan.height >> 8), 1, 0, 24, 0};
    std::memcpy(out.data(), header, sizeof header);
    auto load32 = [](const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    };
    auto store32 = [](uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); };
    uint8_t* row = out.data() + 26;
    auto put = [&](const uint8_t* block, uint32_t line) {
        const uint8_t* src = block + static_cast<size_t>(line) * plan.width * 4;
        uint8_t* dst = row;
        uint32_t x = 0;
        for (; x + 4 <= plan.width; x += 4, src += 16, dst += 12) {
            const uint32_t p0 = load32(src), p1 = load32(src + 4), p2 = load32(src + 8), p3 = load32(src + 12);
            store32(dst, (p0 & 0xFFFFFFu) | p1 << 24);
            store32(dst + 4, (p1 >> 8 & 0xFFFFu) | p2 << 16);
            store32(dst + 8, (p2 >> 16 & 0xFFu) | p3 << 8);
        }
        for (; x < plan.width; ++x, src += 4, dst += 3) std::memcpy(dst, src, 3);
        std::memset(dst, 0, plan.stride - 3 * plan.width);
        row += plan.stride;
    };
    if (plan.evenLines == plan.oddLines + 1) put(plan.even, plan.evenLines - 1);
    for (uint32_t n = plan.height / 2; n-- > 0;) {
        put(plan.odd, n);
        put(plan.even, n);
    }
    return out;
}

TEST_F(VideoBitmapTest, EveryPackerGivesTheReferenceBytes) {
    using tavik::video::RowPacker;
    std::vector<RowPacker> packers = {RowPacker::Portable};
    if (tavik::video::rowPackerAvailable(RowPacker::Ssse3))
        packers.push_back(RowPacker::Ssse3);
    else
        std::printf("this CPU has no SSSE3: only the portable packer is compared\n");

    std::mt19937 random(24);
    struct Shape {
        uint32_t width, first, second;
    };
    std::vector<Shape> shapes = {{720, 288, 288}, {721, 3, 2}, {1, 1, 1}, {0, 2, 2}};
    // Widths around the packers' steps of 4, 8 and 16 pixels, with both line orders.
    for (uint32_t width = 1; width <= 50; ++width) shapes.push_back({width, 1 + width % 3, 1 + width % 3 - width % 2});
    for (int i = 0; i < 20; ++i)
        shapes.push_back({static_cast<uint32_t>(1 + random() % 200), static_cast<uint32_t>(1 + random() % 9), 0});
    for (Shape& shape : shapes) {
        if (shape.second == 0) shape.second = shape.first - random() % 2u; // even field longer by one, or not
        for (int flags = 0; flags < 4; ++flags) {
            const bool single = (flags & 1) != 0, order = (flags & 2) != 0;
            SCOPED_TRACE(testing::Message() << shape.width << " x " << shape.first << "+" << shape.second
                                            << (single ? " single" : "") << (order ? " flag" : ""));
            std::vector<uint8_t> raw = rawFrame(shape.width, shape.first, shape.second, !single);
            for (size_t i = 256; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(random());
            tavik::video::BitmapPlan plan;
            const ErrorCode planned = tavik::video::planBitmap(raw.data(), static_cast<uint32_t>(raw.size()), single,
                                                               order, plan);
            if (planned == ERR_INVALID_DATA) continue; // field lengths that only one order accepts
            ASSERT_EQ(planned, ERR_SUCCESS);
            const std::vector<uint8_t> expected = referenceBitmap(plan);
            for (const RowPacker packer : packers) {
                // Guard bytes after the bitmap show a packer writing past its end.
                std::vector<uint8_t> out(plan.size + 64, 0xA5);
                tavik::video::writeBitmap(plan, out.data(), packer);
                EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << int(packer);
                EXPECT_EQ(std::count(out.begin() + plan.size, out.end(), 0xA5), 64) << int(packer);
            }
            std::vector<uint8_t> bmp;
            ASSERT_EQ(convert(raw, single, order, bmp), ERR_SUCCESS);
            EXPECT_EQ(bmp, expected);
        }
    }
}

TEST(VideoBitmapCorpus, FuzzCorpusReplays) {
    const std::filesystem::path dir = std::filesystem::path(TAVIK_SOURCE_DIR) / "tests/fuzz/corpus/create_bitmap";
    size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_TRUE(tavik::fuzz::checkCreateBitmap(data.data(), data.size()));
        ++replayed;
    }
    EXPECT_GT(replayed, 5u);
}

} // namespace
