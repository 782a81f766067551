// Strings and characters of the output's own width: null, quiet, precision, low bits of 'c'.
#include <gtest/gtest.h>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterText, Strings) {
  CheckBothTwins({
      {"%s|%s|%3s|", {"hello", "", ""}, "hello||   |", 0},
      {"%s|%8s|%.3s",
       {Arg::NullText(), Arg::NullText(), Arg::NullText()},
       "(null)|  (null)|(nu",
       0},
      {"[%!s|%!8s|%!s]", {Arg::NullText(), Arg::NullText(), "x"}, "[||x]", 0},
      // '+', '#' and 'L' do not apply to text: no sign handling, no prefix, no 64-bit value.
      {"%+05s|%#5s|%LLs", {"-7", "ab", "ab"}, "000-7|   ab|ab", 0},
  });
}

TEST(FormatterText, Characters) {
  CheckBothTwins({
      {"%c|%-3c|%.1c", {'A', 'x', 'B'}, "A|x  |B", 0},
      {"[%c|%3c|%!3c]", {0, 0, 0}, "[|   |   ]", 0},  // a zero character is the empty text
      {"%#+c%LLc", {'A', 'B'}, "AB", 0},              // an int whatever the flags
  });
}

TEST(FormatterText, CharacterWidthOfEachTwin) {
  Check<char>({{"%c%c", {0x141, 0x1E9}, "A\xE9"}});                         // the low byte
  Check<char16_t>({{u"%c%C|%c", {0x10041, 0x416, 0x10000}, u"A\u0416|"}});  // the low 16 bits
}

TEST(FormatterText, SameWidthLettersOfEachTwin) {
  // 'A' is narrow text in the narrow twin, 'S' wide text in the wide twin.
  Check<char>({{"%A|%5A|%!A", {"abc", "ab", Arg::NullText()}, "abc|   ab|"}});
  Check<char16_t>({{u"%S|%-4S|%S",
                    {Arg::Wide(u"\u0416x"), Arg::Wide(u"ab"), Arg::Wide(nullptr)},
                    u"\u0416x|ab  |(null)"}});
}

}  // namespace
}  // namespace formatter_test
