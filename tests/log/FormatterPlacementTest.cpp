// Flags, fill, width and precision: where a converted text lands in its field.
#include <gtest/gtest.h>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterPlacement, Justification) {
  CheckBothTwins({
      {"%5d|%-5d|%3s", {42, 42, "abcdef"}, "   42|42   |abcdef", 0},
      {"%=7s|%=6s", {"ab", "ab"}, "  ab   |  ab  ", 0},
      {"%=-7s|%-=7s", {"ab", "ab"}, "ab     |  ab   ", 0},  // the later of '-' and '=' wins
  });
}

TEST(FormatterPlacement, FillCharacter) {
  CheckBothTwins({
      {"%05d|%-05d", {-42, 42}, "00-42|42000", 0},
      {"%:*6d|%:.5s|%=::6s", {42, "ab", "ab"}, "****42|...ab|::ab::", 0},
      {"%0:_4d|%:05d", {7, 7}, "___7|00007", 0},  // the ':' fill follows the '0' flag
  });
  Check<char16_t>(
      {{u"%:\u25005d|%=:\u00e95s", {42, "ab"}, u"\u2500\u2500\u250042|\u00e9ab\u00e9\u00e9"}});
}

TEST(FormatterPlacement, SignAndPrefixStandBeforeThePadding) {
  CheckBothTwins({
      {"%+05d|%+5d|%+05d|%+-5d|", {42, 42, -42, -42}, "+0042|+  42|-0042|-42  |", 0},
      {"%+=7d", {5}, "+  5   ", 0},
      {"%#5x|%#05x|%#-6x|%#2x", {255, 255, 255, 255}, "0x ff|0x0ff|0xff  |0xff", 0},
      {"%#:*6o", {8}, "0***10", 0},
  });
}

TEST(FormatterPlacement, PrecisionTruncatesEveryText) {
  CheckBothTwins({
      {"%.3s|%6.3s|%-6.3s|%=6.3s",
       {"abcdef", "abcdef", "abcdef", "abcdef"},
       "abc|   abc|abc   | abc  ",
       0},
      {"%.2d|%.2d|%+.2d|%+.2d", {12345, -12345, -12345, 12345}, "12|-1|-1|+1", 0},
      {"%#.1x|%.0s", {255, "abc"}, "0xf|abc", 0},  // precision 0 means none
  });
}

TEST(FormatterPlacement, StarTakesWidthThenPrecisionThenValue) {
  CheckBothTwins({
      {"%*d|%*d", {6, 42, -6, 42}, "    42|42", 0},  // a negative width counts as none
      {"%.*s|%.*s", {2, "abcdef", -1, "abcdef"}, "ab|abcdef", 0},  // so does a precision
      {"%*.*s|%-*.*s|", {5, 2, "abc", 5, 2, "abc"}, "   ab|ab   |", 0},
  });
}

}  // namespace
}  // namespace formatter_test
