// Windows' own ordinal comparison, the one it uses for file names.
#include <windows.h>

#include "FileNameCase.h"

namespace arbiter {

bool SameIgnoringCase(char16_t a, char16_t b) {
  if (a == b) return true;
  const auto wa = static_cast<wchar_t>(a);
  const auto wb = static_cast<wchar_t>(b);
  return CompareStringOrdinal(&wa, 1, &wb, 1, TRUE) == CSTR_EQUAL;
}

}  // namespace arbiter
