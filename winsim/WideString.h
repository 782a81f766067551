#pragma once
// Helpers over winsim's 16-bit text: bounded views, case-insensitive names, journal text.
#include <string>
#include <string_view>

#include "winsim/winsim.h"

namespace winsim::detail {

// The zero-terminated text at `text`; a null pointer gives an empty view.
std::u16string_view View(const WCHAR* text);

// Windows compares object, service and module names without regard to case. Folding covers
// ASCII and Latin-1, which is all the names winsim is asked about.
char16_t UpperCase(char16_t c);
std::u16string UpperCase(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// UTF-8 for journal lines and diagnostics.
std::string ToUtf8(std::u16string_view text);

// The part after the last backslash (the whole text when there is none).
std::u16string_view FileNamePart(std::u16string_view path);

// Copies `text` and its terminating zero to `out`.
void CopyTerminated(std::u16string_view text, WCHAR* out);

}  // namespace winsim::detail
