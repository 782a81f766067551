#pragma once
// Runs the formatter twins on typed value lists: each value carries its type, and the source
// checks that the formatter took exactly the values given, in order and as the types given.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "log/FormatEngine.h"

namespace formatter_test {

// Byte by byte, as the "C" locale relates narrow and wide text.
inline std::u16string Widen(const std::string& text) {
  std::u16string wide;
  for (const char c : text) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

struct Arg {
  // Text reads as narrow text, or widened as wide text: either twin's 's' takes it.
  enum class Kind { Int32, Int64, Double, Text, Wide };

  Arg(int value) : kind(Kind::Int32), integer(value) {}
  Arg(unsigned value) : kind(Kind::Int32), integer(static_cast<std::int32_t>(value)) {}
  Arg(double value) : kind(Kind::Double), real(value) {}
  Arg(const char* value) : kind(Kind::Text), narrow(value) {
    if (value != nullptr) widened = Widen(value);
  }
  static Arg Int64(std::int64_t value) {
    Arg arg(0);
    arg.kind = Kind::Int64;
    arg.integer = value;
    return arg;
  }
  static Arg NullText() { return Arg(static_cast<const char*>(nullptr)); }
  static Arg Wide(const char16_t* value) {
    Arg arg(0);
    arg.kind = Kind::Wide;
    arg.wide = value;
    return arg;
  }

  Kind kind;
  std::int64_t integer = 0;
  double real = 0;
  const char* narrow = nullptr;
  const char16_t* wide = nullptr;
  std::u16string widened;
};

class TypedArguments {
 public:
  explicit TypedArguments(const std::vector<Arg>& args) : args_(args) {}

  std::int32_t Star() { return Int32(); }
  std::int32_t Int32() { return static_cast<std::int32_t>(Take(Arg::Kind::Int32).integer); }
  std::int64_t Int64() { return Take(Arg::Kind::Int64).integer; }
  double Double() { return Take(Arg::Kind::Double).real; }
  const char* NarrowText() { return Take(Arg::Kind::Text).narrow; }
  const char16_t* WideText() {
    const Arg& arg = Take(Arg::Kind::Wide, Arg::Kind::Text);
    if (arg.kind == Arg::Kind::Text) return arg.narrow != nullptr ? arg.widened.c_str() : nullptr;
    return arg.wide;
  }

  std::size_t Taken() const { return next_; }
  bool TypesMatched() const { return matched_; }

 private:
  // A missing value or one of another type is recorded and read as zero or null.
  const Arg& Take(Arg::Kind kind) { return Take(kind, kind); }
  const Arg& Take(Arg::Kind kind, Arg::Kind alternative) {
    static const Arg kNothing = Arg::NullText();
    if (next_ >= args_.size()) {
      matched_ = false;
      return kNothing;
    }
    const Arg& arg = args_[next_++];
    if (arg.kind != kind && arg.kind != alternative) {
      matched_ = false;
      return kNothing;
    }
    return arg;
  }

  const std::vector<Arg>& args_;
  std::size_t next_ = 0;
  bool matched_ = true;
};

template <typename CharT>
struct Outcome {
  std::basic_string<CharT> text;
  int result = 0;
};

// Formats with the twin of CharT into a string that held text before, checking that the
// formatter took every value given, in order and as its type, and no more.
template <typename CharT>
Outcome<CharT> Format(const std::basic_string<CharT>& format, const std::vector<Arg>& args) {
  TypedArguments source(args);
  Outcome<CharT> outcome{std::basic_string<CharT>(5, CharT('?')), 0};
  outcome.result = FormatWith(outcome.text, format.c_str(), source);
  EXPECT_TRUE(source.TypesMatched()) << "a value was missing or taken as another type";
  EXPECT_EQ(source.Taken(), args.size()) << "values taken";
  return outcome;
}

// A row of a table for one twin, or for both when the format and text are ASCII or Latin-1:
// the wide twin then runs the widened format and must give the widened text.
template <typename CharT>
struct Row {
  std::basic_string<CharT> format;
  std::vector<Arg> args;
  std::basic_string<CharT> expected;
  int result = 0;
};

template <typename CharT>
void Check(const std::vector<Row<CharT>>& rows) {
  for (const Row<CharT>& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.format));
    const Outcome<CharT> out = Format(row.format, row.args);
    EXPECT_EQ(out.text, row.expected);
    EXPECT_EQ(out.result, row.result);
  }
}

inline void CheckBothTwins(const std::vector<Row<char>>& rows) {
  Check(rows);
  std::vector<Row<char16_t>> wide;
  for (const Row<char>& row : rows) {
    wide.push_back({Widen(row.format), row.args, Widen(row.expected), row.result});
  }
  Check(wide);
}

}  // namespace formatter_test
