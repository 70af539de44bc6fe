// Checks for the test programs that run under wine. Each failed check prints where it failed,
// in which group, and the values it compared; summary() prints the closing line
// "N passed, M failed" and gives the program's exit code (0 only when nothing failed).
//
//   int main() {
//       wtest::group("error texts");
//       CHECK_STREQ(GetErrorStringA(9), "Invalid parameter");
//       return wtest::summary();
//   }
#pragma once

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <type_traits>

namespace wtest {

struct State {
    int passed = 0;
    int failed = 0;
    const char* group = "";
};

inline State& state() {
    static State s;
    return s;
}

// Names the group of the checks that follow, for the failure messages.
inline void group(const char* name) { state().group = name; }

inline bool record(bool ok, const char* file, int line, const std::string& what) {
    State& s = state();
    if (ok) {
        ++s.passed;
        return true;
    }
    ++s.failed;
    std::printf("FAILED %s:%d [%s] %s\n", file, line, s.group, what.c_str());
    std::fflush(stdout);
    return false;
}

inline std::string describe(const char* v) { return v == nullptr ? "(null)" : "\"" + std::string(v) + "\""; }
inline std::string describe(const std::string& v) { return describe(v.c_str()); }
inline std::string describe(const wchar_t* v) {
    if (v == nullptr) return "(null)";
    std::string out = "L\"";
    for (; *v != 0; ++v) out += (*v >= 0x20 && *v < 0x7F) ? static_cast<char>(*v) : '?';
    return out + "\"";
}
inline std::string describe(const void* v) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", v);
    return text;
}
template <class T, std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>, int> = 0>
std::string describe(T v) {
    return std::to_string(static_cast<long long>(v));
}

template <class A, class B>
bool checkEqual(const A& a, const B& b, const char* file, int line, const char* ta, const char* tb) {
    const bool ok = a == b;
    if (ok) return record(true, file, line, "");
    return record(false, file, line, std::string(ta) + " == " + tb + ": " + describe(a) + " vs " + describe(b));
}

inline bool checkText(const char* a, const char* b, const char* file, int line, const char* ta, const char* tb) {
    const bool ok = a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
    return record(ok, file, line, std::string(ta) + " == " + tb + ": " + describe(a) + " vs " + describe(b));
}

inline bool checkText(const wchar_t* a, const wchar_t* b, const char* file, int line, const char* ta,
                      const char* tb) {
    const bool ok = a != nullptr && b != nullptr && std::wcscmp(a, b) == 0;
    return record(ok, file, line, std::string(ta) + " == " + tb + ": " + describe(a) + " vs " + describe(b));
}

// The closing line and the exit code. A program that checked nothing has failed.
inline int summary() {
    State& s = state();
    if (s.passed + s.failed == 0) record(false, __FILE__, __LINE__, "no check ran");
    std::printf("%d passed, %d failed\n", s.passed, s.failed);
    std::fflush(stdout);
    return s.failed == 0 ? 0 : 1;
}

} // namespace wtest

// Each evaluates to true when the check passed, so a test can stop early: if (!CHECK(p)) return;
#define CHECK(cond) ::wtest::record(static_cast<bool>(cond), __FILE__, __LINE__, #cond)
#define CHECK_EQ(a, b) ::wtest::checkEqual((a), (b), __FILE__, __LINE__, #a, #b)
#define CHECK_STREQ(a, b) ::wtest::checkText((a), (b), __FILE__, __LINE__, #a, #b)

#ifdef _WIN32
#include <windows.h>

namespace wtest {

// An export of a loaded DLL by name, as a function pointer of type F; a missing one fails a check.
template <class F>
F resolve(HMODULE module, const char* name) {
    const FARPROC p = GetProcAddress(module, name);
    CHECK(p != nullptr);
    return reinterpret_cast<F>(reinterpret_cast<void*>(p));
}

} // namespace wtest
#endif
