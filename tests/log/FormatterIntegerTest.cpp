// Integer conversions: sizes, bases, the most negative values, '+', '#' and '!'.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::uint64_t kUint64Max = std::numeric_limits<std::uint64_t>::max();

TEST(FormatterIntegers, SizesAndSignedness) {
  CheckBothTwins({
      {"%d", {0}, "0", 0},
      {"%i", {-1}, "-1", 0},
      {"%d", {0xFFFFFFFFu}, "-1", 0},
      {"%u", {0xFFFFFFFFu}, "4294967295", 0},
      {"%Lu", {0xFFFFFFFFu}, "4294967295", 0},
      {"%d", {kInt32Min}, "-2147483648", 0},
      {"%Ld", {kInt32Min}, "-2147483648", 0},
      {"%LLd", {Arg::Int64(kInt64Min)}, "-9223372036854775808", 0},
      {"%LLi", {Arg::Int64(-1)}, "-1", 0},
      {"%LLu", {Arg::Uint64(kUint64Max)}, "18446744073709551615", 0},
      {"%LLx", {Arg::Uint64(0x123456789ABCDEF0ull)}, "123456789abcdef0", 0},
      {"%LLd|%d", {Arg::Int64(1LL << 32), 3}, "4294967296|3", 0},
  });
}

TEST(FormatterIntegers, Bases) {
  CheckBothTwins({
      {"%b", {5}, "101", 0},
      {"%b", {0}, "0", 0},
      {"%b", {kInt32Min}, "1" + std::string(31, '0'), 0},
      {"%LLb", {Arg::Uint64(kUint64Max)}, std::string(64, '1'), 0},
      {"%o", {8}, "10", 0},
      {"%o", {-1}, "37777777777", 0},
      {"%x", {255}, "ff", 0},
      {"%X", {255}, "FF", 0},
      {"%x", {0xDEADBEEFu}, "deadbeef", 0},
      {"%LX", {0xDEADBEEFu}, "DEADBEEF", 0},
      {"%LLo", {Arg::Uint64(kUint64Max)}, "1777777777777777777777", 0},
  });
}

TEST(FormatterIntegers, PlusAndAlternateForm) {
  CheckBothTwins({
      {"%+d", {5}, "+5", 0},
      {"%+d", {0}, "+0", 0},
      {"%+d", {-5}, "-5", 0},
      {"%+u", {7}, "+7", 0},
      {"%+LLd", {Arg::Int64(kInt64Min)}, "-9223372036854775808", 0},
      // '+' is cleared for the other bases, '#' for base 2; base 10 takes no prefix.
      {"%+o|%+x|%+X|%+b", {8, 255, 255, 5}, "10|ff|FF|101", 0},
      {"%#b|%#d", {5, 10}, "101|10", 0},
      {"%#o", {8}, "010", 0},
      {"%#o", {0}, "00", 0},
      {"%#x", {0}, "0x0", 0},
      {"%#x", {5}, "0x5", 0},
      {"%#X", {255}, "0XFF", 0},
  });
}

TEST(FormatterIntegers, QuietZeroVanishes) {
  CheckBothTwins({
      {"[%!d]", {0}, "[]", 0},
      {"[%!5d]", {0}, "[]", 0},
      {"[%!+#x]", {0}, "[]", 0},
      {"[%!LLu]", {Arg::Int64(0)}, "[]", 0},
      {"[%!d]", {7}, "[7]", 0},
      {"[%!3d]", {-7}, "[ -7]", 0},
  });
}

}  // namespace
}  // namespace formatter_test
