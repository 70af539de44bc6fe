// The default unit's answers through the exported functions, looked up by name as a Windows
// application finds them: the same data (tests/shared/default_unit_cases.h) that the wine program
// checks through Tavik2.dll against `tavikctl sim serve`; the other families' cases come from
// tests/shared/family_cases.h.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "power/telematics.h"
#include "shared/default_unit_cases.h"
#include "shared/family_cases.h"
#include "support/sim_fixture.h"

namespace {

namespace cases = tavik::test::default_unit;

template <class F>
F exported(const char* name) {
    void* p = ::dlsym(RTLD_DEFAULT, name);
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<F>(p);
}

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (const uint8_t b : bytes) (s += digits[b >> 4]) += digits[b & 15];
    return s;
}

using Handle = void*;
using Factory = Handle (*)();
using Release = void (*)(Handle);

class DefaultUnitCases : public tavik::test::SimTest {};

TEST_F(DefaultUnitCases, VersionsAndBacklightWithTheirRequestsByteForByte) {
    const Handle aux = exported<Factory>("GetAuxVersion")();
    ASSERT_NE(aux, nullptr);
    using VersionFn = int32_t (*)(Handle, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
    for (const cases::VersionCase& c : cases::kVersions) {
        uint8_t v[4] = {};
        EXPECT_EQ(exported<VersionFn>(c.function)(aux, &v[0], &v[1], &v[2], &v[3]), 0) << c.function;
        EXPECT_EQ(std::vector<uint8_t>(v, v + 4), std::vector<uint8_t>(c.version, c.version + 4)) << c.function;
    }
    exported<Release>("AuxVersion_release")(aux);

    const Handle backlight = exported<Factory>("GetBacklight")();
    ASSERT_NE(backlight, nullptr);
    EXPECT_EQ(exported<int32_t (*)(Handle, uint8_t)>("Backlight_setIntensity")(backlight, cases::kBacklightLevel), 0);
    uint8_t level = 0;
    EXPECT_EQ(exported<int32_t (*)(Handle, uint8_t*)>("Backlight_getIntensity")(backlight, &level), 0);
    EXPECT_EQ(level, cases::kBacklightLevel);
    exported<Release>("Backlight_release")(backlight);

    std::vector<std::string> expected, logged;
    for (const cases::LoggedRequest& r : cases::kVersionAndBacklightRequests)
        expected.push_back(std::to_string(r.code) + " " + r.in + " " + r.out);
    for (const tavik::sim::LogEntry& e : requests())
        logged.push_back(std::to_string(e.code) + " " + hex(e.in) + " " + hex(e.out));
    EXPECT_EQ(logged, expected);
}

TEST_F(DefaultUnitCases, AboutRecords) {
    const Handle about = exported<Factory>("GetAbout")();
    ASSERT_NE(about, nullptr);
    for (const cases::AboutText& c : cases::kAboutTexts) {
        char text[cases::kAboutBuffer] = {};
        EXPECT_EQ(exported<int32_t (*)(Handle, char*, int32_t)>(c.function)(about, text, cases::kAboutBuffer), 0)
            << c.function;
        EXPECT_STREQ(text, c.text) << c.function;
    }
    for (const cases::AboutNumber& c : cases::kAboutNumbers) {
        int value = -1;
        if (c.flag) {
            bool flag = false;
            EXPECT_EQ(exported<int32_t (*)(Handle, bool*)>(c.function)(about, &flag), 0) << c.function;
            value = flag;
        } else {
            uint8_t count = 0;
            EXPECT_EQ(exported<int32_t (*)(Handle, uint8_t*)>(c.function)(about, &count), 0) << c.function;
            value = count;
        }
        EXPECT_EQ(value, c.value) << c.function;
    }
    exported<Release>("About_release")(about);
}

TEST_F(DefaultUnitCases, FpgaUpgradeThenVerification) {
    const std::string file = home() + "/fpga.hex";
    std::ofstream(file, std::ios::binary) << cases::fpgaHexFile(cases::fpgaImage());
    const Handle job = exported<Factory>("GetFirmwareUpgrade")();
    ASSERT_NE(job, nullptr);
    using StartFn = int32_t (*)(Handle, const char*, bool);
    EXPECT_EQ(exported<StartFn>("FirmwareUpgrade_startFpgaUpgrade")(job, file.c_str(), true), 0);
    EXPECT_EQ(exported<StartFn>("FirmwareUpgrade_startFpgaVerification")(job, file.c_str(), true), 0);
    exported<Release>("FirmwareUpgrade_release")(job);

    std::map<uint32_t, int> counts;
    for (const tavik::sim::LogEntry& e : requests()) ++counts[e.code];
    for (const cases::RequestCount& c : cases::kFpgaJobRequests) EXPECT_EQ(counts[c.code], c.count) << std::hex << c.code;
}

// Calls an export with one machine word per argument (integers and pointers travel alike).
int32_t invokeWords(const char* function, const uintptr_t* w, size_t count) {
    using W = uintptr_t;
    void* p = ::dlsym(RTLD_DEFAULT, function);
    if (p == nullptr) return -1;
    switch (count) {
    case 1: return reinterpret_cast<int32_t (*)(W)>(p)(w[0]);
    case 2: return reinterpret_cast<int32_t (*)(W, W)>(p)(w[0], w[1]);
    case 3: return reinterpret_cast<int32_t (*)(W, W, W)>(p)(w[0], w[1], w[2]);
    case 4: return reinterpret_cast<int32_t (*)(W, W, W, W)>(p)(w[0], w[1], w[2], w[3]);
    case 5: return reinterpret_cast<int32_t (*)(W, W, W, W, W)>(p)(w[0], w[1], w[2], w[3], w[4]);
    }
    return -1;
}

TEST_F(DefaultUnitCases, FamiliesWithTheFaultTheWineScriptSets) {
    tavik::power::forgetFittedTelematics(); // a fresh process, as the wine program is
    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", cases::kDiagnosticFault.code}, {"action", "reply"},
                     {"reply", cases::kDiagnosticFault.reply}, {"remaining", 1}});
    for (const cases::Family& f : cases::kFamilies) {
        const Handle h = exported<Factory>(f.factory)();
        ASSERT_NE(h, nullptr) << f.factory;
        for (const std::string& failure : cases::runFamily(f, h, invokeWords)) ADD_FAILURE() << failure;
        exported<Release>(f.release)(h);
    }
}

} // namespace
