// The Video family against the simulated video inputs: the control byte, scaling, cropping,
// area, the check order, and snapshots from the capture devices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "support/sim_fixture.h"
#include "tavik2/video.h"

namespace {

using tavik::sim::json;
using Varnholtstad::Video;

const std::string kControl1 = "\\\\.\\TavikDrv\\Video1";
const std::string kCapture1 = "\\\\.\\QXVideoPCIDrv\\Video1";
const std::string kField1 = "\\\\.\\QXVideoPCIDrv\\Video1_Int";
constexpr uint32_t kReadControl = 0x222448, kWriteControl = 0x222424, kSetScaling = 0x222438,
                   kGetChannel = 0x22244C, kSetCropping = 0x222454;

class VideoTest : public tavik::test::SimTest {
protected:
    void TearDown() override {
        for (Video* h : handles_) Video_release(h);
        SimTest::TearDown();
    }

    // A new object, initialised on input 1 unless told otherwise.
    Video* open(int input = 1) {
        Video* h = GetVideo();
        EXPECT_NE(h, nullptr);
        handles_.push_back(h);
        if (input != 0) {
            EXPECT_EQ(Video_init(h, static_cast<uint8_t>(input)), ERR_SUCCESS);
        }
        return h;
    }

    json value(const std::string& field) { return unit().getValue("video.input1." + field); }
    void set(const std::string& field, const json& v) { unit().setValue("video.input1." + field, v.dump()); }
    void fault(const std::string& target, uint32_t code, json extra) {
        extra["target"] = target;
        extra["code"] = code;
        if (!extra.contains("remaining")) extra["remaining"] = 1;
        unit().addFault(extra);
    }
    std::vector<tavik::sim::LogEntry> sent(uint32_t code, const std::string& target = kControl1) {
        std::vector<tavik::sim::LogEntry> out;
        for (auto& e : requests(target))
            if (e.code == code) out.push_back(e);
        return out;
    }
    void useFpga(const std::string& version) { unit().setValue("driver.versions.fpga", version); }
    void fitNoVideo() {
        json profile = tavik::sim::Unit::defaultProfile();
        for (json& record : profile["eeprom"]["main"])
            if (record == "VIDEO:2") record = "VIDEO:0";
        unit().loadProfile(profile);
    }

    std::vector<Video*> handles_;
};

TEST_F(VideoTest, InitResetsTheDeviceAndKeepsTheDriverBits) {
    set("control", 0xF9); // shown, mode 0, mirrored, driver bits 4..7 set
    Video* h = open();
    const auto log = requests(kControl1);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[0].code, 0x22245Cu);
    EXPECT_EQ(log[0].in, (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(value("control"), 0xF5); // mode 2, mirroring off, the rest as it was
    EXPECT_EQ(value("resets"), 1);

    EXPECT_EQ(Video_init(h, 0), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Video_init(h, 3), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Video_showVideo(h, true), ERR_OPEN_FAILED); // the failed init closed input 1
    EXPECT_EQ(Video_init(h, 2), ERR_SUCCESS);
    EXPECT_EQ(Video_showVideo(h, true), ERR_SUCCESS);
    EXPECT_EQ(unit().getValue("video.input2.control"), 0x05);

    fault(kControl1, 0, {{"action", "absent"}});
    Video* absent = open(0);
    EXPECT_EQ(Video_init(absent, 1), ERR_OPEN_FAILED);
    uint8_t status = 0;
    EXPECT_EQ(Video_getStatus(absent, &status), ERR_OPEN_FAILED);
}

TEST_F(VideoTest, ControlByteChangesOnlyTheirBits) {
    Video* h = open();
    set("control", 0xA4);
    struct Step {
        const char* what;
        ErrorCode (*op)(Video*);
        int expected;
    };
    const Step steps[] = {
        {"show", [](Video* v) { return Video_showVideo(v, true); }, 0xA5},
        {"mode 1", [](Video* v) { return Video_setDeInterlaceMode(v, 1); }, 0xA3},
        {"mirror", [](Video* v) { return Video_setMirroring(v, 7); }, 0xAB},
        {"mode 0", [](Video* v) { return Video_setDeInterlaceMode(v, 0); }, 0xA9},
        {"hide", [](Video* v) { return Video_showVideo(v, false); }, 0xA8},
        {"mirror off", [](Video* v) { return Video_setMirroring(v, 0); }, 0xA0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.op(h), ERR_SUCCESS);
        EXPECT_EQ(value("control"), s.expected);
    }
    int32_t mode = -1, mirroring = -1;
    uint8_t status = 0x77;
    set("control", 0x0C);
    EXPECT_EQ(Video_getDeInterlaceMode(h, &mode), ERR_SUCCESS);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(Video_getMirroring(h, &mirroring), ERR_SUCCESS);
    EXPECT_EQ(mirroring, 1);
    EXPECT_EQ(Video_getStatus(h, &status), ERR_SUCCESS);
    EXPECT_EQ(status, 0x0C);
    EXPECT_EQ(sent(kReadControl).back().in, std::vector<uint8_t>{0x77}); // the caller's byte goes in

    set("control", 0x06);
    mode = -1;
    EXPECT_EQ(Video_getDeInterlaceMode(h, &mode), ERR_INVALID_DATA);
    EXPECT_EQ(mode, -1);
    unit().clearLog();
    EXPECT_EQ(Video_setDeInterlaceMode(h, 3), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Video_setDeInterlaceMode(h, -1), ERR_INVALID_PARAMETER);
    EXPECT_TRUE(requests(kControl1).empty());
}

TEST_F(VideoTest, AFailedReadOfTheControlByte) {
    Video* h = open();
    set("control", 0xF0);
    // showVideo goes on with a byte of 0; the others return the read's error and write nothing.
    fault(kControl1, kReadControl, {{"action", "fail"}});
    EXPECT_EQ(Video_showVideo(h, true), ERR_SUCCESS);
    EXPECT_EQ(value("control"), 0x01);
    unit().clearLog();
    fault(kControl1, kReadControl, {{"action", "fail"}});
    EXPECT_EQ(Video_setMirroring(h, 1), ERR_IOCTRL_FAILED);
    fault(kControl1, kReadControl, {{"action", "fail"}});
    EXPECT_EQ(Video_setDeInterlaceMode(h, 1), ERR_IOCTRL_FAILED);
    EXPECT_TRUE(sent(kWriteControl).empty());
    EXPECT_EQ(value("control"), 0x01);
}

TEST_F(VideoTest, ScalingEncodingsInBothFpgaBranches) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* fpga;
        int mode;
        float x, y;
        ErrorCode result;
        std::vector<uint8_t> bytes; // hU, vU, hD, vD
        float backX, backY;
    };
    const Case cases[] = {
        {"0.4.0.1", 2, 1.0f, 1.0f, ERR_SUCCESS, {128, 128, 64, 64}, 1.0f, 1.0f},
        {"0.4.0.1", 0, 1.0f, 1.0f, ERR_SUCCESS, {128, 64, 64, 64}, 1.0f, 1.0f},
        {"0.4.0.1", 2, 4.0f, 1.0f, ERR_SUCCESS, {32, 128, 64, 64}, 4.0f, 1.0f},
        {"0.4.0.1", 2, 2.0f, 0.5f, ERR_SUCCESS, {64, 128, 64, 128}, 2.0f, 0.5f},
        {"0.4.0.1", 2, 0.25f, 0.25f, ERR_SUCCESS, {128, 128, 255, 255}, 64.0f / 255, 64.0f / 255},
        {"0.4.0.1", 2, 4.5f, 1.0f, ERR_INVALID_DATA, {}, 0, 0},
        {"0.4.0.1", 1, 1.0f, 2.5f, ERR_INVALID_DATA, {}, 0, 0}, // doubled beyond 4
        {"0.4.0.1", 2, 0.24f, 1.0f, ERR_INVALID_DATA, {}, 0, 0},
        {"0.4.0.0", 2, 4.5f, 0.5f, ERR_SUCCESS, {64, 128, 64, 64}, 2.0f, 0.5f}, // clamped
        {"0.4.0.0", 2, 1.0f, 3.0f, ERR_SUCCESS, {128, 64, 64, 64}, 1.0f, 1.0f},
        {"0.4.0.0", 2, 1.0f, 0.1f, ERR_INVALID_DATA, {}, 0, 0},
        {"0.4.0.0", 2, inf, 1.0f, ERR_INVALID_DATA, {}, 0, 0},
        {"0.4.0.1", 2, 1.0f, nan, ERR_INVALID_DATA, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fpga) + " mode " + std::to_string(c.mode) + " " + std::to_string(c.x) + " x " +
                     std::to_string(c.y));
        useFpga(c.fpga);
        Video* h = open();
        ASSERT_EQ(Video_setDeInterlaceMode(h, c.mode), ERR_SUCCESS);
        unit().clearLog();
        EXPECT_EQ(Video_setScaling(h, c.x, c.y), c.result);
        const auto log = sent(kSetScaling);
        if (c.result != ERR_SUCCESS) {
            EXPECT_TRUE(log.empty());
            continue;
        }
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].in, c.bytes);
        float x = 0, y = 0;
        ASSERT_EQ(Video_getScaling(h, &x, &y), ERR_SUCCESS);
        EXPECT_FLOAT_EQ(x, c.backX);
        EXPECT_FLOAT_EQ(y, c.backY);
    }
}

TEST_F(VideoTest, CroppingAreaAndWindowRoundTrips) {
    Video* h = open();
    EXPECT_EQ(Video_setCropping(h, 255, 127, 255, 127), ERR_SUCCESS);
    EXPECT_EQ(sent(kSetCropping).back().in, (std::vector<uint8_t>{127, 127, 127, 127}));
    unit().clearLog();
    EXPECT_EQ(Video_setCropping(h, 0, 128, 0, 0), ERR_INVALID_DATA);
    EXPECT_EQ(Video_setCropping(h, 0, 0, 0, 200), ERR_INVALID_DATA);
    EXPECT_TRUE(sent(kSetCropping).empty());
    uint8_t c[4] = {};
    ASSERT_EQ(Video_setCropping(h, 11, 5, 200, 127), ERR_SUCCESS);
    ASSERT_EQ(Video_getCropping(h, &c[0], &c[1], &c[2], &c[3]), ERR_SUCCESS);
    EXPECT_EQ(std::vector<uint8_t>(c, c + 4), (std::vector<uint8_t>{10, 5, 200, 127}));

    uint16_t a[4] = {};
    ASSERT_EQ(Video_setVideoArea(h, 10, 20, 700, 65535), ERR_SUCCESS);
    ASSERT_EQ(Video_getVideoArea(h, &a[0], &a[1], &a[2], &a[3]), ERR_SUCCESS);
    EXPECT_EQ(std::vector<uint16_t>(a, a + 4), (std::vector<uint16_t>{10, 20, 700, 65535}));
    ASSERT_EQ(Video_minimize(h), ERR_SUCCESS);
    EXPECT_EQ(value("area"), json({0, 0, 0, 0}));
    ASSERT_EQ(Video_restore(h), ERR_SUCCESS);
    EXPECT_EQ(value("area"), json({10, 20, 700, 65535}));
    // A new object has nothing to restore but zeros.
    ASSERT_EQ(Video_restore(open()), ERR_SUCCESS);
    EXPECT_EQ(value("area"), json({0, 0, 0, 0}));
    // A failed read leaves the remembered area alone.
    ASSERT_EQ(Video_setVideoArea(h, 1, 2, 3, 4), ERR_SUCCESS);
    fault(kControl1, 0x222434, {{"action", "fail"}});
    EXPECT_EQ(Video_minimize(h), ERR_IOCTRL_FAILED);
    EXPECT_EQ(value("area"), json({1, 2, 3, 4}));
    ASSERT_EQ(Video_restore(h), ERR_SUCCESS);
    EXPECT_EQ(value("area"), json({10, 20, 700, 65535}));
}

TEST_F(VideoTest, ChannelKeysDecoderStandardAndRawImage) {
    Video* h = open();
    int32_t channel = 0;
    ASSERT_EQ(Video_setActiveChannel(h, -5), ERR_SUCCESS);
    ASSERT_EQ(Video_getActiveChannel(h, &channel), ERR_SUCCESS);
    EXPECT_EQ(channel, -5);
    // The returned count is checked before the outcome.
    fault(kControl1, kGetChannel, {{"action", "reply"}, {"reply", "01000000"}, {"count", 3}});
    EXPECT_EQ(Video_getActiveChannel(h, &channel), ERR_BUFFER_SIZE);
    fault(kControl1, kGetChannel, {{"action", "fail"}});
    EXPECT_EQ(Video_getActiveChannel(h, &channel), ERR_BUFFER_SIZE);
    EXPECT_EQ(channel, -5);

    uint8_t r = 0, g = 0, b = 0;
    ASSERT_EQ(Video_setColorKeys(h, 1, 2, 3), ERR_SUCCESS);
    ASSERT_EQ(Video_getColorKeys(h, &r, &g, &b), ERR_SUCCESS);
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({1, 2, 3}));

    uint8_t reg = 0;
    ASSERT_EQ(Video_setDecoderReg(h, 0x10, 0x5A), ERR_SUCCESS);
    ASSERT_EQ(Video_getDecoderReg(h, 0x10, &reg), ERR_SUCCESS);
    EXPECT_EQ(reg, 0x5A);

    int32_t standard = -1;
    ASSERT_EQ(Video_getVideoStandard(h, &standard), ERR_SUCCESS);
    EXPECT_EQ(standard, 2); // PAL
    uint16_t w = 0, ht = 0;
    float rate = 0;
    ASSERT_EQ(Video_getRawImage(h, &w, &ht, &rate), ERR_SUCCESS);
    EXPECT_EQ(std::vector<int>({w, ht}), std::vector<int>({720, 576}));
    EXPECT_FLOAT_EQ(rate, 50.0f);
    fault(kControl1, 0x222444, {{"action", "fail"}});
    EXPECT_EQ(Video_getVideoStandard(h, &standard), ERR_IOCTRL_FAILED);

    json profile = tavik::sim::Unit::defaultProfile();
    profile["video"]["input1"]["standard"] = "NTSC";
    unit().loadProfile(profile);
    h = open();
    ASSERT_EQ(Video_getVideoStandard(h, &standard), ERR_SUCCESS);
    EXPECT_EQ(standard, 1);
    ASSERT_EQ(Video_getRawImage(h, &w, &ht, &rate), ERR_SUCCESS);
    EXPECT_EQ(ht, 480);
}

TEST_F(VideoTest, CheckOrderWithoutVideoAndBeforeInit) {
    Video* before = open(0);
    uint8_t byte = 0;
    int32_t value32 = 0;
    EXPECT_EQ(Video_getStatus(before, &byte), ERR_OPEN_FAILED);
    EXPECT_EQ(Video_setScaling(before, 1, 1), ERR_OPEN_FAILED);
    EXPECT_EQ(Video_activateSnapshot(before, true), ERR_OPEN_FAILED);
    EXPECT_EQ(Video_showFrame(before), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Video_setRotation(before, 90), ERR_NOT_SUPPORTED);
    value32 = 7;
    EXPECT_EQ(Video_getRotation(before, &value32), ERR_NOT_SUPPORTED);
    EXPECT_EQ(value32, 7);
    EXPECT_EQ(Video_getStatus(nullptr, &byte), ERR_INVALID_PARAMETER);

    fitNoVideo();
    Video* h = open(0);
    unit().clearLog();
    EXPECT_EQ(Video_init(h, 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Video_init(h, 9), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Video_getStatus(h, nullptr), ERR_INVALID_PARAMETER); // null pointers first
    EXPECT_EQ(Video_setCropping(h, 0, 128, 0, 0), ERR_INVALID_DATA); // and the cropping range
    EXPECT_EQ(Video_setCropping(h, 0, 0, 0, 0), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Video_setDeInterlaceMode(h, 5), ERR_NOT_SUPPORTED); // mode checked after support
    EXPECT_EQ(Video_setScaling(h, std::nanf(""), 1), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Video_getVideoStandard(h, &value32), ERR_NOT_SUPPORTED);
    uint8_t buffer[16];
    EXPECT_EQ(Video_takeSnapshotRaw(h, buffer, 16, false), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Video_takeSnapshot(h, "x.bmp", false), ERR_NOT_SUPPORTED);
    EXPECT_EQ(Video_freeBmpBuffer(h, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Video_showFrame(h), ERR_NOT_SUPPORTED);
    EXPECT_TRUE(requests(kControl1).empty());
    EXPECT_TRUE(requests(kCapture1).empty());
}

// ---- Snapshots ----

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

TEST_F(VideoTest, SnapshotOfTheTestPicture) {
    Video* h = open();
    const std::string path = home() + "/snap.bmp";
    ASSERT_EQ(Video_takeSnapshot(h, path.c_str(), false), ERR_SUCCESS);
    const std::vector<uint8_t> bmp = readFile(path);
    ASSERT_EQ(bmp.size(), 26u + 576 * 2160);
    EXPECT_EQ(le32(bmp.data() + 2), bmp.size());
    EXPECT_EQ(bmp[18] | bmp[19] << 8, 720);
    EXPECT_EQ(bmp[20] | bmp[21] << 8, 576);
    // Top left is the first (75 % white) bar, top right the last (black) one; rows are bottom-up.
    const uint8_t* top = bmp.data() + 26 + 575 * 2160;
    EXPECT_EQ(std::vector<uint8_t>(top, top + 3), (std::vector<uint8_t>{191, 191, 191}));
    EXPECT_EQ(std::vector<uint8_t>(top + 3 * 719, top + 3 * 720), (std::vector<uint8_t>{0, 0, 0}));

    // The single-field device gives 288 lines, each written twice.
    uint8_t* field = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(Video_takeSnapshotBmp(h, &field, &size, true, false), ERR_SUCCESS);
    ASSERT_EQ(size, bmp.size());
    for (uint32_t row = 0; row < 576; row += 2)
        ASSERT_EQ(std::memcmp(field + 26 + row * 2160, field + 26 + (row + 1) * 2160, 2160), 0) << row;
    EXPECT_EQ(Video_freeBmpBuffer(h, field), ERR_SUCCESS);

    // Capture on: the picture moves; off: the last frame again.
    std::vector<uint8_t> a(Varnholtstad::RAW_FRAME_BUFFER_SIZE), b(a.size());
    ASSERT_EQ(Video_activateSnapshot(h, false), ERR_SUCCESS);
    ASSERT_EQ(Video_takeSnapshotRaw(h, a.data(), static_cast<uint32_t>(a.size()), false), ERR_SUCCESS);
    ASSERT_EQ(Video_takeSnapshotRaw(h, b.data(), static_cast<uint32_t>(b.size()), false), ERR_SUCCESS);
    EXPECT_EQ(a, b);
    ASSERT_EQ(Video_activateSnapshot(h, true), ERR_SUCCESS);
    ASSERT_EQ(Video_takeSnapshotRaw(h, b.data(), static_cast<uint32_t>(b.size()), false), ERR_SUCCESS);
    EXPECT_NE(a, b);
}

TEST_F(VideoTest, MissingCaptureDevicesAndFailedReads) {
    uint8_t buffer[512];
    EXPECT_EQ(Video_takeSnapshotRaw(open(), buffer, 0, false), ERR_BUFFER_SIZE);
    EXPECT_EQ(Video_takeSnapshotRaw(open(), nullptr, 0, false), ERR_INVALID_PARAMETER);

    // Without the frame capture device: 26 below FPGA 4.0.0 (40000), else 1.
    for (const char* fpga : {"0.3.99.99", "0.4.0.0"}) {
        SCOPED_TRACE(fpga);
        useFpga(fpga);
        fault(kCapture1, 0, {{"action", "absent"}});
        Video* h = open();
        const ErrorCode missing = std::string(fpga) == "0.4.0.0" ? ERR_OPEN_FAILED : ERR_NEWER_FPGA_VERSION_REQUIRED;
        EXPECT_EQ(Video_activateSnapshot(h, true), missing);
        EXPECT_EQ(Video_takeSnapshotRaw(h, buffer, sizeof buffer, false), missing);
        EXPECT_EQ(Video_takeSnapshot(h, (home() + "/x.bmp").c_str(), false), missing);
        EXPECT_EQ(Video_setMirroring(h, 1), ERR_SUCCESS); // control goes on
    }
    useFpga("0.4.0.1");
    // Without the single-field device only single-field reads fail.
    fault(kField1, 0, {{"action", "absent"}});
    Video* h = open();
    EXPECT_EQ(Video_takeSnapshotRaw(h, buffer, sizeof buffer, true), ERR_DEVICE_READ_DATA_FAILED);
    EXPECT_EQ(Video_takeSnapshotRaw(h, buffer, sizeof buffer, false), ERR_SUCCESS);
    fault(kCapture1, 0, {{"action", "fail"}});
    EXPECT_EQ(Video_takeSnapshotRaw(h, buffer, sizeof buffer, false), ERR_DEVICE_READ_DATA_FAILED);

    // A short read: what was not delivered reads as zeros, never as what the buffer held.
    std::memset(buffer, 0xAA, sizeof buffer);
    fault(kCapture1, 0, {{"action", "count"}, {"count", 300}});
    ASSERT_EQ(Video_takeSnapshotRaw(h, buffer, sizeof buffer, false), ERR_SUCCESS);
    EXPECT_EQ(le32(buffer + 4), 720u);
    EXPECT_EQ(std::vector<uint8_t>(buffer + 300, buffer + 512), std::vector<uint8_t>(212, 0));
}

TEST_F(VideoTest, PathLengthAndFileFrames) {
    Video* h = open();
    // 259 characters go through, 260 do not.
    std::string dir = "C:\\" + std::string(120, 'd') + "\\" + std::string(120, 'e');
    std::filesystem::create_directories(tavik::sim::hostPath(dir));
    const std::string fits = dir + "\\" + std::string(259 - dir.size() - 5, 'f') + ".bmp";
    ASSERT_EQ(fits.size(), 259u);
    EXPECT_EQ(Video_takeSnapshot(h, fits.c_str(), false), ERR_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(tavik::sim::hostPath(fits)));
    const std::string tooLong = dir + "\\" + std::string(260 - dir.size() - 5, 'f') + ".bmp";
    EXPECT_EQ(Video_takeSnapshot(h, tooLong.c_str(), false), ERR_OPEN_FAILED);
    EXPECT_FALSE(std::filesystem::exists(tavik::sim::hostPath(tooLong)));
    EXPECT_EQ(Video_takeSnapshot(h, (home() + "/no/such/folder/x.bmp").c_str(), false), ERR_OPEN_FAILED);

    // A file given to the simulated input is what both capture devices deliver (W = 2, 1 + 1 lines).
    std::vector<uint8_t> raw(256 + 16, 0);
    raw[4] = 2, raw[8] = 1, raw[12] = 1;
    for (int i = 0; i < 16; ++i) raw[256 + i] = static_cast<uint8_t>(0x10 + i);
    const std::string rawPath = home() + "/frame.raw", out = home() + "/file.bmp";
    std::ofstream(rawPath, std::ios::binary).write(reinterpret_cast<const char*>(raw.data()), raw.size());
    std::string output;
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim video frame 1 '" + rawPath + "'", &output), 0) << output;
    ASSERT_EQ(Video_takeSnapshot(h, out.c_str(), false), ERR_SUCCESS); // PAL: first block even lines
    const std::vector<uint8_t> bmp = readFile(out);
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 26, bmp.end()),
              (std::vector<uint8_t>{0x18, 0x19, 0x1A, 0x1C, 0x1D, 0x1E, 0, 0, 0x10, 0x11, 0x12, 0x14, 0x15, 0x16, 0, 0}));
    std::vector<uint8_t> single(400, 0xAA);
    ASSERT_EQ(Video_takeSnapshotRaw(h, single.data(), 400, true), ERR_SUCCESS);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), single.begin()));
    ASSERT_EQ(run(tavik::test::binPath("tavikctl") + " sim video frame 1 --pattern", &output), 0) << output;
    ASSERT_EQ(Video_takeSnapshotRaw(h, single.data(), 400, false), ERR_SUCCESS);
    EXPECT_EQ(le32(single.data() + 4), 720u);
}

TEST_F(VideoTest, TavikctlSetsShowsAndSnaps) {
    const std::string ctl = tavik::test::binPath("tavikctl");
    std::string output;
    ASSERT_EQ(run(ctl + " video set area 10 20 330 260", &output), 0) << output;
    ASSERT_EQ(run(ctl + " video set cropping 4 2 6 8 --input 2", &output), 0) << output;
    EXPECT_NE(run(ctl + " video set cropping 0 200 0 0", &output), 0);
    EXPECT_NE(output.find("Invalid data"), std::string::npos) << output;
    ASSERT_EQ(run(ctl + " --json video --input 2", &output), 0) << output;
    const json doc = json::parse(output);
    EXPECT_EQ(doc["cropping"]["right_px"], 6);
    EXPECT_EQ(doc["raw_image"]["height_px"], 576);
    EXPECT_EQ(doc["deinterlace_mode"], 2);
    EXPECT_EQ(value("area"), json({10, 20, 330, 260}));

    const std::string out = home() + "/ctl.bmp";
    ASSERT_EQ(run(ctl + " video snapshot '" + out + "' --single-field", &output), 0) << output;
    EXPECT_EQ(readFile(out).size(), 26u + 576 * 2160);
    fault(kCapture1, 0, {{"action", "absent"}});
    EXPECT_NE(run(ctl + " video snapshot '" + out + "'", &output), 0);
}

} // namespace
