// Checks of the export table against itself and against the public headers: ordinals, gaps, twins,
// grouping, the argument bytes of every decorated name and the shape of every exported function.
// Only declarations are needed; nothing here calls into the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "frame/abi_check.h"
#include "tavik2/tavik2.h"

namespace {

// ---------------------------------------------------------------------------------------------
// The table as data.

struct Entry {
    int ordinal;
    const char* group;
    const char* name;
    int argBytes;
    bool twin;
};

#define ABI_TEST_TWIN_TWIN true
#define ABI_TEST_TWIN_NO_TWIN false

constexpr Entry kTable[] = {
#define TAVIK_EXPORT(ordinal, group, name, bytes, twin) {ordinal, #group, #name, bytes, ABI_TEST_TWIN_##twin},
#include "frame/export_table.inc"
#undef TAVIK_EXPORT
};

constexpr int kHighestOrdinal = 294;
const std::set<int> kGaps = {252, 253, 254, 255, 258, 259};
const std::set<std::string> kDecoratedOnly = {"GetConfig", "GetHwErrorStatusStringA", "GetHwErrorStatusStringW",
                                              "GetStartupReasonStringA", "GetStartupReasonStringW"};

bool isMessageGroup(const std::string& group) { return group == "ErrorText" || group == "DiagText"; }

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// ---------------------------------------------------------------------------------------------
// Compile time: N of every entry equals the bytes of the declared arguments.

#define TAVIK_EXPORT(ordinal, group, name, bytes, twin) TAVIK_ABI_ASSERT_ARG_BYTES(name, bytes);
#include "frame/export_table.inc"
#undef TAVIK_EXPORT

// The helper itself: one word per scalar and per pointer (also on a 64-bit host), two per double.
static_assert(tavik::abi::ArgBytes<void(TAVIK_CALL*)()>::value == 0, "no arguments");
static_assert(tavik::abi::ArgBytes<void(TAVIK_CALL*)(bool, uint8_t, int16_t)>::value == 12, "small scalars");
static_assert(tavik::abi::ArgBytes<void(TAVIK_CALL*)(void*, double)>::value == 12, "pointer and double");
static_assert(tavik::abi::ArgBytes<void(TAVIK_CALL*)(uint8_t**, const char*, float)>::value == 12, "pointers");
static_assert(tavik::abi::argBytes(static_cast<void(TAVIK_CALL*)(int32_t, double, ErrorCode)>(nullptr)) == 16,
              "function form");

// ---------------------------------------------------------------------------------------------
// Compile time: the shape of every exported function follows from its table group and name.

namespace groups {
using namespace Varnholtstad;
struct ErrorText;
struct DiagText;
} // namespace groups

constexpr bool sameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr int textLength(const char* s) {
    int n = 0;
    while (s[n] != '\0') ++n;
    return n;
}

constexpr bool endsWith(const char* s, const char* suffix) {
    const int n = textLength(s);
    const int m = textLength(suffix);
    return n >= m && sameText(s + (n - m), suffix);
}

template <class... A>
struct FirstArg {
    using type = void;
};
template <class First, class... Rest>
struct FirstArg<First, Rest...> {
    using type = First;
};

// A family: the interface struct is an abstract, data-free interface without a virtual destructor;
// GetX() returns X*, X_release(X*) returns nothing, every other function takes X* first and returns
// an ErrorCode.
template <class Group, class F>
struct Shape;

template <class Group, class R, class... A>
struct Shape<Group, R(TAVIK_CALL*)(A...)> {
    static constexpr bool check(const char* name) {
        if constexpr (std::is_same_v<Group, groups::ErrorText> || std::is_same_v<Group, groups::DiagText>) {
            const bool narrow = endsWith(name, "A");
            const bool textType = narrow ? std::is_same_v<R, const char*> : std::is_same_v<R, const TavikWChar*>;
            return textType && (endsWith(name, "A") || endsWith(name, "W")) && sizeof...(A) == 1 &&
                   std::is_same_v<typename FirstArg<A...>::type, int32_t>;
        } else {
            static_assert(std::is_abstract_v<Group> && std::is_polymorphic_v<Group>, "interface struct");
            static_assert(!std::has_virtual_destructor_v<Group>, "no virtual destructor");
            static_assert(sizeof(Group) == sizeof(void*), "no data besides the slot table pointer");
            using First = typename FirstArg<A...>::type;
            if (endsWith(name, "_release")) {
                return std::is_void_v<R> && sizeof...(A) == 1 && std::is_same_v<First, Group*>;
            }
            if (name[0] == 'G' && name[1] == 'e' && name[2] == 't') {
                return std::is_same_v<R, Group*> && sizeof...(A) == 0;
            }
            return std::is_same_v<R, ErrorCode> && std::is_same_v<First, Group*>;
        }
    }
};

#define TAVIK_EXPORT(ordinal, group, name, bytes, twin)                                                     \
    static_assert(Shape<groups::group, decltype(&name)>::check(#name), "shape of " #name);
#include "frame/export_table.inc"
#undef TAVIK_EXPORT

// The shape check rejects a function of another family, a wrong kind and a wrong text type.
static_assert(!Shape<groups::About, decltype(&Backlight_getIntensity)>::check("About_getIntensity"), "family");
static_assert(!Shape<groups::Backlight, decltype(&Backlight_getIntensity)>::check("Backlight_release"), "kind");
static_assert(!Shape<groups::ErrorText, decltype(&GetErrorStringW)>::check("GetErrorStringA"), "text type");

// ---------------------------------------------------------------------------------------------
// The table's own rules.

TEST(ExportTable, Has288Entries) { EXPECT_EQ(std::size(kTable), 288u); }

TEST(ExportTable, SortedByUniqueOrdinalsUpToTheHighest) {
    std::set<int> seen;
    int previous = 0;
    for (const Entry& e : kTable) {
        EXPECT_GE(e.ordinal, 1) << e.name;
        EXPECT_LE(e.ordinal, kHighestOrdinal) << e.name;
        EXPECT_GT(e.ordinal, previous) << e.name << " is out of order";
        EXPECT_TRUE(seen.insert(e.ordinal).second) << "ordinal " << e.ordinal << " used twice";
        previous = e.ordinal;
    }
    EXPECT_EQ(previous, kHighestOrdinal);
}

TEST(ExportTable, GapsStayUnusedAndNothingElseIsMissing) {
    std::set<int> used;
    for (const Entry& e : kTable) used.insert(e.ordinal);
    for (int gap : kGaps) EXPECT_EQ(used.count(gap), 0u) << "gap " << gap << " is in use";
    for (int ordinal = 1; ordinal <= kHighestOrdinal; ++ordinal) {
        if (kGaps.count(ordinal) == 0) {
            EXPECT_EQ(used.count(ordinal), 1u) << "ordinal " << ordinal << " unassigned";
        }
    }
}

TEST(ExportTable, NamesAreUnique) {
    std::set<std::string> names;
    for (const Entry& e : kTable) EXPECT_TRUE(names.insert(e.name).second) << e.name;
}

TEST(ExportTable, ExactlyTheFiveDecoratedOnlyNamesHaveNoTwin) {
    std::set<std::string> noTwin;
    for (const Entry& e : kTable) {
        if (!e.twin) noTwin.insert(e.name);
    }
    EXPECT_EQ(noTwin, kDecoratedOnly);
}

TEST(ExportTable, NamesBelongToTheirGroup) {
    for (const Entry& e : kTable) {
        const std::string group = e.group;
        const std::string name = e.name;
        if (group == "ErrorText") {
            EXPECT_TRUE(name == "GetErrorStringA" || name == "GetErrorStringW") << name;
        } else if (group == "DiagText") {
            EXPECT_TRUE(startsWith(name, "GetHwErrorStatusString") || startsWith(name, "GetStartupReasonString"))
                << name;
        } else {
            EXPECT_TRUE(name == "Get" + group || startsWith(name, group + "_")) << name << " in " << group;
        }
    }
}

TEST(ExportTable, TwentyOneFamiliesEachWithFactoryThenReleaseFirst) {
    std::map<std::string, std::vector<const Entry*>> byGroup;
    for (const Entry& e : kTable) {
        if (!isMessageGroup(e.group)) byGroup[e.group].push_back(&e);
    }
    EXPECT_EQ(byGroup.size(), 21u);
    for (const auto& [group, entries] : byGroup) {
        ASSERT_GE(entries.size(), 2u) << group;
        EXPECT_EQ(std::string(entries[0]->name), "Get" + group);
        EXPECT_EQ(std::string(entries[1]->name), group + "_release");
    }
}

TEST(ExportTable, OriginalOrdinalsAreGroupedByFamily) {
    // Below 234 every group occupies one contiguous run; later additions may interleave.
    std::set<std::string> finished;
    std::string current;
    for (const Entry& e : kTable) {
        if (e.ordinal > 233) break;
        if (e.group == current) continue;
        EXPECT_EQ(finished.count(e.group), 0u) << e.group << " resumes at ordinal " << e.ordinal;
        if (!current.empty()) finished.insert(current);
        current = e.group;
    }
}

TEST(ExportTable, MessageLookupsSitAt197To202) {
    const char* expected[] = {"GetErrorStringA",         "GetErrorStringW",         "GetHwErrorStatusStringA",
                              "GetHwErrorStatusStringW", "GetStartupReasonStringA", "GetStartupReasonStringW"};
    int found = 0;
    for (const Entry& e : kTable) {
        if (!isMessageGroup(e.group)) continue;
        ASSERT_LT(found, 6);
        EXPECT_EQ(e.ordinal, 197 + found);
        EXPECT_STREQ(e.name, expected[found]);
        EXPECT_EQ(e.argBytes, 4);
        ++found;
    }
    EXPECT_EQ(found, 6);
}

// Decorated names the application side already depends on.
TEST(ExportTable, KnownDecoratedNames) {
    struct Known {
        const char* name;
        int ordinal;
        int argBytes;
    };
    const Known known[] = {
        {"GetBacklight", 37, 0},           {"Backlight_release", 38, 4},
        {"Backlight_getIntensity", 39, 8}, {"Backlight_setIntensity", 40, 8},
        {"Backlight_getHWStatus", 267, 8}, {"Backlight_setAutomaticBLFilter", 47, 20},
        {"GetConfig", 67, 0},              {"Config_setStartupVoltageConfig", 92, 12},
        {"GetBattery", 234, 0},            {"TavikPrivate_release", 244, 4},
        {"GetTavikPrivate", 66, 0},        {"GetPowerMgr", 270, 0},
        {"GetSmart", 277, 0},              {"Video_getRotation", 294, 8},
    };
    for (const Known& k : known) {
        const Entry* e = std::find_if(std::begin(kTable), std::end(kTable),
                                      [&](const Entry& x) { return std::string(x.name) == k.name; });
        ASSERT_NE(e, std::end(kTable)) << k.name;
        EXPECT_EQ(e->ordinal, k.ordinal) << k.name;
        EXPECT_EQ(e->argBytes, k.argBytes) << k.name;
    }
}

} // namespace
