// Fuzzes the formatter twins with arbitrary formats and a typed value stream cut from the same
// input: whatever a directive asks for (an int, a 64-bit integer, a double, a narrow or a wide
// text) is decoded from the next bytes, so no directive can read a value of the wrong type.
//
// Input: byte 0 selects the mode, byte 1 is the format length in characters, then the format,
// then the value stream.
//   mode even: a narrow format, run through both twins (widened byte by byte for the wide one);
//              unless the format holds 'c' or 'C', whose twins differ by design, the wide output
//              must be the narrow output widened, with the same result.
//   mode odd:  a wide format of 16-bit characters (two bytes each); wide texts also take two
//              bytes per character, so characters above U+00FF reach the conversions.
// Every result must be 0 or an index inside the format.
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>

#include "log/FormatEngine.h"

namespace {

class ValueStream {
 public:
  ValueStream(const std::uint8_t* data, std::size_t size, bool widePairs)
      : data_(data), size_(size), widePairs_(widePairs) {}

  // Widths and precisions stay small so that fill runs cannot exhaust memory.
  std::int32_t Star() { return static_cast<std::int16_t>(Take(2)) % 2048; }
  std::int32_t Int32() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(Take(4))); }
  std::int64_t Int64() { return static_cast<std::int64_t>(Take(8)); }
  double Double() {
    const std::uint64_t bits = Take(8);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // A length byte (0xFF: null pointer), then that many bytes.
  const char* NarrowText() {
    const auto length = static_cast<std::size_t>(Take(1));
    if (length == 0xFF) return nullptr;
    std::string& text = narrow_.emplace_back();
    for (std::size_t i = 0; i < length && pos_ < size_; ++i) {
      text.push_back(static_cast<char>(Take(1)));
    }
    return text.c_str();
  }
  const char16_t* WideText() {
    const auto length = static_cast<std::size_t>(Take(1));
    if (length == 0xFF) return nullptr;
    std::u16string& text = wide_.emplace_back();
    for (std::size_t i = 0; i < length && pos_ < size_; ++i) {
      text.push_back(static_cast<char16_t>(Take(widePairs_ ? 2 : 1)));
    }
    return text.c_str();
  }

 private:
  // The next `bytes` bytes, little-endian; missing bytes read as zero.
  std::uint64_t Take(std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
      const std::uint64_t byte = pos_ < size_ ? data_[pos_++] : 0;
      value |= byte << (8 * i);
    }
    return value;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  bool widePairs_;
  std::size_t pos_ = 0;
  std::deque<std::string> narrow_;  // deques keep earlier texts in place
  std::deque<std::u16string> wide_;
};

static_assert(FormatArguments<ValueStream>);

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

template <typename CharT>
void CheckResult(int result, const std::basic_string<CharT>& format) {
  Require(result >= 0 && static_cast<std::size_t>(result) <= format.size());
  // A stop happens inside a directive: some '%' stands before the stop index.
  Require(result == 0 || format.find(CharT('%')) < static_cast<std::size_t>(result));
}

void RunTwins(const std::string& format, const std::uint8_t* values, std::size_t size) {
  ValueStream narrowValues(values, size, false);
  std::string narrow;
  const int narrowResult = FormatWith(narrow, format.c_str(), narrowValues);
  CheckResult(narrowResult, format);

  std::u16string wideFormat;
  for (const char c : format) wideFormat.push_back(static_cast<unsigned char>(c));
  ValueStream wideValues(values, size, false);
  std::u16string wide;
  const int wideResult = FormatWith(wide, wideFormat.c_str(), wideValues);
  CheckResult(wideResult, wideFormat);

  if (format.find_first_of("cC") != std::string::npos) return;
  Require(wideResult == narrowResult);
  Require(wide.size() == narrow.size());
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    Require(wide[i] == static_cast<unsigned char>(narrow[i]));
  }
}

void RunWide(const std::u16string& format, const std::uint8_t* values, std::size_t size) {
  ValueStream source(values, size, true);
  std::u16string wide;
  CheckResult(FormatWith(wide, format.c_str(), source), format);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool wideMode = (data[0] & 1) != 0;
  const std::size_t unit = wideMode ? 2 : 1;
  std::size_t length = data[1];
  std::size_t pos = 2;
  if (length * unit > size - pos) length = (size - pos) / unit;

  if (wideMode) {
    std::u16string format;
    for (std::size_t i = 0; i < length; ++i, pos += 2) {
      const auto c = static_cast<char16_t>(data[pos] | (data[pos + 1] << 8));
      if (c == 0) break;  // the format ends at its first zero
      format.push_back(c);
    }
    pos = 2 + length * 2;
    RunWide(format, data + pos, size - pos);
  } else {
    std::string format(reinterpret_cast<const char*>(data + pos), length);
    format.resize(std::strlen(format.c_str()));
    pos += length;
    RunTwins(format, data + pos, size - pos);
  }
  return 0;
}
