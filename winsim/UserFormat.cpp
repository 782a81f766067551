// user32's wsprintfA: its own small directive set (no floating point), output capped at 1024
// bytes with the terminator.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "winsim/winsim.h"

namespace {

constexpr std::size_t kMaxOutput = 1024;

// Formats one value with a printf directive built from the parsed flags, width and precision.
template <typename T>
std::string FormatOne(const std::string& spec, char conversion, T value) {
  const std::string directive = spec + conversion;
  const int length = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), directive.c_str(), value);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  std::string out;
  const char* p = format;
  while (*p != '\0' && out.size() < kMaxOutput) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    ++p;
    std::string spec = "%";
    while (*p != '\0' && std::strchr("-#0", *p) != nullptr) spec += *p++;
    while (*p >= '0' && *p <= '9') spec += *p++;
    if (*p == '.') {
      spec += *p++;
      while (*p >= '0' && *p <= '9') spec += *p++;
    }
    bool isShort = false;
    while (*p == 'l' || *p == 'h') isShort = *p++ == 'h';  // long is 32 bits on Windows
    const char conversion = *p;
    if (conversion == '\0') break;
    ++p;
    switch (conversion) {
      case 'd':
      case 'i': {
        int value = va_arg(args, int);
        if (isShort) value = static_cast<short>(value);
        out += FormatOne(spec, 'd', value);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        unsigned value = va_arg(args, unsigned);
        if (isShort) value = static_cast<unsigned short>(value);
        out += FormatOne(spec, conversion, value);
        break;
      }
      case 'c':
        out += FormatOne(spec, 'c', va_arg(args, int));
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        out += FormatOne(spec, 's', text == nullptr ? "(null)" : text);
        break;
      }
      default:  // '%%' and directives wsprintfA does not know: the character itself
        out += conversion;
        break;
    }
  }
  va_end(args);
  if (out.size() >= kMaxOutput) out.resize(kMaxOutput - 1);
  std::memcpy(buffer, out.c_str(), out.size() + 1);
  return static_cast<int>(out.size());
}
