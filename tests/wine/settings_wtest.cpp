// The settings store over the real shell, file and semaphore calls: the file in the common
// application-data folder, its bytes, the atomic replace, a failed write, the lock, and two
// processes serialising on the named semaphore.
// The store is internal (no export reaches it directly), so this program is built from the
// store's own sources and the win32 platform sources. It starts copies of itself as the
// competing processes: "settings_wtest.exe --increment KEY COUNT".
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/settings_file.h"
#include "wtest.h"

namespace {

using tavik::frame::SettingsFile;

std::string expectedFolder() {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path) != S_OK) return "";
    char narrow[MAX_PATH * 2] = {};
    std::wcstombs(narrow, path, sizeof narrow - 1);
    return std::string(narrow) + "\\Varnholtstad";
}

std::string readBytes(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return "<missing>";
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    return text;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void setOnce(const std::string& key, const std::string& value) {
    SettingsFile store;
    store.load();
    store.set(key, value);
}

int increment(const std::string& key, long count) {
    for (long i = 0; i < count; ++i) {
        SettingsFile store;
        if (!store.locked()) return 3;
        store.load();
        int32_t v = 0;
        store.getInt(key, v);
        store.setInt(key, v + 1);
    }
    return 0;
}

HANDLE startCopy(const std::string& arguments) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = "\"" + std::string(self) + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--increment") == 0) return increment(argv[2], std::strtol(argv[3], nullptr, 10));

    const std::string folder = expectedFolder();
    const std::string path = folder + "\\Tavik.ini";

    wtest::group("location");
    CHECK(!folder.empty());
    CHECK_EQ(tavik::frame::settingsFilePath(), path);
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);

    const std::string saved = readBytes(path);
    DeleteFileA(path.c_str());

    wtest::group("bytes on disk");
    setOnce("ABL_status", "1");
    CHECK_EQ(readBytes(path), std::string("ABL_status = 1\r\n"));
    setOnce("ABL_k", "50");
    setOnce("ABL_mode", "2");
    CHECK_EQ(readBytes(path), std::string("ABL_k=50\r\nABL_status=1\r\nABL_mode = 2\r\n"));
    {
        SettingsFile store;
        store.load();
        CHECK_EQ(store.get("ABL_mode"), std::string("2"));
        double k = 0;
        CHECK_EQ(store.getDouble("ABL_k", k), ERR_SUCCESS);
        CHECK(k == 50.0);
        CHECK(store.setDouble("ABL_k", 36.06744) == ERR_SUCCESS);
    }
    CHECK_EQ(readBytes(path), std::string("ABL_k=36.0674\r\nABL_mode=2\r\nABL_status=1\r\n"));
    CHECK(!exists(path + ".tmp"));

    wtest::group("reads text written elsewhere");
    writeBytes(path, "; note\nb = 2 \r\n[Section]\r\na=x=y\n");
    setOnce("c", "3");
    CHECK_EQ(readBytes(path), std::string("a=x=y\r\nb=2\r\nc = 3\r\n"));

    wtest::group("failed write keeps the old file");
    CHECK(CreateDirectoryA((path + ".tmp").c_str(), nullptr));
    {
        SettingsFile store;
        store.load();
        CHECK(!store.set("a", "changed"));
        CHECK_EQ(store.get("a"), std::string("changed"));
    }
    CHECK_EQ(readBytes(path), std::string("a=x=y\r\nb=2\r\nc = 3\r\n"));
    RemoveDirectoryA((path + ".tmp").c_str());

    wtest::group("lock held for the store's life");
    {
        HANDLE probe = CreateSemaphoreA(nullptr, 1, 1, tavik::frame::kSettingsLockName);
        CHECK(probe != nullptr);
        {
            SettingsFile store;
            CHECK(store.locked());
            CHECK_EQ(WaitForSingleObject(probe, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        }
        CHECK_EQ(WaitForSingleObject(probe, 0), static_cast<DWORD>(WAIT_OBJECT_0));
        ReleaseSemaphore(probe, 1, nullptr);
        CloseHandle(probe);
    }

    wtest::group("two processes serialise");
    {
        DeleteFileA(path.c_str());
        constexpr long kEach = 60;
        HANDLE a = startCopy("--increment counter " + std::to_string(kEach));
        HANDLE b = startCopy("--increment counter " + std::to_string(kEach));
        CHECK(a != nullptr && b != nullptr);
        const int own = increment("counter", kEach); // this process competes too
        HANDLE both[] = {a, b};
        CHECK_EQ(WaitForMultipleObjects(2, both, TRUE, 120000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD codeA = 99, codeB = 99;
        GetExitCodeProcess(a, &codeA);
        GetExitCodeProcess(b, &codeB);
        CHECK_EQ(codeA, 0ul);
        CHECK_EQ(codeB, 0ul);
        CHECK_EQ(own, 0);
        CloseHandle(a);
        CloseHandle(b);
        SettingsFile store;
        store.load();
        int32_t total = 0;
        CHECK_EQ(store.getInt("counter", total), ERR_SUCCESS);
        CHECK_EQ(total, static_cast<int32_t>(3 * kEach));
    }

    if (saved != "<missing>")
        writeBytes(path, saved);
    else
        DeleteFileA(path.c_str());
    return wtest::summary();
}
