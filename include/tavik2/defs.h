// Calling convention, linkage and character types shared by every public header.
#pragma once

#include <cstdint>

#if defined(_WIN32)
// Exported functions use the stdcall convention: decorated as _Name@N, N the argument bytes.
#define TAVIK_CALL __stdcall
#if defined(TAVIK2_BUILDING)
// The export table (.def) names every export; no __declspec(dllexport) so no extra names appear.
#define TAVIK_API extern "C"
#else
#define TAVIK_API extern "C" __declspec(dllimport)
#endif
typedef wchar_t TavikWChar; // UTF-16 on Windows
#else
#define TAVIK_CALL
#define TAVIK_API extern "C" __attribute__((visibility("default")))
typedef char16_t TavikWChar; // UTF-16 on every build; wchar_t is 32 bits on Linux
#endif
