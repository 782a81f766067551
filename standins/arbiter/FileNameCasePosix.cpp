// Without Windows' own table: the C library's simple upper-case mapping in a UTF-8 locale, which
// the C.UTF-8 locale built into the C library provides over every code point.
#include <locale.h>
#include <wctype.h>

#include <cstdio>

#include "FileNameCase.h"

namespace arbiter {
namespace {

locale_t Utf8Locale() {
  static const locale_t locale = [] {
    const locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (made == locale_t{})
      std::fputs("arbiter: no C.UTF-8 locale; only ASCII letters compare without case\n", stderr);
    return made;
  }();
  return locale;
}

char16_t Upcase(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;  // half of a pair: Windows leaves it alone
  const locale_t locale = Utf8Locale();
  if (locale == locale_t{}) return c;
  const auto upper = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
  // Windows keeps U+0131 (dotless i) and U+017F (long s) apart from I and S; a mapping that
  // leaves the BMP does not fit one unit.
  return upper < 0x80 || upper > 0xFFFF ? c : static_cast<char16_t>(upper);
}

}  // namespace

bool SameIgnoringCase(char16_t a, char16_t b) {
  return a == b || Upcase(a) == Upcase(b);
}

}  // namespace arbiter
