// The runtime text pieces the log relies on, in the default "C" locale.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "winsim/winsim.h"

namespace {

// Both directions; the size query counts the terminator and succeeds whatever the characters.
TEST(Text, WideNarrowRoundTrip) {
  struct {
    std::u16string text;
    std::size_t count, needed;
    errno_t error;  // of the conversion into 16 bytes
    std::string narrow;
  } const cases[] = {
      {u"caf\u00e9", 4, 5, 0, "caf\xe9"},
      {u"a\u0416b", 3, 4, 42, ""},            // EILSEQ: no narrow form in the "C" locale
      {u"abcdef", 2, 3, 0, "ab"},             // the count bounds the characters read
      {u"0123456789abcdef", 16, 17, 34, ""},  // ERANGE: no room for the terminator
  };
  for (const auto& c : cases) {
    std::size_t needed = 0, converted = 99;
    char buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(0, wcstombs_s(&needed, nullptr, 0, c.text.c_str(), c.count));
    EXPECT_EQ(c.needed, needed);
    EXPECT_EQ(c.error, wcstombs_s(&converted, buffer, sizeof buffer, c.text.c_str(), c.count));
    EXPECT_EQ(c.error == 0 ? c.needed : 0u, converted);
    EXPECT_EQ(c.narrow, std::string(buffer));
    if (c.error != 0) continue;
    char16_t wide[16] = {};
    EXPECT_EQ(0, mbstowcs_s(&converted, wide, 16, c.narrow.c_str(), c.narrow.size()));
    EXPECT_EQ(c.text.substr(0, c.count), std::u16string(wide));
    EXPECT_EQ(c.needed, converted);
  }
}

// vsprintf_s into the buffer, or _vscprintf's length when there is none.
int Format(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = buffer ? vsprintf_s(buffer, size, format, args) : _vscprintf(format, args);
  va_end(args);
  return result;
}

TEST(Text, RuntimeFormatReadsLAsDouble) {
  struct {
    const char* format;
    double value;
    const char* text;
  } const cases[] = {
      {"%Lf", 1.25, "1.250000"}, {"%.2Lf", 3.14159, "3.14"}, {"%5.1Le|", 2.0, "2.0e+00|"}};
  for (const auto& c : cases) {
    char buffer[16];
    const int length = static_cast<int>(std::strlen(c.text));
    EXPECT_EQ(length, Format(nullptr, 0, c.format, c.value));  // _vscprintf
    EXPECT_EQ(length, Format(buffer, sizeof buffer, c.format, c.value));
    EXPECT_STREQ(c.text, buffer);
  }
  char prefix[8];
  EXPECT_EQ(4, wsprintfA(prefix, "%i: ", 12));  // the log's level prefix
  EXPECT_STREQ("12: ", prefix);
}

TEST(TextDeathTest, VsprintfEndsTheProcessWhenTheResultDoesNotFit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char buffer[9];
  EXPECT_DEATH(Format(buffer, 8, "%f", 1.25), "result does not fit the buffer");
  EXPECT_EQ(8, Format(buffer, 9, "%f", 1.25));  // an exact fit is fine
}

}  // namespace
