#include "log/Formatter.h"

#include <cstdint>

#include "log/FormatEngine.h"

namespace {

// The formatter's argument source over a caller's va_list. Sizes: int and 'L' values are 32
// bits, 'LL' values 64 bits; pointers and doubles as passed.
class VaListArguments {
 public:
  explicit VaListArguments(va_list* args) : args_(args) {}
  std::int32_t Star() { return va_arg(*args_, int); }
  std::int32_t Int32() { return va_arg(*args_, int); }
  std::int64_t Int64() { return va_arg(*args_, long long); }
  double Double() { return va_arg(*args_, double); }
  const char* NarrowText() { return va_arg(*args_, const char*); }
  const char16_t* WideText() { return va_arg(*args_, const char16_t*); }

 private:
  va_list* args_;
};

template <typename CharT>
int FormatList(std::basic_string<CharT>& output, const CharT* format, va_list args) {
  // A va_list parameter may be an array that decayed to a pointer: copy it into a local one to
  // hand it on by address.
  va_list local;
  va_copy(local, args);
  VaListArguments source(&local);
  const int result = FormatWith(output, format, source);
  va_end(local);
  return result;
}

}  // namespace

int FormatWide(std::u16string& output, const char16_t* format, va_list args) {
  return FormatList(output, format, args);
}

int FormatNarrow(std::string& output, const char* format, va_list args) {
  return FormatList(output, format, args);
}

int FormatNarrow(std::string& output, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = FormatList(output, format, args);
  va_end(args);
  return result;
}
