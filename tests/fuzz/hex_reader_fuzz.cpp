// Fuzz target: the microcontroller image reader on arbitrary file contents.
#include <cstdint>
#include <cstdlib>

#include "firmware/image_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavik::firmware::MemorySource source(data, size);
    tavik::firmware::FirmwareImage image;
    uint32_t lastPercent = 0;
    const ErrorCode e = tavik::firmware::readHexImage(source, size, image, [&](ErrorCode, uint32_t p) {
        if (p > 100) std::abort();
        lastPercent = p;
    });
    // A failure keeps no image; a success never exceeds the bound.
    if (e != ERR_SUCCESS && !image.data.empty()) std::abort();
    if (image.data.size() > tavik::firmware::kMaxHexImageBytes) std::abort();
    return 0;
}
