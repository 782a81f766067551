#include "log/RuntimeText.h"

#include <cstdarg>
#include <cstring>
#include <memory>

#include "log/EmitField.h"
#include "platform/Win32.h"

namespace {

// vsprintf_s ends the process when the text does not fit its buffer, so the text is measured
// with _vscprintf first. A variadic helper because a va_list cannot be built by hand.
void RuntimeFormat(char (&buffer)[kFixedTextBuffer], const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = _vscprintf(format, measure);
  va_end(measure);
  if (length >= 0 && static_cast<std::size_t>(length) < kFixedTextBuffer) {
    if (vsprintf_s(buffer, kFixedTextBuffer, format, args) < 0) buffer[0] = '\0';
  } else {
    buffer[0] = '\0';
  }
  va_end(args);
}

}  // namespace

void FormatFixed(char (&buffer)[kFixedTextBuffer], double value, std::uint32_t flags,
                 std::int32_t precision) {
  // Precision 0 (absent or written as .0) and 64 or more give the runtime's six decimals; the
  // runtime itself takes a negative precision as absent.
  const bool useLong = (flags & FLAG_LONG) != 0;
  if (precision == 0 || precision >= static_cast<std::int32_t>(kFixedTextBuffer)) {
    RuntimeFormat(buffer, useLong ? "%Lf" : "%f", value);
  } else {
    // The runtime formats a double under "L" as well: the value stays a double.
    RuntimeFormat(buffer, useLong ? "%.*Lf" : "%.*f", precision, value);
  }
}

namespace {

// The runtime's conversions to the other width, in the "C" locale.
errno_t ConvertText(std::size_t* count, char16_t* out, std::size_t size, const char* text,
                    std::size_t length) {
  return mbstowcs_s(count, AsWin(out), size, text, length);
}
errno_t ConvertText(std::size_t* count, char* out, std::size_t size, const char16_t* text,
                    std::size_t length) {
  return wcstombs_s(count, out, size, AsWin(text), length);
}

// Asks the runtime for the size first, then converts into a buffer of that size plus one, and
// places the result; null text stays null text.
template <typename Out, typename In>
void EmitConverted(std::basic_string<Out>& output, const In* text, const FormatSpec<Out>& spec) {
  if (text == nullptr) {
    EmitField<Out>(output, nullptr, spec);
    return;
  }
  const std::size_t length = std::char_traits<In>::length(text);
  std::size_t count = 0;  // characters plus the terminator
  // A runtime whose size query already sees an unconvertible character fails here: the same
  // failed conversion, so the same empty text as when the second call fails.
  if (ConvertText(&count, static_cast<Out*>(nullptr), 0, text, length) != 0) {
    const Out empty[1] = {};
    EmitField(output, empty, 0, spec);
    return;
  }
  if (count == 0) {
    EmitField<Out>(output, nullptr, spec);
    return;
  }
  const auto converted = std::make_unique_for_overwrite<Out[]>(count + 1);
  std::size_t written = 0;
  if (ConvertText(&written, converted.get(), count + 1, text, length) != 0) converted[0] = Out{};
  EmitField<Out>(output, converted.get(), spec);
}

}  // namespace

void EmitNarrowAsWide(std::u16string& output, const char* text, const FormatSpec<char16_t>& spec) {
  EmitConverted(output, text, spec);
}

void EmitWideAsNarrow(std::string& output, const char16_t* text, const FormatSpec<char>& spec) {
  EmitConverted(output, text, spec);
}
