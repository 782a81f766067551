// The runtime text pieces in the default "C" locale.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "winsim/winsim.h"

namespace {

struct NarrowCase {
  const char* name;
  std::u16string text;
  std::size_t count;
  errno_t error;
  std::string narrow;  // expected text; its size + 1 is the expected count on success
};

class WideToNarrow : public testing::TestWithParam<NarrowCase> {};

TEST_P(WideToNarrow, ConvertsLikeTheCLocale) {
  const NarrowCase& c = GetParam();
  std::size_t converted = 99;
  char buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 'x');
  EXPECT_EQ(c.error, wcstombs_s(&converted, buffer, sizeof buffer, c.text.c_str(), c.count));
  EXPECT_EQ(c.error == 0 ? c.narrow.size() + 1 : 0u, converted);
  EXPECT_EQ(c.narrow, std::string(buffer));
}

INSTANTIATE_TEST_SUITE_P(
    CLocale, WideToNarrow,
    testing::Values(NarrowCase{"Ascii", u"abc", 3, 0, "abc"},
                    NarrowCase{"Latin1", u"caf\u00e9", 4, 0, "caf\xe9"},
                    NarrowCase{"Cyrillic", u"a\u0416b", 3, 42, ""},
                    NarrowCase{"CountBounds", u"abcdef", 2, 0, "ab"},
                    NarrowCase{"StopsAtZero", std::u16string(u"ab\0cd", 5), 5, 0, "ab"},
                    NarrowCase{"Empty", u"", 0, 0, ""},
                    NarrowCase{"TooLong", u"0123456789abcdef", 16, 34, ""},
                    NarrowCase{"FitsExactly", u"0123456789abcde", 15, 0, "0123456789abcde"}),
    [](const auto& param) { return std::string(param.param.name); });

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

TEST(WideToNarrow, RefusesInconsistentArguments) {
  std::size_t converted = 7;
  char buffer[4];
  EXPECT_EQ(22, wcstombs_s(&converted, nullptr, 4, u"a", 1));
  EXPECT_EQ(22, wcstombs_s(&converted, buffer, sizeof buffer, nullptr, 1));
  EXPECT_EQ(0u, converted);
}

TEST(NarrowToWide, EveryByteBecomesTheCharacterOfTheSameValue) {
  std::string all;
  for (int b = 1; b <= 0xFF; ++b) all += static_cast<char>(b);
  std::size_t converted = 0;
  EXPECT_EQ(0, mbstowcs_s(&converted, nullptr, 0, all.c_str(), all.size()));
  EXPECT_EQ(256u, converted);
  std::u16string wide(converted + 1, u'x');
  EXPECT_EQ(0, mbstowcs_s(&converted, wide.data(), wide.size(), all.c_str(), all.size()));
  ASSERT_EQ(256u, converted);
  for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(i + 1, wide[i]);
  EXPECT_EQ(0, wide[255]);
}

TEST(NarrowToWide, CountBoundsAndRoom) {
  std::size_t converted = 0;
  EXPECT_EQ(0, mbstowcs_s(&converted, nullptr, 0, "abcdef", 2));
  EXPECT_EQ(3u, converted);
  WCHAR small[3];
  EXPECT_EQ(34, mbstowcs_s(&converted, small, 3, "abcdef", 6));
  EXPECT_EQ(0u, converted);
  EXPECT_EQ(0, small[0]);
  EXPECT_EQ(0, mbstowcs_s(&converted, small, 3, "abcdef", 2));
  EXPECT_EQ(std::u16string(u"ab"), std::u16string(small));
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

TEST(RuntimeFormat, WindowsIntegerSizes) {
  char buffer[64];
  Format(buffer, sizeof buffer, "%I64d %I32u", -5000000000LL, 7u);
  EXPECT_STREQ("-5000000000 7", buffer);
}

TEST(RuntimeFormat, MeasuresWithoutTheTerminator) {
  EXPECT_EQ(0, Measure(""));
  EXPECT_EQ(67, Measure("%f", 1e60));  // 60 digits, the point and six decimals
}

TEST(RuntimeFormat, ExactFitIsFine) {
  char buffer[9];
  EXPECT_EQ(8, Format(buffer, sizeof buffer, "%f", 1.25));
  EXPECT_STREQ("1.250000", buffer);
}

TEST(RuntimeFormatDeathTest, ResultThatDoesNotFitEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char buffer[64];
  EXPECT_DEATH(Format(buffer, sizeof buffer, "%f", 1e60), "result does not fit the buffer");
  EXPECT_DEATH(Format(buffer, 8, "%f", 1.25), "invalid parameter handler");
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
}

TEST(UserFormat, OutputIsCappedAt1024BytesWithTheTerminator) {
  const std::string longText(2000, 'a');
  std::string buffer(2048, 'x');
  EXPECT_EQ(1023, wsprintfA(buffer.data(), "%s", longText.c_str()));
  EXPECT_EQ(1023u, std::string(buffer.c_str()).size());
}

}  // namespace
