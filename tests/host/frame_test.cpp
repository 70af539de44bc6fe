// The handle frame through the exported functions: null handles, both lifecycles, the driver
// channel's result mapping and open policies, the result-code messages.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <tuple>

#include "frame/driver_channel.h"
#include "frame/handle.h"
#include "frame/settings_file.h"
#include "support/sim_fixture.h"
#include "tavik2/tavik2.h"

namespace {

using tavik::frame::DriverChannel;
using tavik::sim::json;

class FrameTest : public tavik::test::SimTest {};

// Sorts the exports by shape: operations (handle first, ErrorCode result), releases
// (handle only, no result) and the rest (factories, message lookups).
template <class F>
struct NullCall {
    static constexpr bool operation = false, release = false;
    static ErrorCode call(F) { return ERR_SUCCESS; }
};

template <class H, class... A>
struct NullCall<ErrorCode(TAVIK_CALL*)(H*, A...)> {
    static constexpr bool operation = std::is_class_v<H>, release = false;
    static ErrorCode call(ErrorCode(TAVIK_CALL* fn)(H*, A...)) { return fn(nullptr, A{}...); }
};

template <class H>
struct NullCall<void(TAVIK_CALL*)(H*)> {
    static constexpr bool operation = false, release = std::is_class_v<H>;
    static ErrorCode call(void(TAVIK_CALL* fn)(H*)) {
        fn(nullptr);
        return ERR_SUCCESS;
    }
};

TEST_F(FrameTest, EveryBuiltOperationRefusesANullHandleWithoutTouchingHardware) {
    unit().clearLog();
    int operations = 0;
#define BUILT_EXPORT(ordinal, name, bytes, twin)                                                   \
    if (NullCall<decltype(&name)>::operation) {                                                    \
        EXPECT_EQ(NullCall<decltype(&name)>::call(&name), ERR_INVALID_PARAMETER) << #name;         \
        ++operations;                                                                              \
    }
#include "built_exports.inc"
#undef BUILT_EXPORT
    EXPECT_GE(operations, 6); // at least the version family
    EXPECT_TRUE(unit().readLog().empty());
}

TEST_F(FrameTest, EveryBuiltReleaseIgnoresANullHandle) {
    unit().clearLog();
    int releases = 0;
#define BUILT_EXPORT(ordinal, name, bytes, twin)                                                   \
    if (NullCall<decltype(&name)>::release) {                                                      \
        NullCall<decltype(&name)>::call(&name);                                                    \
        ++releases;                                                                                \
    }
#include "built_exports.inc"
#undef BUILT_EXPORT
    EXPECT_GE(releases, 1);
    EXPECT_TRUE(unit().readLog().empty());
}

TEST_F(FrameTest, FreshObjectsAreDistinctAndIndependent) {
    Varnholtstad::AuxVersion* a = GetAuxVersion();
    Varnholtstad::AuxVersion* b = GetAuxVersion();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    AuxVersion_release(a);
    uint8_t v[4] = {};
    EXPECT_EQ(AuxVersion_getSSVersion(b, &v[0], &v[1], &v[2], &v[3]), ERR_SUCCESS);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 3);
    AuxVersion_release(b);
    // Each object opened its own channel at construction.
    int opens = 0;
    for (const auto& e : unit().readLog()) opens += e.code == 0 && e.note == "open";
    EXPECT_EQ(opens, 2);
}

// A shared family stand-in that counts constructions and destructions.
struct Counted {
    static inline int constructed = 0, destroyed = 0;
    Counted() { ++constructed; }
    ~Counted() { ++destroyed; }
};

TEST(SharedInstanceTest, SameObjectUntilTheLastReleaseThenANewOne) {
    using Shared = tavik::frame::SharedInstance<Counted>;
    Counted* a = Shared::acquire();
    Counted* b = Shared::acquire();
    EXPECT_EQ(a, b);
    EXPECT_EQ(Shared::count(), 2);
    Shared::releaseShared();
    EXPECT_EQ(Counted::destroyed, 0);
    EXPECT_EQ(Shared::current(), a);
    Shared::releaseShared();
    EXPECT_EQ(Counted::destroyed, 1);
    EXPECT_EQ(Shared::current(), nullptr);
    Counted* c = Shared::acquire();
    EXPECT_EQ(Counted::constructed, 2);
    EXPECT_NE(c, nullptr);
    Shared::releaseShared();
    EXPECT_EQ(Counted::destroyed, 2);
}

struct NeverBuilt {
    NeverBuilt() { throw std::bad_alloc(); }
};

TEST(SharedInstanceTest, AFailedConstructionStillCountsTheCall) {
    using Shared = tavik::frame::SharedInstance<NeverBuilt>;
    EXPECT_EQ(Shared::acquire(), nullptr);
    EXPECT_EQ(Shared::count(), 1);
    Shared::releaseShared(); // nothing to delete
    EXPECT_EQ(Shared::count(), 0);
    EXPECT_EQ(tavik::frame::createFresh<NeverBuilt>(), nullptr);
}

// The registry of live handles: a released handle, a second release and a handle of another
// family are refused like a null one, and touch nothing.
TEST_F(FrameTest, ReleasedAndForeignHandlesAreRefused) {
    Varnholtstad::About* about = GetAbout();
    ASSERT_NE(about, nullptr);
    uint8_t one = 0xEE; // an About handle as a version handle would get 4 bytes through this
    auto* foreign = reinterpret_cast<Varnholtstad::AuxVersion*>(about);
    EXPECT_EQ(AuxVersion_getFPGAVersion(foreign, &one, &one, &one, &one), ERR_INVALID_PARAMETER);
    EXPECT_EQ(AuxVersion_getTavikVersion(foreign, &one, &one, &one, &one), ERR_INVALID_PARAMETER);
    EXPECT_EQ(one, 0xEE);
    AuxVersion_release(foreign); // not a version handle: nothing happens to the About object
    char serial[16] = {};
    EXPECT_EQ(About_getUnitSerial(about, serial, sizeof serial), ERR_SUCCESS);
    About_release(about);
    EXPECT_EQ(About_getUnitSerial(about, serial, sizeof serial), ERR_INVALID_PARAMETER);
    About_release(about); // a second release does nothing

    Varnholtstad::AuxVersion* v = GetAuxVersion();
    ASSERT_NE(v, nullptr);
    AuxVersion_release(v);
    uint8_t p[4] = {7, 7, 7, 7};
    EXPECT_EQ(AuxVersion_getTavikVersion(v, &p[0], &p[1], &p[2], &p[3]), ERR_INVALID_PARAMETER);
    EXPECT_EQ(p[0], 7);
    AuxVersion_release(v);
}

// A unit that cannot be opened (here its home is below a plain file) is hardware that does not
// answer: the factories still give handles, the library's own version is there, driver requests
// fail to open, and releases return normally.
TEST_F(FrameTest, AUnitThatCannotBeOpenedIsHardwareThatDoesNotAnswer) {
    { std::ofstream(home() + "/file") << "not a folder"; }
    const std::string broken = home() + "/file/unit";
    ::setenv("TAVIK_HOME", broken.c_str(), 1);
    tavik::frame::forgetSettingsFilePath();

    Varnholtstad::AuxVersion* v = GetAuxVersion();
    ASSERT_NE(v, nullptr);
    uint8_t p[4] = {};
    EXPECT_EQ(AuxVersion_getTavikVersion(v, &p[0], &p[1], &p[2], &p[3]), ERR_SUCCESS);
    EXPECT_EQ(p[0], 2);
    EXPECT_EQ(AuxVersion_getSSVersion(v, &p[0], &p[1], &p[2], &p[3]), ERR_OPEN_FAILED);
    EXPECT_EQ(AuxVersion_getOSVersion(v, &p[0], &p[1], &p[2], &p[3]), ERR_OPEN_FAILED);
    AuxVersion_release(v);

    Varnholtstad::About* about = GetAbout();
    ASSERT_NE(about, nullptr);
    char serial[16] = {};
    EXPECT_EQ(About_getUnitSerial(about, serial, sizeof serial), ERR_EEPROM); // EEPROM unreadable
    About_release(about); // closes the board library, which fails: no exception escapes

    ::setenv("TAVIK_HOME", home().c_str(), 1);
    tavik::frame::forgetSettingsFilePath();
}

constexpr uint32_t kSsVersion = 0x2224F4;

TEST_F(FrameTest, ResultMappingOfTheDriverChannel) {
    DriverChannel channel;
    channel.open();
    ASSERT_TRUE(channel.isOpen());
    uint8_t out[4] = {9, 9, 9, 9};

    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", kSsVersion}, {"action", "fail"}, {"remaining", 1}});
    EXPECT_EQ(channel.read(kSsVersion, out, 4), ERR_IOCTRL_FAILED);

    unit().addFault({{"target", "\\\\.\\TavikDrv"}, {"code", kSsVersion}, {"action", "count"}, {"count", 3}, {"remaining", 1}});
    EXPECT_EQ(channel.read(kSsVersion, out, 4), ERR_BUFFER_SIZE);

    // The channel stays open after failures; the next request goes out on the same handle.
    EXPECT_TRUE(channel.isOpen());
    EXPECT_EQ(channel.read(kSsVersion, out, 4), ERR_SUCCESS);
    EXPECT_EQ(out[0], 1);

    // A request the driver does not know with these sizes fails like any refused request.
    EXPECT_EQ(channel.read(kSsVersion, out, 3), ERR_IOCTRL_FAILED);
}

TEST_F(FrameTest, OpenPoliciesWithTheDriverMissingAndBack) {
    const json absent = {{"target", "\\\\.\\TavikDrv"}, {"code", 0}, {"action", "absent"}, {"remaining", 2}};
    unit().addFault(absent);
    DriverChannel once(DriverChannel::OpenPolicy::AtConstruction);
    DriverChannel lazy(DriverChannel::OpenPolicy::OnDemand);
    once.open();
    lazy.open();
    EXPECT_FALSE(once.isOpen());
    EXPECT_FALSE(lazy.isOpen());
    // The driver is back: only the on-demand channel opens again.
    uint8_t out[4];
    EXPECT_EQ(once.read(kSsVersion, out, 4), ERR_OPEN_FAILED);
    EXPECT_EQ(lazy.read(kSsVersion, out, 4), ERR_SUCCESS);
    EXPECT_TRUE(lazy.isOpen());
    EXPECT_EQ(once.read(kSsVersion, out, 4), ERR_OPEN_FAILED);
}

TEST(ErrorMessagesTest, NarrowAndWideTextsOfEveryCode) {
    EXPECT_STREQ(GetErrorStringA(0), "ERR_SUCCESS");
    EXPECT_STREQ(GetErrorStringA(20), "Average calulation started by other process");
    EXPECT_STREQ(GetErrorStringA(33), "Failed to join thread");
    EXPECT_STREQ(GetErrorStringA(7), "IoCtrl operation failed");
    std::set<std::string> distinct;
    for (int32_t code = 0; code < ERR_CODE_COUNT; ++code) {
        const char* narrow = GetErrorStringA(code);
        const TavikWChar* wide = GetErrorStringW(code);
        ASSERT_NE(narrow, nullptr);
        ASSERT_NE(wide, nullptr);
        size_t i = 0;
        for (; narrow[i] != '\0'; ++i) ASSERT_EQ(static_cast<TavikWChar>(narrow[i]), wide[i]) << code;
        EXPECT_EQ(wide[i], 0) << code;
        EXPECT_EQ(GetErrorStringA(code), narrow); // static texts
        distinct.insert(narrow);
    }
    EXPECT_EQ(distinct.size(), size_t(ERR_CODE_COUNT));
}

TEST(ErrorMessagesTest, CodesOutsideTheTableGetAFixedText) {
    for (int32_t code : {34, 35, 1000, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_STREQ(GetErrorStringA(code), "Unknown error code") << code;
        const TavikWChar* w = GetErrorStringW(code);
        EXPECT_EQ(std::u16string(w), u"Unknown error code") << code;
    }
}

} // namespace
