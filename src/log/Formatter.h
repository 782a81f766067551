#pragma once
// The module's printf-style formatter twins. Both empty the output, then format into it and
// return 0 when the whole format was processed, or the index (in characters of the format) at
// which an unreadable directive stopped the call; the text produced before the stop is kept.
#include <cstdarg>
#include <string>

int FormatWide(std::u16string& output, const char16_t* format, va_list args);
int FormatNarrow(std::string& output, const char* format, va_list args);
// The same, with the values given directly. A literal 0 as the only value converts to a null
// va_list and picks the form above: pass zero through a variable.
int FormatNarrow(std::string& output, const char* format, ...);
