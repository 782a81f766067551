// Fuzzes the formatter twins with arbitrary formats and a typed value stream cut from the same
// input through the argument-source seam (never a real va_list): each value a directive asks
// for is decoded from the next bytes as its own type. Input: byte 0 is the mode, byte 1 the
// format length in characters, then the format, then the values. Even mode: a narrow format
// through both twins (widened for the wide one), which must agree unless it holds 'c' or 'C'.
// Odd mode: a wide format and wide texts of two bytes a character, so U+0100 and up occur.
// Every result must be 0 or the index of a character after some '%' of the format.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <deque>
#include <string>

#include "log/FormatEngine.h"

namespace {

class ValueStream {
 public:
  ValueStream(const std::uint8_t* data, std::size_t size, std::size_t wideUnit)
      : data_(data), size_(size), wideUnit_(wideUnit) {}

  // Widths and precisions stay small so that fill runs cannot exhaust memory.
  std::int32_t Star() { return static_cast<std::int16_t>(Take(2)) % 2048; }
  std::int32_t Int32() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(Take(4))); }
  std::int64_t Int64() { return static_cast<std::int64_t>(Take(8)); }
  double Double() { return std::bit_cast<double>(Take(8)); }
  const char* NarrowText() { return Text(narrow_, 1); }
  const char16_t* WideText() { return Text(wide_, wideUnit_); }

 private:
  // The next `bytes` bytes, little-endian; missing bytes read as zero.
  std::uint64_t Take(std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i, ++pos_) {
      if (pos_ < size_) value |= std::uint64_t{data_[pos_]} << (8 * i);
    }
    return value;
  }
  // A length byte (0xFF: null pointer), then that many characters. Deques keep texts in place.
  template <typename CharT>
  const CharT* Text(std::deque<std::basic_string<CharT>>& texts, std::size_t unit) {
    const std::uint64_t length = Take(1);
    if (length == 0xFF) return nullptr;
    std::basic_string<CharT>& text = texts.emplace_back();
    for (std::uint64_t i = 0; i < length && pos_ < size_; ++i) text.push_back(CharT(Take(unit)));
    return text.c_str();
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t wideUnit_;
  std::size_t pos_ = 0;
  std::deque<std::string> narrow_;
  std::deque<std::u16string> wide_;
};

static_assert(FormatArguments<ValueStream>);

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

template <typename CharT>
std::basic_string<CharT> Run(const std::basic_string<CharT>& format, const std::uint8_t* values,
                             std::size_t size, std::size_t wideUnit, int& result) {
  ValueStream source(values, size, wideUnit);
  std::basic_string<CharT> output;
  result = FormatWith(output, format.c_str(), source);
  const auto stop = static_cast<std::size_t>(result);
  Require(result == 0 || (result > 0 && stop <= format.size() && format.find(CharT('%')) < stop));
  return output;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t unit = (data[0] & 1) + 1;
  const std::size_t length = std::min<std::size_t>(data[1], (size - 2) / unit);
  const std::uint8_t* values = data + 2 + length * unit;
  const std::size_t valueSize = size - 2 - length * unit;
  std::u16string wideFormat;
  for (std::size_t i = 0; i < length; ++i) {
    const auto c =
        static_cast<char16_t>(unit == 2 ? data[2 + 2 * i] | data[3 + 2 * i] << 8 : data[2 + i]);
    if (c == 0) break;  // the format ends at its first zero
    wideFormat.push_back(c);
  }
  int wideResult = 0;
  const std::u16string wide = Run(wideFormat, values, valueSize, unit, wideResult);
  if (unit == 2) return 0;

  std::string format;
  for (const char16_t c : wideFormat) format.push_back(static_cast<char>(c));
  int narrowResult = 0;
  const std::string narrow = Run(format, values, valueSize, 1, narrowResult);
  if (format.find_first_of("cC") != std::string::npos) return 0;
  Require(wideResult == narrowResult && wide.size() == narrow.size());
  for (std::size_t i = 0; i < narrow.size(); ++i) Require(wide[i] == std::uint8_t(narrow[i]));
  return 0;
}
