// Identity EEPROM images against the simulated board: what a load reads, what a lookup finds and
// exactly which bytes an update writes.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "board_test_support.h"
#include "identity/eeprom_image.h"

namespace {

using tavik::identity::EepromImage;
using tavik::identity::kMainEeprom;
using tavik::identity::kAddOnEeprom;
using tavik::test::memoryAddress;
using tavik::test::wentTo;

const std::string kTwoRecords = "PCB_SERIAL:12345\r\nUNIT_SERIAL:678\r\n";

class EepromImageTest : public tavik::test::BoardTest {
protected:
    // A fresh image of the main board's EEPROM with the given contents, the log cleared after.
    std::unique_ptr<EepromImage> load(const std::string& content, tavik::identity::EepromId id = kMainEeprom) {
        setEeprom(id == kMainEeprom ? "main" : "addon", content);
        auto image = std::make_unique<EepromImage>(id);
        image->reload();
        return image;
    }
    std::string get(const EepromImage& image, const char* key) {
        char out[255];
        std::memset(out, 'z', sizeof out);
        return image.getProperty(key, out) ? std::string(out) : "<none>";
    }
    std::string deviceText(const std::string& which = "main") {
        const std::vector<uint8_t> bytes = eeprom(which);
        std::string text;
        for (uint8_t b : bytes) {
            if (b == 0xFF) break;
            text.push_back(static_cast<char>(b));
        }
        return text;
    }
    static std::string records(int count, const std::string& prefix = "K") {
        std::string text;
        for (int i = 0; i < count; ++i) text += prefix + std::to_string(i) + ":v" + std::to_string(i) + "\r\n";
        return text;
    }
};

// ---- lookup ---------------------------------------------------------------------------------

TEST_F(EepromImageTest, KeysMatchOnlyAtTheStartOfALine) {
    auto image = load(kTwoRecords);
    ASSERT_TRUE(image->valid());
    EXPECT_EQ(image->textLength(), static_cast<int32_t>(kTwoRecords.size()));
    EXPECT_EQ(get(*image, "PCB_SERIAL"), "12345"); // first record, no line feed before it
    EXPECT_EQ(get(*image, "UNIT_SERIAL"), "678");
    EXPECT_EQ(get(*image, "SERIAL"), "<none>");     // only inside "PCB_SERIAL:"
    EXPECT_EQ(get(*image, "PCB"), "<none>");        // a key prefix is no key
    EXPECT_EQ(get(*image, "12345"), "<none>");

    // A later line of the key is found when the text's start holds it only inside a longer key.
    image = load("PCB_SERIAL:1\nSERIAL:7 trailing\nX:yyyyyyyyyy");
    EXPECT_EQ(get(*image, "SERIAL"), "7");          // line feed alone ends a line; a blank ends the value
    EXPECT_EQ(get(*image, "X"), "yyyyyyyyyy");      // value at the end of the text
}

TEST_F(EepromImageTest, EmptyAndLongValues) {
    const std::string long300(300, 'q');
    auto image = load("EMPTY:\r\nBLANK: x\r\nLONG:" + long300 + "\r\nLAST:1\r\n");
    EXPECT_EQ(get(*image, "EMPTY"), "<none>");
    EXPECT_EQ(get(*image, "BLANK"), "<none>");
    EXPECT_EQ(get(*image, "LONG"), std::string(254, 'q'));
    EXPECT_EQ(get(*image, "LAST"), "1");
}

TEST_F(EepromImageTest, AZeroByteEndsTheText) {
    auto image = load(kTwoRecords + std::string(1, '\0') + "AFTER:1\r\n");
    ASSERT_TRUE(image->valid());
    EXPECT_EQ(image->textLength(), static_cast<int32_t>(kTwoRecords.size()));
    EXPECT_EQ(image->content()[kTwoRecords.size()], 0xFF);
    EXPECT_EQ(image->content()[kTwoRecords.size() + 1], 0xFF); // the image is erased from there on
    EXPECT_EQ(get(*image, "UNIT_SERIAL"), "678");
    EXPECT_EQ(get(*image, "AFTER"), "<none>");
}

TEST_F(EepromImageTest, TextLengthWindow) {
    EXPECT_FALSE(load(std::string(19, 'a'))->valid());
    EXPECT_EQ(get(*load("K:" + std::string(17, 'a')), "K"), "<none>");
    auto twenty = load("K:" + std::string(18, 'a'));
    EXPECT_TRUE(twenty->valid());
    EXPECT_EQ(get(*twenty, "K"), std::string(18, 'a'));
    EXPECT_TRUE(load("K:" + std::string(4074, 'a'))->valid());   // 4076 characters
    EXPECT_FALSE(load("K:" + std::string(4075, 'a'))->valid());  // 4077
    EXPECT_FALSE(load(std::string(4096, 'a'))->valid());          // no end at all
    EXPECT_FALSE(load("")->valid());                               // a blank device
}

// ---- read -----------------------------------------------------------------------------------

TEST_F(EepromImageTest, ReadStopsAfterTheFirstChunkEndingErased) {
    // 100 characters: one chunk.
    load("K:" + std::string(96, 'a') + "\r\n");
    auto reads = calls(69);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_TRUE(wentTo(reads[0], "0xae"));
    EXPECT_EQ(memoryAddress(reads[0]), 0);
    EXPECT_EQ(reads[0].in.size(), 2u);
    EXPECT_EQ(reads[0].out.size(), 128u);

    // Erased cells inside the first chunk do not stop the read when its last byte is written.
    unit().clearLog();
    std::string stale = kTwoRecords + std::string(1, '\xFF');
    stale.resize(127, 'x');
    stale += "y"; // byte 127
    auto image = load(stale);
    EXPECT_EQ(image->textLength(), static_cast<int32_t>(kTwoRecords.size()));
    reads = calls(69);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(memoryAddress(reads[1]), 128);

    // A device written to the end: all 32 chunks, and the image is invalid.
    unit().clearLog();
    image = load(std::string(4096, 'a'));
    reads = calls(69);
    ASSERT_EQ(reads.size(), 32u);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(memoryAddress(reads[i]), 128 * i);
    EXPECT_FALSE(image->valid());

    // The add-on board's EEPROM has its own address.
    unit().clearLog();
    load(kTwoRecords, kAddOnEeprom);
    reads = calls(69);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_TRUE(wentTo(reads[0], "0xa4"));
}

TEST_F(EepromImageTest, FailedLoadsLeaveTheImageInvalid) {
    auto expectInvalid = [&](const char* what, const std::string& content) {
        auto image = load(content);
        EXPECT_FALSE(image->valid()) << what;
        EXPECT_EQ(get(*image, "K1"), "<none>") << what;
        EXPECT_FALSE(image->setProperty("K1", "679")) << what;
        unit().clearFaults();
    };
    boardFault({{"code", 3}, {"action", "fail"}, {"remaining", 1}}); // both ways to make it usable
    boardFault({{"code", 40}, {"action", "fail"}, {"remaining", 1}});
    expectInvalid("library not usable", records(3));
    boardFault({{"code", 56}, {"action", "fail"}, {"skip", 1}});
    expectInvalid("board open fails", records(3));
    boardFault({{"code", 69}, {"action", "fail"}, {"skip", 1}});
    expectInvalid("second chunk fails", records(20)); // 160 characters: two chunks
    boardFault({{"code", 69}, {"action", "no_answer"}, {"address", 0xAE}});
    expectInvalid("device does not answer", records(3));
    setEepromPresent("main", false);
    expectInvalid("device not fitted", records(3));
    // The other EEPROM still answers.
    EXPECT_TRUE(load(records(3), kAddOnEeprom)->valid());
}

// ---- update ---------------------------------------------------------------------------------

TEST_F(EepromImageTest, ShorterValueWritesTheOldLengthAndErasesItsEnd) {
    const std::string before = "PCB_SERIAL:ABCDEFGHIJ\r\n" + records(4);
    auto image = load(before);
    ASSERT_TRUE(image->valid());
    unit().clearLog();

    ASSERT_TRUE(image->setProperty("PCB_SERIAL", "12345678"));
    const std::string after = "PCB_SERIAL:12345678\r\n" + records(4);
    EXPECT_EQ(deviceText(), after);
    const std::vector<uint8_t> device = eeprom("main");
    EXPECT_EQ(device[before.size() - 2], 0xFF); // the old text's last two bytes
    EXPECT_EQ(device[before.size() - 1], 0xFF);

    // Pages of 32 bytes from address 0, covering the old text and one byte more.
    const auto writes = calls(32);
    const size_t covered = before.size() + 1;
    ASSERT_EQ(writes.size(), (covered + 31) / 32);
    for (size_t i = 0; i < writes.size(); ++i) {
        EXPECT_TRUE(wentTo(writes[i], "0xae"));
        EXPECT_EQ(memoryAddress(writes[i]), static_cast<int>(32 * i));
        const size_t chunk = std::min<size_t>(32, covered - 32 * i);
        EXPECT_EQ(writes[i].in.size(), chunk + 2);
    }
    EXPECT_EQ(writes.back().in.back(), 0xFF);

    // The image was read again after the write.
    EXPECT_EQ(get(*image, "PCB_SERIAL"), "12345678");
    EXPECT_EQ(image->textLength(), static_cast<int32_t>(after.size()));
    const auto log = calls();
    EXPECT_EQ(log.back().code, 69u);
    size_t lastPage = 0;
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].code == 32) lastPage = i;
    ASSERT_LT(lastPage + 1, log.size());
    EXPECT_EQ(log[lastPage + 1].code, 3u); // the reload's session after the last page
}

TEST_F(EepromImageTest, LongerValueShiftsLaterRecordsAndGrowsTheWrite) {
    const std::string tail = records(3);
    auto image = load("DATE:2026\r\n" + tail);
    unit().clearLog();

    ASSERT_TRUE(image->setProperty("DATE", "2026-03-14"));
    const std::string after = "DATE:2026-03-14\r\n" + tail;
    EXPECT_EQ(deviceText(), after);
    EXPECT_EQ(image->writeLength(), static_cast<int32_t>(after.size()));
    size_t written = 0;
    for (const auto& w : calls(32)) written += w.in.size() - 2;
    EXPECT_EQ(written, after.size() + 1);
    EXPECT_EQ(get(*image, "K2"), "v2");
    EXPECT_EQ(get(*image, "DATE"), "2026-03-14");

    // The write length stays at its high-water mark: a shorter text later still overwrites the
    // longer former one up to its end.
    unit().clearLog();
    ASSERT_TRUE(image->setProperty("DATE", "1"));
    written = 0;
    for (const auto& w : calls(32)) written += w.in.size() - 2;
    EXPECT_EQ(written, after.size() + 1);
    EXPECT_EQ(deviceText(), "DATE:1\r\n" + tail);
    const std::vector<uint8_t> device = eeprom("main");
    for (size_t i = ("DATE:1\r\n" + tail).size(); i <= after.size(); ++i) EXPECT_EQ(device[i], 0xFF) << i;
}

TEST_F(EepromImageTest, RefusedUpdatesWriteNothing) {
    auto image = load(kTwoRecords + "FILL:" + std::string(4000, 'f') + "\r\n");
    ASSERT_TRUE(image->valid());
    unit().clearLog();
    const std::string tooLong(255, 'v');
    const std::string overflowing(80, '6');
    const char* refused[][2] = {
        {"ABSENT", "1"},                  // records are never added
        {"SERIAL", "1"},                  // found only inside another key
        {"UNIT_SERIAL", ""},              // the record would read as missing
        {"UNIT_SERIAL", "6 79"},          // would split the record
        {"UNIT_SERIAL", "67\r\nPCB_ART:X"}, // would add a record
        {"UNIT_SERIAL", "67\n"},
        {"UNIT_SERIAL", "67\xFF"},          // would end the text early
        {"UNIT_SERIAL", tooLong.c_str()},    // would read back cut short
        {"UNIT_SERIAL", overflowing.c_str()}, // the text would pass 4076 characters
        {"UNIT_SERIAL", nullptr},
        {nullptr, "1"},
    };
    for (const auto& r : refused) EXPECT_FALSE(image->setProperty(r[0], r[1])) << (r[1] ? r[1] : "(null)");
    EXPECT_TRUE(calls(32).empty()); // the device may have been read again, but nothing was written
    EXPECT_EQ(get(*image, "UNIT_SERIAL"), "678");

    // Up to the limit is fine: 4076 characters exactly.
    const int room = 4076 - image->textLength();
    ASSERT_GT(room, 0);
    ASSERT_TRUE(image->setProperty("UNIT_SERIAL", std::string(3 + room, '6').c_str()));
    EXPECT_EQ(image->textLength(), 4076);
    EXPECT_TRUE(image->valid());
    // A colon stays inside the value: it starts no record.
    ASSERT_TRUE(image->setProperty("PCB_SERIAL", "12:30"));
    EXPECT_EQ(get(*image, "PCB_SERIAL"), "12:30");
}

TEST_F(EepromImageTest, FailedWriteKeepsTheImageAndSkipsTheReload) {
    auto image = load(records(5));
    unit().clearLog();
    boardFault({{"code", 32}, {"action", "fail"}, {"skip", 1}, {"remaining", 1}});
    EXPECT_FALSE(image->setProperty("K1", "changed"));
    EXPECT_EQ(calls(32).size(), 2u); // the first page went out, the second failed
    EXPECT_EQ(calls().back().code, 32u); // no reload after it
    EXPECT_TRUE(image->valid());
    EXPECT_EQ(get(*image, "K1"), "v1");
}

// Only the 32-byte pages that differ from the device are written: a value of the same length
// in the third page is one page write, at that page's address.
TEST_F(EepromImageTest, OnlyChangedPagesAreWritten) {
    auto image = load(records(12)); // 88 bytes: pages at 0, 32 and 64; "K10:v10" at 70
    unit().clearLog();
    ASSERT_TRUE(image->setProperty("K10", "w10"));
    const auto writes = calls(32);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(memoryAddress(writes[0]), 64);
    EXPECT_EQ(writes[0].in.size(), 88 + 1 - 64 + 2u); // to the text's end and one byte past it
    std::string expected = records(12);
    expected.replace(expected.find("K10:v10"), 7, "K10:w10");
    EXPECT_EQ(deviceText(), expected);
}

// Two images of one EEPROM (as two processes hold them), each updating its own record from a
// copy read before the other's update: both updates survive, because each update reads the
// device again. Several threads doing so at once are serialised by the I2C lock.
TEST_F(EepromImageTest, UpdatesOfOtherRecordsFromStaleImagesAreKept) {
    auto first = load(records(8));
    auto second = std::make_unique<EepromImage>(kMainEeprom);
    second->reload();
    ASSERT_TRUE(first->setProperty("K1", "first"));
    ASSERT_TRUE(second->setProperty("K6", "second"));
    auto fresh = std::make_unique<EepromImage>(kMainEeprom);
    fresh->reload();
    EXPECT_EQ(get(*fresh, "K1"), "first");
    EXPECT_EQ(get(*fresh, "K6"), "second");

    constexpr int kThreads = 4, kRounds = 5;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            EepromImage image(kMainEeprom);
            image.reload();
            for (int round = 0; round < kRounds; ++round)
                image.setProperty(("K" + std::to_string(t)).c_str(), ("t" + std::to_string(round)).c_str());
        });
    for (std::thread& t : threads) t.join();
    fresh->reload();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(get(*fresh, ("K" + std::to_string(t)).c_str()), "t" + std::to_string(kRounds - 1));
}

TEST_F(EepromImageTest, SharedImagesAreLoadedOnceAndClosedWithTheLastRelease) {
    setEeprom("main", kTwoRecords);
    EepromImage* first = tavik::identity::acquireEepromImage(kMainEeprom);
    EepromImage* second = tavik::identity::acquireEepromImage(kMainEeprom);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(calls(3).size(), 1u);
    EXPECT_EQ(get(*first, "UNIT_SERIAL"), "678");

    tavik::identity::releaseEepromImage(kMainEeprom);
    EXPECT_TRUE(calls(4).empty());
    tavik::identity::releaseEepromImage(kMainEeprom);
    EXPECT_EQ(calls(4).size(), 1u);

    // The next acquire reads the device again and sees what changed meanwhile.
    setEeprom("main", "UNIT_SERIAL:999\r\n" + records(2));
    EepromImage* third = tavik::identity::acquireEepromImage(kMainEeprom);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(get(*third, "UNIT_SERIAL"), "999");
    EXPECT_EQ(calls(3).size(), 2u);
    tavik::identity::releaseEepromImage(kMainEeprom);
}

} // namespace
