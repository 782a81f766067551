#pragma once
// Runs the formatter twins on typed argument lists: each value carries its type, and the
// source records whether the formatter took exactly the values given, in order, as the types
// given.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "log/FormatEngine.h"

namespace formatter_test {

// Byte by byte, as the "C" locale relates narrow and wide text.
inline std::u16string Widen(const std::string& text) {
  std::u16string wide;
  for (const char c : text) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return wide;
}

struct Arg {
  // Text serves both twins: the narrow twin reads it as narrow text, the wide one widened.
  enum class Kind { Int32, Int64, Double, Text, Narrow, Wide };

  Arg(int value) : kind(Kind::Int32), integer(value) {}
  Arg(unsigned value) : kind(Kind::Int32), integer(static_cast<std::int32_t>(value)) {}
  Arg(double value) : kind(Kind::Double), real(value) {}
  Arg(const char* value) : kind(Kind::Text), narrow(value) {
    if (value != nullptr) widened = Widen(value);
  }
  static Arg Int64(std::int64_t value) { return Arg(Kind::Int64, value); }
  static Arg Uint64(std::uint64_t value) { return Int64(static_cast<std::int64_t>(value)); }
  static Arg NullText() { return Arg(static_cast<const char*>(nullptr)); }
  static Arg Narrow(const char* value) {
    Arg arg(value);
    arg.kind = Kind::Narrow;
    return arg;
  }
  static Arg Wide(const char16_t* value) {
    Arg arg(Kind::Wide, 0);
    arg.wide = value;
    return arg;
  }

  Kind kind;
  std::int64_t integer = 0;
  double real = 0;
  const char* narrow = nullptr;
  const char16_t* wide = nullptr;
  std::u16string widened;

 private:
  Arg(Kind k, std::int64_t value) : kind(k), integer(value) {}
};

// The formatter's argument source over a typed list.
class TypedArguments {
 public:
  explicit TypedArguments(const std::vector<Arg>& args) : args_(args) {}

  std::int32_t Star() { return Int32(); }
  std::int32_t Int32() {
    const Arg* arg = Take(Arg::Kind::Int32);
    return arg != nullptr ? static_cast<std::int32_t>(arg->integer) : 0;
  }
  std::int64_t Int64() {
    const Arg* arg = Take(Arg::Kind::Int64);
    return arg != nullptr ? arg->integer : 0;
  }
  double Double() {
    const Arg* arg = Take(Arg::Kind::Double);
    return arg != nullptr ? arg->real : 0.0;
  }
  const char* NarrowText() {
    const Arg* arg = Take(Arg::Kind::Narrow, Arg::Kind::Text);
    return arg != nullptr ? arg->narrow : nullptr;
  }
  const char16_t* WideText() {
    const Arg* arg = Take(Arg::Kind::Wide, Arg::Kind::Text);
    if (arg == nullptr) return nullptr;
    if (arg->kind == Arg::Kind::Wide) return arg->wide;
    return arg->narrow != nullptr ? arg->widened.c_str() : nullptr;
  }

  std::size_t Taken() const { return next_; }
  bool TypesMatched() const { return matched_; }

 private:
  const Arg* Take(Arg::Kind kind, Arg::Kind alternative) {
    if (next_ >= args_.size()) {
      matched_ = false;
      return nullptr;
    }
    const Arg& arg = args_[next_++];
    if (arg.kind != kind && arg.kind != alternative) {
      matched_ = false;
      return nullptr;
    }
    return &arg;
  }
  const Arg* Take(Arg::Kind kind) { return Take(kind, kind); }

  const std::vector<Arg>& args_;
  std::size_t next_ = 0;
  bool matched_ = true;
};

static_assert(FormatArguments<TypedArguments>);

template <typename CharT>
struct Outcome {
  std::basic_string<CharT> text;
  int result = 0;
};

// Formats with the twin of CharT (a narrow format is widened for the wide twin) and checks
// that the formatter took every given value, in order and as its type, and no more.
template <typename CharT>
Outcome<CharT> Format(const std::string& format, const std::vector<Arg>& args) {
  std::basic_string<CharT> wideFormat;
  const CharT* text = nullptr;
  if constexpr (std::is_same_v<CharT, char>) {
    text = format.c_str();
  } else {
    wideFormat = Widen(format);
    text = wideFormat.c_str();
  }
  TypedArguments source(args);
  Outcome<CharT> outcome;
  outcome.text.assign(5, CharT('?'));  // the formatter empties the output first
  outcome.result = FormatWith(outcome.text, text, source);
  EXPECT_TRUE(source.TypesMatched()) << "a value was taken as the wrong type or was missing";
  EXPECT_EQ(source.Taken(), args.size()) << "values taken";
  return outcome;
}

// One row of a table that holds for both twins: ASCII formats, the wide twin's expected text
// is the narrow one widened.
struct Row {
  std::string format;
  std::vector<Arg> args;
  std::string expected;
  int result = 0;
};

inline void CheckBothTwins(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE("format \"" + row.format + "\"");
    const Outcome<char> narrow = Format<char>(row.format, row.args);
    EXPECT_EQ(narrow.text, row.expected);
    EXPECT_EQ(narrow.result, row.result);
    const Outcome<char16_t> wide = Format<char16_t>(row.format, row.args);
    EXPECT_EQ(wide.text, Widen(row.expected));
    EXPECT_EQ(wide.result, row.result);
  }
}

}  // namespace formatter_test
