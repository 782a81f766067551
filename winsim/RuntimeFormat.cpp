// vsprintf_s and _vscprintf of the Windows runtime, formatted by glibc after the format has
// been translated where the two runtimes read it differently.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "winsim/winsim.h"

namespace {

// The Windows runtime's invalid-parameter handler ends the process.
[[noreturn]] void InvalidParameter(const char* what) {
  std::fprintf(stderr, "winsim: %s (invalid parameter handler)\n", what);
  std::fflush(stderr);
  std::abort();
}

bool IsFloatingConversion(char c) {
  return c != 0 && std::strchr("aAeEfFgG", c) != nullptr;
}

// Rewrites the length modifiers glibc reads differently: 'L' before a floating conversion is
// double on Windows (long double is double there), so it is dropped; I64 is long long; I32 is
// the default int size; a bare I is pointer-sized.
std::string TranslateFormat(const char* format) {
  std::string out;
  const std::string_view text(format);
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i++];
    out += c;
    if (c != '%') continue;
    if (i < text.size() && text[i] == '%') {
      out += text[i++];
      continue;
    }
    while (i < text.size() && std::strchr("-+ #0", text[i]) != nullptr) out += text[i++];
    while (i < text.size() && (text[i] == '*' || (text[i] >= '0' && text[i] <= '9'))) {
      out += text[i++];
    }
    if (i < text.size() && text[i] == '.') {
      out += text[i++];
      while (i < text.size() && (text[i] == '*' || (text[i] >= '0' && text[i] <= '9'))) {
        out += text[i++];
      }
    }
    std::string modifier;
    while (i < text.size()) {
      if (text.substr(i, 3) == "I64") {
        modifier += "ll";
        i += 3;
      } else if (text.substr(i, 3) == "I32") {
        i += 3;
      } else if (text[i] == 'I') {
        modifier += 'z';
        ++i;
      } else if (std::strchr("hlLjzt", text[i]) != nullptr) {
        modifier += text[i++];
      } else {
        break;
      }
    }
    const char conversion = i < text.size() ? text[i] : '\0';
    if (IsFloatingConversion(conversion) && modifier == "L") modifier.clear();
    out += modifier;
  }
  return out;
}

}  // namespace

int vsprintf_s(char* buffer, std::size_t size, const char* format, va_list args) {
  if (buffer == nullptr || size == 0 || format == nullptr) {
    InvalidParameter("vsprintf_s: null buffer, zero size or null format");
  }
  const std::string translated = TranslateFormat(format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(buffer, size, translated.c_str(), copy);
  va_end(copy);
  if (length < 0) {
    buffer[0] = '\0';
    return -1;
  }
  if (static_cast<std::size_t>(length) >= size) {
    InvalidParameter("vsprintf_s: result does not fit the buffer");
  }
  return length;
}

int _vscprintf(const char* format, va_list args) {
  if (format == nullptr) InvalidParameter("_vscprintf: null format");
  const std::string translated = TranslateFormat(format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, translated.c_str(), copy);
  va_end(copy);
  return length;
}
