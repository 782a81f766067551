// Text of the other width, through the runtime's "C" locale conversions.
#include <gtest/gtest.h>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

struct NarrowRow {
  const char* format;
  std::vector<Arg> args;
  std::string expected;
};

TEST(FormatterCrossWidth, WideTextIntoNarrowOutput) {
  const std::vector<NarrowRow> rows{
      {"%S", {Arg::Wide(u"\u00e9t\u00e9")}, "\xE9t\xE9"},
      {"%S", {Arg::Wide(u"caf\u00e9 ok")}, "caf\xE9 ok"},
      {"%.2S|%=5S", {Arg::Wide(u"abc"), Arg::Wide(u"ab")}, "ab| ab  "},
      {"[%S]", {Arg::Wide(u"")}, "[]"},
      // A character above U+00FF fails the whole conversion: an empty text.
      {"[%S]", {Arg::Wide(u"a\u0416")}, "[]"},
      {"[%4S]", {Arg::Wide(u"\u0416")}, "[    ]"},
      {"[%:-4S]", {Arg::Wide(u"ok\u0416")}, "[----]"},
      {"%S|%5S", {Arg::Wide(nullptr), Arg::Wide(nullptr)}, "(null)|(null)"},
      {"[%!S]", {Arg::Wide(nullptr)}, "[]"},
      {"%+S", {Arg::Wide(u"-x")}, "-x"},
      {"%C%C", {0x41, 0xE9}, "A\xE9"},
      {"%C", {0x10042}, "B"},  // low 16 bits
      {"[%C]", {0x416}, "[]"},
      {"[%3C]", {0x416}, "[   ]"},
      {"[%C]", {0}, "[]"},
      {"[%2C]", {0}, "[  ]"},
  };
  for (const NarrowRow& row : rows) {
    SCOPED_TRACE(row.format);
    const Outcome<char> out = Format<char>(row.format, row.args);
    EXPECT_EQ(out.text, row.expected);
    EXPECT_EQ(out.result, 0);
  }
}

struct WideRow {
  const char* format;
  std::vector<Arg> args;
  std::u16string expected;
};

TEST(FormatterCrossWidth, NarrowTextIntoWideOutput) {
  const std::vector<WideRow> rows{
      {"%A", {Arg::Narrow("abc")}, u"abc"},
      {"%A", {Arg::Narrow("\xE9t\xE9")}, u"\u00e9t\u00e9"},
      {"%A", {Arg::Narrow("\x01\x7F\x80\xFF")}, u"\u0001\u007f\u0080\u00ff"},
      {"[%A]", {Arg::Narrow("")}, u"[]"},
      {"%5A|%-3A|", {Arg::Narrow("ab"), Arg::Narrow("c")}, u"   ab|c  |"},
      {"%.1A", {Arg::Narrow("\xE9x")}, u"\u00e9"},
      {"%A", {Arg::Narrow(nullptr)}, u"(null)"},
      {"[%!A]", {Arg::Narrow(nullptr)}, u"[]"},
      {"%#+A", {Arg::Narrow("+1")}, u"+1"},
  };
  for (const WideRow& row : rows) {
    SCOPED_TRACE(row.format);
    const Outcome<char16_t> out = Format<char16_t>(row.format, row.args);
    EXPECT_EQ(out.text, row.expected);
    EXPECT_EQ(out.result, 0);
  }
}

}  // namespace
}  // namespace formatter_test
