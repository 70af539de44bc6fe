#include "platform/win32/text.h"

#include <windows.h>

namespace tavik::platform::win32 {

std::wstring widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], needed) != needed)
        return std::wstring();
    return wide;
}

} // namespace tavik::platform::win32
