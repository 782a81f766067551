// wcstombs_s and mbstowcs_s of the Windows runtime in its default "C" locale, where narrow
// bytes 0x01-0xFF and wide characters U+0001-U+00FF correspond one to one by value.
#include <optional>

#include "winsim/winsim.h"

namespace {

// The Windows runtime's errno values (glibc's EILSEQ is 84, the runtime's is 42).
constexpr errno_t kEinval = 22;
constexpr errno_t kErange = 34;
constexpr errno_t kEilseq = 42;

template <typename From, typename To, typename ConvertOne>
errno_t ConvertText(std::size_t* converted, To* dest, std::size_t destSize, const From* src,
                    std::size_t count, ConvertOne convertOne) {
  if (converted != nullptr) *converted = 0;
  if ((dest == nullptr) != (destSize == 0)) return kEinval;
  if (src == nullptr) {
    if (dest != nullptr) dest[0] = 0;
    return kEinval;
  }
  std::size_t length = 0;
  while (length < count && src[length] != 0) ++length;

  // Size query: characters up to the first zero (at most `count`) plus the terminator. It
  // does not look at the characters themselves.
  if (dest == nullptr) {
    if (converted != nullptr) *converted = length + 1;
    return 0;
  }
  for (std::size_t i = 0; i < length; ++i) {
    const std::optional<To> c = convertOne(src[i]);
    if (!c) {
      dest[0] = 0;
      return kEilseq;
    }
    if (i + 1 >= destSize) {  // no room for this character and the terminator
      dest[0] = 0;
      return kErange;
    }
    dest[i] = *c;
  }
  dest[length] = 0;
  if (converted != nullptr) *converted = length + 1;
  return 0;
}

}  // namespace

errno_t wcstombs_s(std::size_t* converted, char* dest, std::size_t destSize, const WCHAR* src,
                   std::size_t count) {
  return ConvertText(converted, dest, destSize, src, count, [](WCHAR c) -> std::optional<char> {
    if (c > 0xFF) return std::nullopt;
    return static_cast<char>(static_cast<unsigned char>(c));
  });
}

errno_t mbstowcs_s(std::size_t* converted, WCHAR* dest, std::size_t destSize, const char* src,
                   std::size_t count) {
  return ConvertText(converted, dest, destSize, src, count, [](char c) -> std::optional<WCHAR> {
    return static_cast<WCHAR>(static_cast<unsigned char>(c));
  });
}
