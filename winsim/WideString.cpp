#include "winsim/WideString.h"

#include <algorithm>

namespace winsim::detail {

std::u16string_view View(const WCHAR* text) {
  return text == nullptr ? std::u16string_view{} : std::u16string_view{text};
}

char16_t UpperCase(char16_t c) {
  const bool asciiLower = c >= u'a' && c <= u'z';
  // Latin-1 lower-case letters U+00E0-U+00FE, except U+00F7 (the division sign).
  const bool latinLower = c >= 0xE0 && c <= 0xFE && c != 0xF7;
  return asciiLower || latinLower ? static_cast<char16_t>(c - 0x20) : c;
}

std::u16string UpperCase(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& c : result) c = UpperCase(c);
  return result;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return UpperCase(x) == UpperCase(y); });
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    const bool highSurrogate = c >= 0xD800 && c <= 0xDBFF;
    if (highSurrogate && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
    }
    auto byte = [&out](char32_t value) { out.push_back(static_cast<char>(value)); };
    if (c < 0x80) {
      byte(c);
    } else if (c < 0x800) {
      byte(0xC0 | (c >> 6));
      byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      byte(0xE0 | (c >> 12));
      byte(0x80 | ((c >> 6) & 0x3F));
      byte(0x80 | (c & 0x3F));
    } else {
      byte(0xF0 | (c >> 18));
      byte(0x80 | ((c >> 12) & 0x3F));
      byte(0x80 | ((c >> 6) & 0x3F));
      byte(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string_view FileNamePart(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

void CopyTerminated(std::u16string_view text, WCHAR* out) {
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
}

}  // namespace winsim::detail
