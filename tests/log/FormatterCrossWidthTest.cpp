// Text of the other width, through the runtime's "C" locale conversions.
#include <gtest/gtest.h>

#include "FormatterHarness.h"

namespace formatter_test {
namespace {

TEST(FormatterCrossWidth, WideTextIntoNarrowOutput) {
  Check<char>({
      {"%S|%.2S|%=5S",
       {Arg::Wide(u"\u00e9t\u00e9"), Arg::Wide(u"abc"), Arg::Wide(u"ab")},
       "\xE9t\xE9|ab| ab  "},
      {"[%S]", {Arg::Wide(u"")}, "[]"},
      // A character above U+00FF fails the whole conversion: an empty text.
      {"[%S]", {Arg::Wide(u"a\u0416")}, "[]"},
      {"[%4S|%:-4S]", {Arg::Wide(u"\u0416"), Arg::Wide(u"ok\u0416")}, "[    |----]"},
      {"%S|%5S|%!S.",
       {Arg::Wide(nullptr), Arg::Wide(nullptr), Arg::Wide(nullptr)},
       "(null)|(null)|."},
      {"%+S", {Arg::Wide(u"-x")}, "-x"},
      {"%C%C%C",
       {0x41, 0xE9, 0x10042},
       "A\xE9"
       "B"},  // the low 16 bits
      {"[%C|%3C]", {0x416, 0x416}, "[|   ]"},
      {"[%C|%2C]", {0, 0}, "[|  ]"},
  });
}

TEST(FormatterCrossWidth, NarrowTextIntoWideOutput) {
  Check<char16_t>({
      {u"%A", {"abc"}, u"abc"},
      {u"%A", {"\x01\x7F\x80\xE9\xFF"}, u"\u0001\u007f\u0080\u00e9\u00ff"},
      {u"[%A]", {""}, u"[]"},
      {u"%5A|%-3A|%.1A", {"ab", "c", "\xE9x"}, u"   ab|c  |\u00e9"},
      {u"%A|%!A.", {Arg::NullText(), Arg::NullText()}, u"(null)|."},
      {u"%#+A", {"+1"}, u"+1"},
  });
}

}  // namespace
}  // namespace formatter_test
