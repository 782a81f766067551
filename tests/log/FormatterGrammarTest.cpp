// Directive grammar, the stop index of an unreadable directive, and delimiters.
#include <gtest/gtest.h>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterGrammar, LiteralTextAndPercent) {
  CheckBothTwins({
      {"", {}, "", 0},
      {"plain text\twith a tab\n", {}, "plain text\twith a tab\n", 0},
      {"50%% off, %d%%", {7}, "50% off, 7%", 0},
  });
}

TEST(FormatterGrammar, StopsAtTheCharacterItCannotRead) {
  CheckBothTwins({
      // The end of the format in each place a directive can end early.
      {"100%", {}, "100", 4},
      {"%!#+", {}, "", 4},
      {"x%:", {}, "x", 3},
      {"x%:*", {}, "x", 4},
      {"%5", {}, "", 2},
      {"%.", {}, "", 2},
      {"%.5", {}, "", 3},
      {"%{", {}, "", 2},
      // A character outside the conversion set.
      {"a%pb", {}, "a", 2},
      {"%ld", {}, "", 1},
      // Flags are read only before the fill.
      {"%:x-5d", {}, "", 3},
      // '%%' is recognised before the delimiter, so a delimited '%' is unreadable.
      {"%{%d}", {}, "", 2},
  });
}

TEST(FormatterGrammar, WidthAndPrecisionHaveAtMostFourDigits) {
  CheckBothTwins({
      {"%12345d", {}, "", 5},
      {"%.12345d", {}, "", 6},
      {"%1234d", {7}, std::string(1233, ' ') + "7", 0},
      {"%.1234s|%0004d", {"abc", 7}, "abc|0007", 0},
  });
}

TEST(FormatterGrammar, NoValueIsTakenAfterTheStop) {
  // The harness checks that exactly the listed values were taken.
  CheckBothTwins({
      {"%d %q %d", {1}, "1 ", 4},
      {"%*q", {5}, "", 2},
      {"%s%12345s", {"ab"}, "ab", 7},
  });
}

TEST(FormatterGrammar, LetterLIsASizeFlagAndAnEmptyConversion) {
  CheckBothTwins({
      {"%Ld|%LLd|%LLLd", {-5, Arg::Int64(1LL << 40), Arg::Int64(-1)}, "-5|1099511627776|-1", 0},
      // After a fill, width or precision 'L' is the conversion: no value, no output.
      {"%5Lf[%.3L]%:xL!", {}, "f[]!", 0},
  });
}

TEST(FormatterGrammar, DelimitedDirectives) {
  CheckBothTwins({
      {"%{d}|%|d|", {42, 43}, "42|43", 0},
      {"<%{5d}>a%|-4s|b", {42, "x"}, "<   42>ax   b", 0},
      {"%{.L}%{!d}", {0}, "", 0},
      {"%{L}", {}, "", 3},  // here 'L' is a size flag and '}' the conversion
      // A missing or wrong closing delimiter: the field stays and the call stops on it.
      {"%{d", {42}, "42", 3},
      {"%{d] %d", {42}, "42", 3},
      {"%|5d}", {42}, "   42", 4},
      {"%{d|", {42}, "42", 3},
      {"%{}", {}, "", 2},
      {"%||", {}, "", 2},
  });
}

}  // namespace
}  // namespace formatter_test
