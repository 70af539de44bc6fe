// Narrow (ANSI code page) to UTF-16 conversion for the names and paths the system code passes.
#pragma once

#include <string>

namespace tavik::platform::win32 {

// The text converted with the active code page; empty when it cannot be converted.
std::wstring widen(const std::string& text);

} // namespace tavik::platform::win32
