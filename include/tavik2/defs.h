/// \file
/// Language, calling convention, linkage and character types shared by every public header.
///
/// The headers compile as C (C99 or later) and as C++ (C++11 or later). Both languages spell the
/// handle and record types alike: `Tavik2<Name>` (Tavik2Power, Tavik2UpgradeStatus, ...). In C++
/// each is a typedef of the interface struct or record `Varnholtstad::<Name>`, which callers may
/// use as well; in C a handle type is opaque and a record type is a plain struct of the same layout.
#pragma once

#ifdef __cplusplus
#include <cstdint>
#define TAVIK_EXTERN_C extern "C"
#else
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#define TAVIK_EXTERN_C extern
#endif

#if defined(_WIN32)
// Exported functions use the stdcall convention: decorated as _Name@N, N the argument bytes.
#define TAVIK_CALL __stdcall
#if defined(TAVIK2_BUILDING)
// The export table (.def) names every export; no __declspec(dllexport) so no extra names appear.
#define TAVIK_API TAVIK_EXTERN_C
#else
#define TAVIK_API TAVIK_EXTERN_C __declspec(dllimport)
#endif
/// UTF-16 code unit of the wide texts.
typedef wchar_t TavikWChar;
#else
#define TAVIK_CALL
#define TAVIK_API TAVIK_EXTERN_C __attribute__((visibility("default")))
#ifdef __cplusplus
typedef char16_t TavikWChar; // UTF-16 on every build; wchar_t is 32 bits on Linux
#else
/// UTF-16 code unit of the wide texts (wchar_t on Windows, char16_t in C++).
typedef uint16_t TavikWChar;
#endif
#endif

// Layout checks of the record types: static_assert in C++, a negative array size in C99.
#ifdef __cplusplus
#define TAVIK_LAYOUT_CHECK(cond, name) static_assert(cond, #name)
#else
#define TAVIK_LAYOUT_CHECK(cond, name) typedef char tavik2_layout_check_##name[(cond) ? 1 : -1]
#endif
