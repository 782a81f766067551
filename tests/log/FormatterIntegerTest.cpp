// Integer conversions: sizes, bases, the most negative values, '+', '#' and '!'.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
const Arg kUint64Max = Arg::Int64(-1);

TEST(FormatterIntegers, SizesAndSignedness) {
  CheckBothTwins({
      {"%d|%i|%d|%u|%Lu",
       {0, -1, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu},
       "0|-1|-1|4294967295|4294967295",
       0},
      {"%d|%Ld", {kInt32Min, kInt32Min}, "-2147483648|-2147483648", 0},
      {"%LLd|%LLi", {Arg::Int64(kInt64Min), Arg::Int64(-1)}, "-9223372036854775808|-1", 0},
      {"%LLu|%LLd|%d",
       {kUint64Max, Arg::Int64(1LL << 32), 3},
       "18446744073709551615|4294967296|3",
       0},
  });
}

TEST(FormatterIntegers, Bases) {
  CheckBothTwins({
      {"%b|%b|%b", {5, 0, kInt32Min}, "101|0|1" + std::string(31, '0'), 0},
      {"%LLb", {kUint64Max}, std::string(64, '1'), 0},
      {"%o|%o|%LLo", {8, -1, kUint64Max}, "10|37777777777|1777777777777777777777", 0},
      {"%x|%X|%x|%LX", {255, 255, 0xDEADBEEFu, 0xDEADBEEFu}, "ff|FF|deadbeef|DEADBEEF", 0},
      {"%LLx", {Arg::Int64(0x123456789ABCDEF0)}, "123456789abcdef0", 0},
  });
}

TEST(FormatterIntegers, PlusAndAlternateForm) {
  CheckBothTwins({
      {"%+d|%+d|%+d|%+u", {5, 0, -5, 7}, "+5|+0|-5|+7", 0},
      {"%+LLd", {Arg::Int64(kInt64Min)}, "-9223372036854775808", 0},
      // '+' is cleared for the other bases, '#' for base 2; base 10 takes no prefix.
      {"%+o|%+x|%+X|%+b|%#b|%#d", {8, 255, 255, 5, 5, 10}, "10|ff|FF|101|101|10", 0},
      {"%#o|%#o|%#x|%#x|%#X", {8, 0, 0, 5, 255}, "010|00|0x0|0x5|0XFF", 0},
  });
}

TEST(FormatterIntegers, QuietZeroVanishes) {
  CheckBothTwins({
      {"[%!d|%!5d|%!+#x|%!LLu]", {0, 0, 0, Arg::Int64(0)}, "[|||]", 0},
      {"[%!d|%!3d]", {7, -7}, "[7| -7]", 0},
  });
}

}  // namespace
}  // namespace formatter_test
