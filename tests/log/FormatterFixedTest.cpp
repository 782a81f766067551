// 'f': the runtime's fixed-point text, its precision table, and fields around it.
#include <gtest/gtest.h>

#include <string>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterFixed, PrecisionTable) {
  const double pi = 3.14159;
  CheckBothTwins({
      {"%f|%.2f", {pi, pi}, "3.141590|3.14", 0},
      // .0, a bare '.', 64 and more: the runtime's six decimals.
      {"%.0f|%.f|%.64f|%.9999f", {pi, pi, pi, pi}, "3.141590|3.141590|3.141590|3.141590", 0},
      {"%.*f|%.*f", {2, pi, -1, pi}, "3.14|3.141590", 0},
      {"%.3f|%.2f|%.4f", {0.0, 0.126, -0.5}, "0.000|0.13|-0.5000", 0},
      // 'L' formats the same double.
      {"%Lf|%L.3f|%LLf", {1.25, 1.25, -2.0}, "1.250000|1.250|-2.000000", 0},
  });
}

TEST(FormatterFixed, SignFillAndJustification) {
  CheckBothTwins({
      {"%08.2f|%+08.2f", {-3.5, -3.5}, "000-3.50|-0003.50", 0},
      {"%+f|%#f|%!f", {2.5, 1.0, 0.0}, "2.500000|1.000000|0.000000", 0},  // no sign, no prefix
      {"%=10.1f|%-8.1f|%*.*f", {2.5, 2.5, 8, 3, 2.5}, "   2.5    |2.5     |   2.500", 0},
  });
}

TEST(FormatterFixed, TextThatDoesNotFitIsEmpty) {
  CheckBothTwins({
      {"[%f|%.3f|%8f|%:*5f]", {1e60, -1e60, 1e60, 1e300}, "[||        |*****]", 0},
      // 63 characters fit the 64-byte buffer, 64 do not.
      {"%.61f", {0.0}, "0." + std::string(61, '0'), 0},
      {"%.60f", {-2.5}, "-2.5" + std::string(59, '0'), 0},
      {"[%.62f|%.61f|%.63f]", {0.0, -2.5, 3.14159}, "[||]", 0},
  });
}

}  // namespace
}  // namespace formatter_test
