// 'f': the runtime's fixed-point text, its precision table, and fields around it.
#include <gtest/gtest.h>

#include <string>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterFixed, PrecisionTable) {
  CheckBothTwins({
      {"%f", {3.14159}, "3.141590", 0},
      {"%.2f", {3.14159}, "3.14", 0},
      {"%.0f", {3.14159}, "3.141590", 0},  // .0 and . are "no precision"
      {"%.f", {3.14159}, "3.141590", 0},
      {"%.64f", {3.14159}, "3.141590", 0},  // 64 and more fall back to six decimals
      {"%.9999f", {3.14159}, "3.141590", 0},
      {"%.*f", {2, 3.14159}, "3.14", 0},
      {"%.*f", {-1, 3.14159}, "3.141590", 0},
      {"%.3f", {0.0}, "0.000", 0},
      {"%.2f|%d", {0.126, 9}, "0.13|9", 0},
  });
}

TEST(FormatterFixed, LongFlagFormatsTheSameDouble) {
  CheckBothTwins({
      {"%Lf", {1.25}, "1.250000", 0},
      {"%L.3f", {1.25}, "1.250", 0},
      {"%LLf", {1.25}, "1.250000", 0},
      {"%Lf|%Lf", {1.25, -2.0}, "1.250000|-2.000000", 0},
  });
}

TEST(FormatterFixed, SignFillAndJustification) {
  CheckBothTwins({
      {"%08.2f", {-3.5}, "000-3.50", 0},
      {"%+08.2f", {-3.5}, "-0003.50", 0},
      {"%+f", {2.5}, "2.500000", 0},  // the runtime's format has no sign for positives
      {"%#f", {1.0}, "1.000000", 0},
      {"[%!f]", {0.0}, "[0.000000]", 0},
      {"%=10.1f|", {2.5}, "   2.5    |", 0},
      {"%-8.1f|", {2.5}, "2.5     |", 0},
      {"%*.*f", {8, 3, 2.5}, "   2.500", 0},
      {"%.4f", {-0.5}, "-0.5000", 0},
  });
}

TEST(FormatterFixed, TextThatDoesNotFitIsEmpty) {
  CheckBothTwins({
      {"[%f]", {1e60}, "[]", 0},
      {"[%.3f]", {-1e60}, "[]", 0},
      {"[%8f]", {1e60}, "[        ]", 0},
      {"[%:*5f]", {1e300}, "[*****]", 0},
      {"[%f|%d]", {1e60, 4}, "[|4]", 0},
      // 63 characters fit the 64-byte buffer, 64 do not.
      {"%.61f", {0.0}, "0." + std::string(61, '0'), 0},
      {"%.60f", {-2.5}, "-2.5" + std::string(59, '0'), 0},
      {"[%.61f]", {-2.5}, "[]", 0},
      {"[%.62f]", {0.0}, "[]", 0},
      {"[%.63f]", {3.14159}, "[]", 0},
  });
}

}  // namespace
}  // namespace formatter_test
