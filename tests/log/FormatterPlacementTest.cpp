// Flags, fill, width and precision: where a converted text lands in its field.
#include <gtest/gtest.h>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterPlacement, Justification) {
  CheckBothTwins({
      {"%5d", {42}, "   42", 0},
      {"%-5d", {42}, "42   ", 0},
      {"%=7s", {"ab"}, "  ab   ", 0},
      {"%=6s", {"ab"}, "  ab  ", 0},
      {"%=-7s", {"ab"}, "ab     ", 0},  // '-' after '=' gives left
      {"%-=7s", {"ab"}, "  ab   ", 0},  // '=' after '-' gives centre
      {"%3s", {"abcdef"}, "abcdef", 0},
  });
}

TEST(FormatterPlacement, FillCharacter) {
  CheckBothTwins({
      {"%05d", {-42}, "00-42", 0},
      {"%-05d", {42}, "42000", 0},
      {"%:*6d", {42}, "****42", 0},
      {"%:.5s", {"ab"}, "...ab", 0},
      {"%=::6s", {"ab"}, "::ab::", 0},
      {"%0:_4d", {7}, "___7", 0},  // the ':' fill follows the '0' flag
      {"%:05d", {7}, "00007", 0},
  });
}

TEST(FormatterPlacement, SignAndPrefixStandBeforeThePadding) {
  CheckBothTwins({
      {"%+05d", {42}, "+0042", 0},
      {"%+5d", {42}, "+  42", 0},
      {"%+05d", {-42}, "-0042", 0},
      {"%+-5d", {-42}, "-42  ", 0},
      {"%+=7d", {5}, "+  5   ", 0},
      {"%#5x", {255}, "0x ff", 0},
      {"%#05x", {255}, "0x0ff", 0},
      {"%#-6x", {255}, "0xff  ", 0},
      {"%#:*6o", {8}, "0***10", 0},
      {"%#2x", {255}, "0xff", 0},
  });
}

TEST(FormatterPlacement, PrecisionTruncatesEveryText) {
  CheckBothTwins({
      {"%.3s", {"abcdef"}, "abc", 0},
      {"%6.3s", {"abcdef"}, "   abc", 0},
      {"%-6.3s|", {"abcdef"}, "abc   |", 0},
      {"%=6.3s", {"abcdef"}, " abc  ", 0},
      {"%.2d", {12345}, "12", 0},
      {"%.2d", {-12345}, "-1", 0},
      {"%+.2d", {-12345}, "-1", 0},
      {"%+.2d", {12345}, "+1", 0},
      {"%#.1x", {255}, "0xf", 0},
      {"%.0s", {"abc"}, "abc", 0},  // precision 0 means none
  });
}

TEST(FormatterPlacement, StarTakesWidthThenPrecisionThenValue) {
  CheckBothTwins({
      {"%*d", {6, 42}, "    42", 0},
      {"%*d", {-6, 42}, "42", 0},  // a negative width counts as none
      {"%.*s", {2, "abcdef"}, "ab", 0},
      {"%.*s", {-1, "abcdef"}, "abcdef", 0},  // a negative precision counts as none
      {"%*.*s|", {5, 2, "abc"}, "   ab|", 0},
      {"%-*.*s|", {5, 2, "abc"}, "ab   |", 0},
  });
}

TEST(FormatterPlacement, WideFillIsAWholeCharacter) {
  const std::u16string format = u"%:\u25005d|%=:\u00e95s";
  const std::vector<Arg> args{42, "ab"};
  TypedArguments source(args);
  std::u16string output;
  EXPECT_EQ(FormatWith(output, format.c_str(), source), 0);
  EXPECT_EQ(output, u"\u2500\u2500\u250042|\u00e9ab\u00e9\u00e9");
}

}  // namespace
}  // namespace formatter_test
