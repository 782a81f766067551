// Strings and characters of the output's own width: null, quiet, precision, low bits of 'c'.
#include <gtest/gtest.h>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterText, Strings) {
  CheckBothTwins({
      {"%s", {"hello"}, "hello", 0},
      {"[%s]", {""}, "[]", 0},
      {"[%3s]", {""}, "[   ]", 0},
      {"%s", {Arg::NullText()}, "(null)", 0},
      {"%8s", {Arg::NullText()}, "  (null)", 0},
      {"%.3s", {Arg::NullText()}, "(nu", 0},
      {"[%!s]", {Arg::NullText()}, "[]", 0},
      {"[%!8s]", {Arg::NullText()}, "[]", 0},
      {"[%!s]", {"x"}, "[x]", 0},
      // '+', '#' and 'L' do not apply to text: no sign handling, no prefix, no 64-bit value.
      {"%+05s", {"-7"}, "000-7", 0},
      {"%#5s", {"ab"}, "   ab", 0},
      {"%LLs", {"ab"}, "ab", 0},
  });
}

TEST(FormatterText, Characters) {
  CheckBothTwins({
      {"%c", {'A'}, "A", 0},
      {"%-3c|", {'x'}, "x  |", 0},
      {"[%c]", {0}, "[]", 0},  // a zero character is the empty text
      {"[%3c]", {0}, "[   ]", 0},
      {"[%!3c]", {0}, "[   ]", 0},  // '!' is for integers and strings only
      {"%#+c", {'A'}, "A", 0},
      {"%LLc", {'A'}, "A", 0},  // takes an int whatever the size flags
      {"%.1c", {'A'}, "A", 0},
  });
}

TEST(FormatterText, NarrowCharacterIsTheLowByte) {
  const Outcome<char> out = Format<char>("%c%c", {0x141, 0x1E9});
  EXPECT_EQ(out.text, "A\xE9");
  EXPECT_EQ(out.result, 0);
}

TEST(FormatterText, WideCharacterIsTheLow16Bits) {
  const Outcome<char16_t> out = Format<char16_t>("%c%C|%c", {0x10041, 0x416, 0x10000});
  EXPECT_EQ(out.text, u"A\u0416|");
  EXPECT_EQ(out.result, 0);
}

TEST(FormatterText, SameWidthLettersOfEachTwin) {
  // 'A' is narrow text in the narrow twin, 'S' wide text in the wide twin.
  const Outcome<char> narrow = Format<char>("%A|%5A|%!A", {"abc", "ab", Arg::NullText()});
  EXPECT_EQ(narrow.text, "abc|   ab|");
  const Outcome<char16_t> wide =
      Format<char16_t>("%S|%-4S|%S", {Arg::Wide(u"\u0416x"), Arg::Wide(u"ab"), Arg::Wide(nullptr)});
  EXPECT_EQ(wide.text, u"\u0416x|ab  |(null)");
}

}  // namespace
}  // namespace formatter_test
