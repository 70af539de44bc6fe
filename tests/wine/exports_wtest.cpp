// The export table of Tavik2.dll as the Windows loader sees it: every function of the built groups
// under its decorated name at its ordinal and, where it has one, under its plain name at
// ordinal + 1000 with the same entry point; nothing of the groups not built; no other names.
#include <windows.h>

#include <cstring>
#include <set>
#include <string>

#include "wtest.h"

namespace {

struct Row {
    int ordinal;
    const char* name;
    int bytes;
    bool twin;
};

#define WTEST_TWIN_TWIN true
#define WTEST_TWIN_NO_TWIN false

// What this build exports (generated from the table for the groups built so far).
const Row kBuilt[] = {
#define BUILT_EXPORT(ordinal, name, bytes, twin) {ordinal, #name, bytes, WTEST_TWIN_##twin},
#include "built_exports.inc"
#undef BUILT_EXPORT
    {0, nullptr, 0, false},
};

// Every function of the interface.
const Row kAll[] = {
#define TAVIK_EXPORT(ordinal, group, name, bytes, twin) {ordinal, #name, bytes, WTEST_TWIN_##twin},
#include "frame/export_table.inc"
#undef TAVIK_EXPORT
    {0, nullptr, 0, false},
};

std::string decorated(const Row& r) { return "_" + std::string(r.name) + "@" + std::to_string(r.bytes); }

const void* byName(HMODULE dll, const std::string& name) {
    return reinterpret_cast<const void*>(GetProcAddress(dll, name.c_str()));
}

const void* byOrdinal(HMODULE dll, int ordinal) {
    return reinterpret_cast<const void*>(GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)));
}

const Row* findIn(const Row* table, const char* name) {
    for (const Row* r = table; r->name != nullptr; ++r)
        if (std::strcmp(r->name, name) == 0) return r;
    return nullptr;
}

// The DLL found is the one built beside this program, not another one on the search path.
void checkLoadedFromOwnFolder(HMODULE dll) {
    wtest::group("loading");
    wchar_t exe[MAX_PATH] = {};
    wchar_t lib[MAX_PATH] = {};
    CHECK(GetModuleFileNameW(nullptr, exe, MAX_PATH) > 0);
    CHECK(GetModuleFileNameW(dll, lib, MAX_PATH) > 0);
    std::wstring exeDir(exe);
    exeDir = exeDir.substr(0, exeDir.find_last_of(L"\\/") + 1);
    const std::wstring libPath(lib);
    CHECK(_wcsicmp(libPath.c_str(), (exeDir + L"Tavik2.dll").c_str()) == 0);
}

// The generated list agrees with the table it was made from.
void checkBuiltListAgainstTable() {
    wtest::group("built list");
    int count = 0;
    for (const Row* r = kBuilt; r->name != nullptr; ++r, ++count) {
        const Row* t = findIn(kAll, r->name);
        if (!CHECK(t != nullptr)) continue;
        CHECK_EQ(r->ordinal, t->ordinal);
        CHECK_EQ(r->bytes, t->bytes);
        CHECK_EQ(r->twin, t->twin);
    }
    CHECK(count > 0);
}

void checkBuiltExports(HMODULE dll) {
    for (const Row* r = kBuilt; r->name != nullptr; ++r) {
        wtest::group(r->name);
        const void* entry = byName(dll, decorated(*r));
        CHECK(entry != nullptr);
        CHECK_EQ(byOrdinal(dll, r->ordinal), entry);
        if (r->twin) {
            CHECK_EQ(byName(dll, r->name), entry);
            CHECK_EQ(byOrdinal(dll, r->ordinal + 1000), entry);
        } else {
            CHECK_EQ(byName(dll, r->name), static_cast<const void*>(nullptr));
            CHECK_EQ(byOrdinal(dll, r->ordinal + 1000), static_cast<const void*>(nullptr));
        }
    }
}

void checkGroupsNotBuiltAreAbsent(HMODULE dll) {
    wtest::group("not built");
    for (const Row* r = kAll; r->name != nullptr; ++r) {
        if (findIn(kBuilt, r->name) != nullptr) continue;
        CHECK_EQ(byName(dll, decorated(*r)), static_cast<const void*>(nullptr));
        CHECK_EQ(byName(dll, r->name), static_cast<const void*>(nullptr));
        CHECK_EQ(byOrdinal(dll, r->ordinal), static_cast<const void*>(nullptr));
        CHECK_EQ(byOrdinal(dll, r->ordinal + 1000), static_cast<const void*>(nullptr));
    }
}

// Ordinals that never carry a function: the gaps, their twins and the range between the two halves.
void checkUnassignedOrdinals(HMODULE dll) {
    wtest::group("unassigned ordinals");
    for (int ordinal : {252, 253, 254, 255, 258, 259, 1252, 1253, 1254, 1255, 1258, 1259, 295, 500, 1000, 1295})
        CHECK_EQ(byOrdinal(dll, ordinal), static_cast<const void*>(nullptr));
}

// The export directory holds exactly the expected names: nothing extra (no entry point, no
// helper made visible by accident) and nothing missing.
void checkNameDirectory(HMODULE dll) {
    wtest::group("name directory");
    std::set<std::string> expected;
    for (const Row* r = kBuilt; r->name != nullptr; ++r) {
        expected.insert(decorated(*r));
        if (r->twin) expected.insert(r->name);
    }
    const auto* base = reinterpret_cast<const BYTE*>(dll);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!CHECK(dir.VirtualAddress != 0)) return;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    CHECK_STREQ(reinterpret_cast<const char*>(base + exports->Name), "Tavik2.dll");
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const std::string name = reinterpret_cast<const char*>(base + names[i]);
        found.insert(name);
        if (expected.count(name) == 0) CHECK_EQ(name, std::string("(not an expected export)"));
    }
    CHECK_EQ(static_cast<size_t>(exports->NumberOfNames), expected.size());
    CHECK_EQ(found.size(), expected.size());
}

} // namespace

int main() {
    const HMODULE dll = LoadLibraryW(L"Tavik2.dll");
    wtest::group("loading");
    if (!CHECK(dll != nullptr)) return wtest::summary();
    checkLoadedFromOwnFolder(dll);
    checkBuiltListAgainstTable();
    checkBuiltExports(dll);
    checkGroupsNotBuiltAreAbsent(dll);
    checkUnassignedOrdinals(dll);
    checkNameDirectory(dll);
    FreeLibrary(dll);
    return wtest::summary();
}
