#include "frame/board_session.h"

#include "frame/wide_text.h"

namespace tavik::frame {

bool openJidaBoard(BoardHandle& handle) {
    namespace board = platform::board;
    if (!board::libraryInit()) {
        if (!board::libraryInitRetry(1)) return false;
        board::libraryInit(); // the result of the second try is not relied on
    }
    const uint32_t boards = board::boardCount(nullptr, 0);
    if (board::boardOpen(TAVIK_WIDE("CPU"), 0, 0, &handle)) board::boardSelect(handle);
    for (uint32_t i = 0; i < boards; ++i)
        if (!board::boardOpen(nullptr, i, 0, &handle)) return false;
    return true;
}

} // namespace tavik::frame
