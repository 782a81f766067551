// The runtime text pieces in the default "C" locale.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "winsim/winsim.h"

namespace {

TEST(WideToNarrow, ConvertsLikeTheCLocale) {
  struct {
    std::u16string text;
    std::size_t count;
    errno_t error;
    std::string narrow;  // expected text; its size + 1 is the expected count on success
  } const cases[] = {
      {u"abc", 3, 0, "abc"},
      {u"caf\u00e9", 4, 0, "caf\xe9"},
      {u"a\u0416b", 3, 42, ""},  // EILSEQ
      {u"abcdef", 2, 0, "ab"},
      {std::u16string(u"ab\0cd", 5), 5, 0, "ab"},
      {u"", 0, 0, ""},
      {u"0123456789abcdef", 16, 34, ""},  // ERANGE: 17 bytes needed
      {u"0123456789abcde", 15, 0, "0123456789abcde"},
  };
  for (const auto& c : cases) {
    std::size_t converted = 99;
    char buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(c.error, wcstombs_s(&converted, buffer, sizeof buffer, c.text.c_str(), c.count));
    EXPECT_EQ(c.error == 0 ? c.narrow.size() + 1 : 0u, converted);
    EXPECT_EQ(c.narrow, std::string(buffer));
  }
}

TEST(WideToNarrow, SizeQueryCountsTheTerminatorAndIgnoresTheCharacters) {
  struct {
    std::u16string text;
    std::size_t count;
    std::size_t expected;
  } const cases[] = {{u"abc", 3, 4}, {u"a\u0416b", 3, 4}, {u"abcdef", 2, 3}, {u"", 0, 1}};
  for (const auto& c : cases) {
    std::size_t converted = 0;
    EXPECT_EQ(0, wcstombs_s(&converted, nullptr, 0, c.text.c_str(), c.count));
    EXPECT_EQ(c.expected, converted);
  }
}

TEST(NarrowToWide, EveryByteBecomesTheCharacterOfTheSameValueWithinTheBounds) {
  std::string all;
  for (int b = 1; b <= 0xFF; ++b) all += static_cast<char>(b);
  std::size_t converted = 0;
  EXPECT_EQ(0, mbstowcs_s(&converted, nullptr, 0, all.c_str(), all.size()));
  EXPECT_EQ(256u, converted);
  std::u16string wide(converted, u'x');
  EXPECT_EQ(0, mbstowcs_s(&converted, wide.data(), wide.size(), all.c_str(), all.size()));
  for (std::size_t i = 0; i < wide.size(); ++i) EXPECT_EQ(i < 255 ? i + 1 : 0, wide[i]);
  EXPECT_EQ(34, mbstowcs_s(&converted, wide.data(), 3, "abcdef", 6));
  EXPECT_EQ(0, mbstowcs_s(&converted, wide.data(), 3, "abcdef", 2));
  EXPECT_EQ(u"ab", std::u16string(wide.c_str()));
}

int Format(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = vsprintf_s(buffer, size, format, args);
  va_end(args);
  return result;
}

int Measure(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = _vscprintf(format, args);
  va_end(args);
  return result;
}

TEST(RuntimeFormat, LongDoubleModifierMeansDouble) {
  char buffer[64];
  EXPECT_EQ(8, Format(buffer, sizeof buffer, "%Lf", 1.25));
  EXPECT_STREQ("1.250000", buffer);
  EXPECT_EQ(4, Format(buffer, sizeof buffer, "%.*Lf", 2, 3.14159));
  EXPECT_STREQ("3.14", buffer);
  EXPECT_EQ(10, Format(buffer, sizeof buffer, "%%%5.1Le|%d", 2.0, 7));
  EXPECT_STREQ("%2.0e+00|7", buffer);
  EXPECT_EQ(8, Measure("%Lf", 1.25));
  EXPECT_EQ(4, Measure("%.*Lf", 2, 3.14159));
}

TEST(RuntimeFormat, WindowsIntegerSizesAndMeasure) {
  char buffer[64];
  Format(buffer, sizeof buffer, "%I64d %I32u", -5000000000LL, 7u);
  EXPECT_STREQ("-5000000000 7", buffer);
  EXPECT_EQ(67, Measure("%f", 1e60));  // 60 digits, the point and six decimals
}

TEST(RuntimeFormatDeathTest, ResultThatDoesNotFitEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char buffer[64];
  EXPECT_DEATH(Format(buffer, sizeof buffer, "%f", 1e60), "result does not fit the buffer");
  EXPECT_DEATH(Format(buffer, 8, "%f", 1.25), "invalid parameter handler");
  EXPECT_EQ(8, Format(buffer, 9, "%f", 1.25));  // an exact fit is fine
}

TEST(UserFormat, Directives) {
  char buffer[64];
  EXPECT_EQ(4, wsprintfA(buffer, "%i: ", 12));
  EXPECT_STREQ("12: ", buffer);
  EXPECT_EQ(25,
            wsprintfA(buffer, "[%02d:%-3u|%5s|%c%%%x%X%#x]", 9, 5u, "ab", 'Z', 255u, 255u, 16u));
  EXPECT_STREQ("[09:5  |   ab|Z%ffFF0x10]", buffer);
  wsprintfA(buffer, "%s %ld %hd", static_cast<const char*>(nullptr), -3, 65537);
  EXPECT_STREQ("(null) -3 1", buffer);
  const std::string longText(2000, 'a');
  std::string big(2048, 'x');
  EXPECT_EQ(1023, wsprintfA(big.data(), "%s", longText.c_str()));  // 1024 with the terminator
}

}  // namespace
