// The formatter twins on tables of typed values. A row runs in the narrow twin, the wide twin
// (format and expected text widened byte by byte, as the "C" locale relates them) or both, and
// must take exactly its values, in order and as their types.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "log/FormatEngine.h"
#include "log/Formatter.h"

namespace {

std::u16string Widen(const std::string& text) {
  std::u16string wide;
  for (const char c : text) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

// One value and its type; narrow text also serves the wide twin's 's', widened.
struct Arg {
  enum Kind : unsigned { kInt32 = 1, kInt64 = 2, kDouble = 4, kText = 8, kWide = 16 } kind;
  std::int64_t integer = 0;
  double real = 0;
  const char* text = nullptr;
  const char16_t* wide = nullptr;
  std::u16string widened;

  Arg(int value) : kind(kInt32), integer(value) {}
  Arg(unsigned value) : kind(kInt32), integer(static_cast<std::int32_t>(value)) {}
  Arg(double value) : kind(kDouble), real(value) {}
  Arg(const char* value) : kind(kText), text(value), widened(value ? Widen(value) : u"") {}
  Arg(const char16_t* value) : kind(kWide), wide(value) {}
  static Arg Long(std::int64_t value) {
    Arg arg(0);
    arg.kind = kInt64;
    arg.integer = value;
    return arg;
  }
};

constexpr const char* kNull = nullptr;
constexpr const char16_t* kNullWide = nullptr;
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
const Arg kInt64Min = Arg::Long(std::numeric_limits<std::int64_t>::min());

class Values {
 public:
  explicit Values(const std::vector<Arg>& args) : args_(args) {}
  std::int32_t Star() { return Int32(); }
  std::int32_t Int32() { return static_cast<std::int32_t>(Take(Arg::kInt32).integer); }
  std::int64_t Int64() { return Take(Arg::kInt64).integer; }
  double Double() { return Take(Arg::kDouble).real; }
  const char* NarrowText() { return Take(Arg::kText).text; }
  const char16_t* WideText() {
    const Arg& arg = Take(Arg::kWide | Arg::kText);
    return arg.kind == Arg::kWide ? arg.wide : arg.text ? arg.widened.c_str() : nullptr;
  }
  std::size_t taken = 0;

 private:
  // A missing value or one of another type fails the test and reads as zero or null.
  const Arg& Take(unsigned kinds) {
    static const Arg kNothing(kNull);
    if (taken >= args_.size() || (args_[taken].kind & kinds) == 0) {
      ADD_FAILURE() << "value " << taken << " is missing or of another type";
      return kNothing;
    }
    return args_[taken++];
  }
  const std::vector<Arg>& args_;
};

enum Twins { kBoth, kNarrowOnly, kWideOnly };

struct Row {
  std::string format;
  std::vector<Arg> args;
  std::string expected;
  int result = 0;
  Twins twins = kBoth;
};

template <typename CharT>
void Run(const Row& row, const std::basic_string<CharT>& format,
         const std::basic_string<CharT>& expected) {
  Values values(row.args);
  std::basic_string<CharT> output(3, CharT('?'));  // emptied first
  EXPECT_EQ(FormatWith(output, format.c_str(), values), row.result);
  EXPECT_EQ(output, expected);
  EXPECT_EQ(values.taken, row.args.size()) << "values taken";
}

void Check(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.format));
    if (row.twins != kWideOnly) Run(row, row.format, row.expected);
    if (row.twins != kNarrowOnly) Run(row, Widen(row.format), Widen(row.expected));
  }
}

TEST(Formatter, GrammarAndStopIndex) {
  Check({
      {"", {}, ""},
      {"plain\ttext\n 50%% %d%%", {7}, "plain\ttext\n 50% 7%"},
      {"100%", {}, "100", 4},
      {"a%pb", {}, "a", 2},
      {"%!#+", {}, "", 4},
      {"x%:", {}, "x", 3},
      {"%.", {}, "", 2},
      {"%12345d", {}, "", 5},
      {"%.12345d", {}, "", 6},
      {"%1234d|%.1234s", {7, "abc"}, std::string(1233, ' ') + "7|abc"},
      {"%{d}|%|5d|", {42, 43}, "42|   43"},
      {"%{d", {42}, "42", 3},
      {"%|5d} %d", {42}, "   42", 4},
      {"%{%d}", {}, "", 2},
      {"%5Lf[%.3L]", {}, "f[]"},
      {"%d %q %d", {1}, "1 ", 4},
      {"%s%12345s", {"ab"}, "ab", 7},
  });
}

TEST(Formatter, FlagsAndPlacement) {
  Check({
      {"%05d|%+05d|%+5d|%+05d", {-42, 42, 42, -42}, "00-42|+0042|+  42|-0042"},
      {"%#5x|%#x|%#o", {255, 0, 8}, "0x ff|0x0|010"},
      {"[%!d|%!5d|%!s|%s|%!d|%!3x]", {0, 0, kNull, kNull, -7, 10}, "[|||(null)|-7|  a]"},
      {"%.2d|%+.2d", {12345, -12345}, "12|-1"},
      {"%=7s|%=-7s|%-=7s", {"ab", "ab", "ab"}, "  ab   |ab     |  ab   "},
      {"%-05d|%:*6d|%0:_4d", {42, 42, 7}, "42000|****42|___7"},
      {"%*.*s|%*d", {5, 2, "abc", -6, 42}, "   ab|42"},
      {"[%3c]", {0}, "[   ]"},
      {"[%02d:%02d] ", {9, 5}, "[09:05] "},
  });
}

TEST(Formatter, Integers) {
  Check({
      {"%b|%o|%x|%X|%u", {5, 8, 255, 255, 0xFFFFFFFFu}, "101|10|ff|FF|4294967295"},
      {"%i|%d|%Ld|%Lu", {-1, kInt32Min, kInt32Min, -1}, "-1|-2147483648|-2147483648|4294967295"},
      {"%LLd|%LLu|%+LLd",
       {kInt64Min, Arg::Long(-1), kInt64Min},
       "-9223372036854775808|18446744073709551615|-9223372036854775808"},
      {"%LLx|%LLb",
       {Arg::Long(0x123456789ABCDEF0), Arg::Long(1LL << 40)},
       "123456789abcdef0|1" + std::string(40, '0')},
      {"%+d|%+d|%+u|%+x|%+o|%#b|%#d|%#X",
       {5, 0, 7, 255, 8, 5, 10, 255},
       "+5|+0|+7|ff|10|101|10|0XFF"},
  });
}

TEST(Formatter, StringsAndCharacters) {
  Check({
      {"%s|%8s|%.3s|%!s.", {kNull, kNull, kNull, kNull}, "(null)|  (null)|(nu|."},
      {"%s|%3s|%-6.3s|%=6.3s|%.4s",
       {"hello", "abcdef", "abcdef", "abcdef", "abc"},
       "hello|abcdef|abc   | abc  |abc"},
      {"%c|%-3c|[%c]|%c", {'A', 'x', 0, 0x10042}, "A|x  |[]|B"},
      {"%c|%A|%!A", {0x1E9, "ab", kNull}, "\xE9|ab|", 0, kNarrowOnly},
      {"%S|%-4S", {u"ab", u"c"}, "ab|c   ", 0, kWideOnly},
  });
}

TEST(Formatter, Fixed) {
  const double pi = 3.14159;
  Check({
      {"%f|%.2f|%.0f|%.64f", {pi, pi, pi, pi}, "3.141590|3.14|3.141590|3.141590"},
      {"%08.2f|%+08.2f|%+f|%Lf", {-3.5, -3.5, 2.5, 1.25}, "000-3.50|-0003.50|2.500000|1.250000"},
      // 63 characters fit the runtime's buffer; longer text renders empty.
      {"%.61f|[%.62f|%f|%8f]",
       {0.0, 0.0, 1e60, -1e60},
       "0." + std::string(61, '0') + "|[||        ]"},
  });
}

TEST(Formatter, CrossWidth) {
  Check({
      {"%S|%4S|[%S]|%S",
       {u"\u00e9", u"\u0416", u"a\u0416", kNullWide},
       "\xE9|    |[]|(null)",
       0,
       kNarrowOnly},
      {"%C|[%C]", {0x41, 0x416}, "A|[]", 0, kNarrowOnly},
      {"%A|%5A|%A", {"\xE9", "ab", kNull}, "\xE9|   ab|(null)", 0, kWideOnly},
  });
}

TEST(Formatter, ValuesFromARealArgumentList) {
  std::string output;
  const int hour = 9;  // a literal 0 alone would pick the va_list form
  EXPECT_EQ(FormatNarrow(output, "[%02d:%02d] %LLd %.1f %s %S|%q %d", hour, 5,
                         std::numeric_limits<long long>::min(), 2.5, "s", u"\u00e9", 7),
            29);
  EXPECT_EQ(output, "[09:05] -9223372036854775808 2.5 s \xE9|");
}

}  // namespace
