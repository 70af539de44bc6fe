// UTF-16 string literals of the interface's wide character type on every build.
#pragma once

#include "tavik2/defs.h"

#if defined(_WIN32)
#define TAVIK_WIDE_(s) L##s
#else
#define TAVIK_WIDE_(s) u##s
#endif
// TAVIK_WIDE("text"): the literal as const TavikWChar[].
#define TAVIK_WIDE(s) TAVIK_WIDE_(s)

// A narrow text and its wide twin with the same characters.
#define TAVIK_TEXT_PAIR(s) {s, TAVIK_WIDE(s)}

namespace tavik::frame {
struct TextPair {
    const char* narrow;
    const TavikWChar* wide;
};
} // namespace tavik::frame
