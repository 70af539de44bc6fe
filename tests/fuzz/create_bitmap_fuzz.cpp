// libFuzzer target: createBitmap's header values and raw sizes.
#include <cstdlib>

#include "fuzz/create_bitmap_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!tavik::fuzz::checkCreateBitmap(data, size)) std::abort();
    return 0;
}
