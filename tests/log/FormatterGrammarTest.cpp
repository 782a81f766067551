// Directive grammar, the stop index of an unreadable directive, and delimiters.
#include <gtest/gtest.h>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterGrammar, LiteralTextAndPercent) {
  CheckBothTwins({
      {"", {}, "", 0},
      {"plain text\twith a tab\n", {}, "plain text\twith a tab\n", 0},
      {"%%", {}, "%", 0},
      {"50%% off, %d%%", {7}, "50% off, 7%", 0},
  });
}

TEST(FormatterGrammar, StopsAtTheCharacterItCannotRead) {
  CheckBothTwins({
      // The end of the format in each place a directive can end early.
      {"100%", {}, "100", 4},
      {"%-", {}, "", 2},
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
      {"%e", {}, "", 1},
      // Flags are read only before the fill: a flag after it is no conversion.
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
      {"%.1234s", {"abc"}, "abc", 0},
      {"%0004d", {7}, "0007", 0},
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
      {"%Ld", {-5}, "-5", 0},
      {"%LLd", {Arg::Int64(1LL << 40)}, "1099511627776", 0},
      {"%LLLd", {Arg::Int64(-(1LL << 40))}, "-1099511627776", 0},
      // After a width 'L' is the conversion: no value, no output; 'f' is then literal.
      {"%5Lf", {}, "f", 0},
      {"[%.3L]", {}, "[]", 0},
      {"%:xL!", {}, "!", 0},
  });
}

TEST(FormatterGrammar, DelimitedDirectives) {
  CheckBothTwins({
      {"%{d}", {42}, "42", 0},
      {"%|d|", {42}, "42", 0},
      {"<%{5d}>", {42}, "<   42>", 0},
      {"a%|-4s|b", {"x"}, "ax   b", 0},
      {"%{.L}", {}, "", 0},
      {"%{L}", {}, "", 3},  // here 'L' is a size flag and '}' the conversion
      {"%{!d}", {0}, "", 0},
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
