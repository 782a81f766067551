// The entry points: values read from a real argument list, with the sizes the module passes.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <string>

#include "log/Formatter.h"

namespace {

int Wide(std::u16string& output, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = FormatWide(output, format, args);
  va_end(args);
  return result;
}

TEST(FormatterArgList, TimestampThroughTheVariadicForm) {
  std::string stamp = "previous contents";
  int hour = 9;
  int minute = 5;
  EXPECT_EQ(FormatNarrow(stamp, "[%02d:%02d] ", hour, minute), 0);
  EXPECT_EQ(stamp, "[09:05] ");
  hour = minute = 0;
  EXPECT_EQ(FormatNarrow(stamp, "[%02d:%02d] ", hour, minute), 0);
  EXPECT_EQ(stamp, "[00:00] ");
}

TEST(FormatterArgList, ModuleMessages) {
  std::u16string message;
  EXPECT_EQ(Wide(message, u"VtClient\t Unable to open driver service, err: %#x\n", 5), 0);
  EXPECT_EQ(message, u"VtClient\t Unable to open driver service, err: 0x5\n");
  EXPECT_EQ(Wide(message, u"VtClient\t Initialized, shared buffer ptr: %d\n", -1234567), 0);
  EXPECT_EQ(message, u"VtClient\t Initialized, shared buffer ptr: -1234567\n");
}

TEST(FormatterArgList, EveryValueKindInOrder) {
  const std::int32_t longValue = -70000;  // 'L' values are 32-bit
  std::string narrow;
  EXPECT_EQ(
      FormatNarrow(narrow, "%d %u %LLd %LLx %Ld %c %s %S %C %.2f %*d|%.*s|%!s", -7, 3000000000u,
                   -9223372036854775807LL - 1, 0xFEDCBA9876543210ull, longValue, 'Z', "str",
                   u"w\u00e9", 0xE9, 2.5, 4, 42, 2, "abcdef", static_cast<const char*>(nullptr)),
      0);
  EXPECT_EQ(narrow,
            "-7 3000000000 -9223372036854775808 fedcba9876543210 -70000 Z str w\xE9 \xE9 2.50   "
            "42|ab|");

  std::u16string wide;
  EXPECT_EQ(Wide(wide, u"%LLu %c %s %A %f %=5d", 18446744073709551615ull, 0x416, u"x\u0416", "\xE9",
                 -1.5, 7),
            0);
  EXPECT_EQ(wide, u"18446744073709551615 \u0416 x\u0416 \u00e9 -1.500000   7  ");
}

TEST(FormatterArgList, StopsWithoutTakingFurtherValues) {
  std::u16string wide;
  EXPECT_EQ(Wide(wide, u"ok %d then %y %s", 1, 2), 12);
  EXPECT_EQ(wide, u"ok 1 then ");
}

TEST(FormatterArgList, OversizedFixedTextNeverReachesTheRuntimeBuffer) {
  // The runtime's vsprintf_s ends the process when its buffer is too small.
  std::string narrow;
  EXPECT_EQ(FormatNarrow(narrow, "[%f|%.3f|%12f]", 1e60, -1e300, 1e100), 0);
  EXPECT_EQ(narrow, "[||            ]");
  std::u16string wide;
  EXPECT_EQ(Wide(wide, u"[%.50f|%-6f]", 1e20, 1e70), 0);
  EXPECT_EQ(wide, u"[|      ]");
}

}  // namespace
