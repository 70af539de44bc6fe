// Compile-time checks of the exported functions against the export table: the argument bytes N of a
// decorated name _Name@N follow from the function's declared parameter types.
#pragma once

#include <type_traits>

#include "tavik2/defs.h"

namespace tavik::abi {

// Bytes one argument takes on the 32-bit stdcall stack. Pointers are one 32-bit word on the target,
// also when the host compiles this 64-bit; other arguments round up to whole words. Only scalars of
// at most one word, and double, may cross the interface.
template <class A>
constexpr int argWordBytes() {
    static_assert(std::is_pointer_v<A> || std::is_arithmetic_v<A> || std::is_enum_v<A>,
                  "exported functions take only scalars and pointers");
    static_assert(std::is_pointer_v<A> || sizeof(A) <= 4 || std::is_same_v<A, double>,
                  "only double may take more than one argument word");
    if constexpr (std::is_pointer_v<A>) {
        return 4;
    } else {
        return static_cast<int>((sizeof(A) + 3) / 4 * 4);
    }
}

// ArgBytes<decltype(&Name)>::value: the N of Name's decorated name. Works on the type alone, so Name
// needs a declaration but no definition.
template <class F>
struct ArgBytes;

template <class R, class... A>
struct ArgBytes<R(TAVIK_CALL*)(A...)> {
    static constexpr int value = (0 + ... + argWordBytes<A>());
};

// Function form of the same, for a typed pointer value (a null pointer of the type will do).
template <class R, class... A>
constexpr int argBytes(R(TAVIK_CALL*)(A...)) {
    return ArgBytes<R(TAVIK_CALL*)(A...)>::value;
}

} // namespace tavik::abi

// One static_assert per export table entry; use as the TAVIK_EXPORT expansion.
#define TAVIK_ABI_ASSERT_ARG_BYTES(name, bytes)                                                             \
    static_assert(::tavik::abi::ArgBytes<decltype(&name)>::value == (bytes),                               \
                  "argument bytes of " #name " differ from the export table")
