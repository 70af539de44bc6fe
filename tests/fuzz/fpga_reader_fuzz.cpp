// Fuzz target: the FPGA image line reader on arbitrary file contents.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "firmware/image_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavik::firmware::MemorySource source(data, size);
    std::vector<uint8_t> image;
    const ErrorCode e = tavik::firmware::readFpgaImage(source, size, image, [](ErrorCode, uint32_t p) {
        if (p > 100) std::abort();
    });
    // A failure keeps no image; a success has 16 bytes per record.
    if (e != ERR_SUCCESS && !image.empty()) std::abort();
    if (image.size() % 16 != 0) std::abort();
    return 0;
}
