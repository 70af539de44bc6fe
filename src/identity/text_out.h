// Delivering a text to a caller's buffer: the value and its terminating zero must fit the length.
#pragma once

#include <cstdint>
#include <cstring>

#include "tavik2/error_code.h"

namespace tavik::identity {

// ERR_BUFFER_SIZE when `length` cannot hold the text and its zero, then ERR_INVALID_PARAMETER for
// a null buffer; otherwise the text is copied with its zero.
inline ErrorCode deliverText(const char* text, char* buffer, int32_t length) {
    const size_t needed = std::strlen(text) + 1;
    if (length < 0 || needed > static_cast<size_t>(length)) return ERR_BUFFER_SIZE;
    if (buffer == nullptr) return ERR_INVALID_PARAMETER;
    std::memcpy(buffer, text, needed);
    return ERR_SUCCESS;
}

} // namespace tavik::identity
