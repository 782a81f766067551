#pragma once
// The formatter twins' single design: one loop over the format, templated on the character
// type, taking its values through an argument source (the real one reads a va_list; tests and
// the fuzzer feed typed values).
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "log/EmitField.h"
#include "log/FormatSpec.h"
#include "log/RuntimeText.h"

// Where the directives take their values from, in the order they need them.
template <typename A>
concept FormatArguments = requires(A& args) {
  { args.Star() } -> std::same_as<std::int32_t>;   // a '*' width or precision (an int)
  { args.Int32() } -> std::same_as<std::int32_t>;  // int, 'L' long, their unsigned forms, 'c'
  { args.Int64() } -> std::same_as<std::int64_t>;  // 'LL' integers
  { args.Double() } -> std::same_as<double>;       // 'f'
  { args.NarrowText() } -> std::same_as<const char*>;
  { args.WideText() } -> std::same_as<const char16_t*>;
};

namespace format_detail {

// Large enough for 64 base-2 digits and a sign.
inline constexpr std::size_t kIntegerText = 66;

template <unsigned Base, typename CharT, typename UInt>
CharT* WriteDigits(CharT* end, UInt value, bool upper) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  const char* digits = upper ? kUpper : kLower;
  do {
    *--end = static_cast<CharT>(digits[value % Base]);
    value /= Base;
  } while (value != 0);
  return end;
}

// Decimal digits two at a time, which halves the chain of divisions.
template <typename CharT, typename UInt>
CharT* WriteDecimal(CharT* end, UInt value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324"
      "25262728293031323334353637383940414243444546474849"
      "50515253545556575859606162636465666768697071727374"
      "75767778798081828384858687888990919293949596979899";
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    *--end = static_cast<CharT>(kPairs[pair + 1]);
    *--end = static_cast<CharT>(kPairs[pair]);
  }
  if (value >= 10) {
    const auto pair = static_cast<std::size_t>(value) * 2;
    *--end = static_cast<CharT>(kPairs[pair + 1]);
    *--end = static_cast<CharT>(kPairs[pair]);
  } else {
    *--end = static_cast<CharT>('0' + value);
  }
  return end;
}

// Digits of `magnitude` in spec.base, right to left ending at `end`. 32-bit values use 32-bit
// arithmetic, and every base divides by a constant.
template <typename CharT, typename UInt>
CharT* WriteMagnitude(CharT* end, UInt magnitude, const FormatSpec<CharT>& spec) {
  const bool upper = (spec.flags & FLAG_UPPER) != 0;
  switch (spec.base) {
    case 16:
      return WriteDigits<16>(end, magnitude, upper);
    case 8:
      return WriteDigits<8>(end, magnitude, upper);
    case 2:
      return WriteDigits<2>(end, magnitude, upper);
    default:
      return WriteDecimal(end, magnitude);
  }
}

// Integer text: zero vanishes with FLAG_QUIET; otherwise digits with '-' for negative values
// and '+' for the others under FLAG_PLUS, then placed by EmitField. Inlined into each integer
// path: the call overhead is a large share of a short directive.
template <typename CharT, typename UInt>
[[gnu::always_inline]] inline void EmitInteger(std::basic_string<CharT>& output, UInt magnitude,
                                               bool negative, const FormatSpec<CharT>& spec) {
  if (magnitude == 0 && (spec.flags & FLAG_QUIET) != 0) return;
  CharT text[kIntegerText];
  CharT* const end = text + kIntegerText;
  CharT* first = WriteMagnitude(end, magnitude, spec);
  if (negative) {
    *--first = CharT('-');
  } else if ((spec.flags & FLAG_PLUS) != 0) {
    *--first = CharT('+');
  }
  EmitField(output, first, static_cast<std::size_t>(end - first), spec);
}

template <typename CharT, FormatArguments Args>
void EmitSigned(std::basic_string<CharT>& output, Args& args, const FormatSpec<CharT>& spec) {
  if ((spec.flags & FLAG_LONGLONG) != 0) {
    const std::int64_t value = args.Int64();
    // Negating in unsigned arithmetic keeps the most negative value exact.
    const auto bits = static_cast<std::uint64_t>(value);
    EmitInteger(output, value < 0 ? 0 - bits : bits, value < 0, spec);
  } else {
    const std::int32_t value = args.Int32();
    const auto bits = static_cast<std::uint32_t>(value);
    EmitInteger(output, value < 0 ? 0u - bits : bits, value < 0, spec);
  }
}

template <typename CharT, FormatArguments Args>
void EmitUnsigned(std::basic_string<CharT>& output, Args& args, const FormatSpec<CharT>& spec) {
  if ((spec.flags & FLAG_LONGLONG) != 0) {
    EmitInteger(output, static_cast<std::uint64_t>(args.Int64()), false, spec);
  } else {
    EmitInteger(output, static_cast<std::uint32_t>(args.Int32()), false, spec);
  }
}

// 'c' (and 'C' where it stays the same width): the low bits of an int as one character; a
// zero character is the empty text.
template <typename CharT, FormatArguments Args>
void EmitCharacter(std::basic_string<CharT>& output, Args& args, const FormatSpec<CharT>& spec) {
  const CharT text[1] = {static_cast<CharT>(args.Int32())};
  EmitField(output, text, text[0] == CharT(0) ? 0 : 1, spec);
}

template <typename CharT, FormatArguments Args>
void EmitFixed(std::basic_string<CharT>& output, Args& args, FormatSpec<CharT>& spec) {
  char text[kFixedTextBuffer];
  FormatFixed(text, args.Double(), spec.flags, spec.precision);
  spec.precision = 0;  // the number is never truncated
  if constexpr (std::is_same_v<CharT, char>) {
    EmitField(output, text, spec);
  } else {
    EmitNarrowAsWide(output, text, spec);
  }
}

// The next '%' or the terminating zero. The narrow scan uses the C library's vectorised search.
inline const char* FindDirective(const char* p) {
  const char* percent = std::strchr(p, '%');
  return percent != nullptr ? percent : p + std::strlen(p);
}
inline const char16_t* FindDirective(const char16_t* p) {
  while (*p != u'%' && *p != u'\0') ++p;
  return p;
}

// The flag characters ! # + - 0 = L, as a bit set over '!' .. 'L': one test rejects the rest.
template <typename CharT>
constexpr bool IsFlag(CharT c) {
  constexpr std::uint64_t kFlags =
      (1ull << ('!' - '!')) | (1ull << ('#' - '!')) | (1ull << ('+' - '!')) |
      (1ull << ('-' - '!')) | (1ull << ('0' - '!')) | (1ull << ('=' - '!')) | (1ull << ('L' - '!'));
  const auto offset = static_cast<std::uint32_t>(c) - std::uint32_t{'!'};
  return offset <= std::uint32_t{'L' - '!'} && ((kFlags >> offset) & 1) != 0;
}

template <typename CharT>
constexpr bool IsDigit(CharT c) {
  return c >= CharT('0') && c <= CharT('9');
}

// Reads up to four decimal digits at `p` into `value`. False when a fifth digit or the end of
// the format follows them; `p` is then on that character.
template <typename CharT>
bool ReadNumber(const CharT*& p, std::int32_t& value) {
  std::int32_t number = 0;
  for (int digits = 0; digits < 4 && IsDigit(*p); ++digits, ++p) {
    number = number * 10 + static_cast<std::int32_t>(*p - CharT('0'));
  }
  value = number;
  return *p != CharT(0) && !IsDigit(*p);
}

}  // namespace format_detail

// Formats `format` into `output` (emptied first). Returns 0 when the whole format was
// processed, otherwise the index of the character at which an unreadable directive stopped
// the call; the text produced before the stop stays in the output.
template <typename CharT, FormatArguments Args>
int FormatWith(std::basic_string<CharT>& output, const CharT* format, Args& args) {
  using namespace format_detail;
  output.clear();
  const CharT* p = format;
  const auto stop = [&] { return static_cast<int>(p - format); };

  while (*p != CharT(0)) {
    if (*p != CharT('%')) {
      // A single literal character goes in alone; a longer run with one append.
      if (p[1] == CharT('%') || p[1] == CharT(0)) {
        output.push_back(*p++);
        continue;
      }
      const CharT* literal = p;
      p = FindDirective(p + 2);
      output.append(literal, static_cast<std::size_t>(p - literal));
      continue;
    }
    ++p;
    if (*p == CharT(0)) return stop();
    if (*p == CharT('%')) {
      output.push_back(*p++);
      continue;
    }

    CharT close = CharT(0);
    if (*p == CharT('{')) {
      close = CharT('}');
      ++p;
    } else if (*p == CharT('|')) {
      close = CharT('|');
      ++p;
    }

    FormatSpec<CharT> spec;
    for (; IsFlag(*p); ++p) {
      const CharT flag = *p;
      if (flag == CharT('-')) {
        spec.flags = (spec.flags & ~FLAG_RIGHT) | FLAG_LEFT;
      } else if (flag == CharT('0')) {
        spec.fill = CharT('0');
      } else if (flag == CharT('#')) {
        spec.flags |= FLAG_ALT;
      } else if (flag == CharT('+')) {
        spec.flags |= FLAG_PLUS;
      } else if (flag == CharT('=')) {
        spec.flags |= FLAG_CENTRE;
      } else if (flag == CharT('!')) {
        spec.flags |= FLAG_QUIET;
      } else {  // 'L'
        spec.flags |= (spec.flags & FLAG_LONG) != 0 ? FLAG_LONGLONG : FLAG_LONG;
      }
    }
    if (*p == CharT(0)) return stop();

    if (*p == CharT(':')) {
      if (*++p == CharT(0)) return stop();
      spec.fill = *p;
      if (*++p == CharT(0)) return stop();
    }

    if (*p == CharT('*')) {
      spec.width = args.Star();
      ++p;
    } else if (IsDigit(*p) && !ReadNumber(p, spec.width)) {
      return stop();
    }

    if (*p == CharT('.')) {
      if (*++p == CharT(0)) return stop();
      if (*p == CharT('*')) {
        spec.precision = args.Star();
        ++p;
      } else if (!ReadNumber(p, spec.precision)) {
        return stop();
      }
    }

    switch (*p) {
      case CharT('d'):
      case CharT('i'):
        EmitSigned(output, args, spec);
        break;
      case CharT('u'):
        EmitUnsigned(output, args, spec);
        break;
      case CharT('o'):
        spec.flags &= ~FLAG_PLUS;
        spec.base = 8;
        EmitUnsigned(output, args, spec);
        break;
      case CharT('x'):
        spec.flags &= ~FLAG_PLUS;
        spec.base = 16;
        EmitUnsigned(output, args, spec);
        break;
      case CharT('X'):
        spec.flags = (spec.flags & ~FLAG_PLUS) | FLAG_UPPER;
        spec.base = 16;
        EmitUnsigned(output, args, spec);
        break;
      case CharT('b'):
        spec.flags &= ~(FLAG_PLUS | FLAG_ALT);
        spec.base = 2;
        EmitUnsigned(output, args, spec);
        break;
      case CharT('f'):
        spec.flags &= ~(FLAG_ALT | FLAG_LONGLONG);
        EmitFixed(output, args, spec);
        break;
      case CharT('L'):
        break;  // no value, no output
      case CharT('c'):
      case CharT('C'):
      case CharT('s'):
      case CharT('S'):
      case CharT('A'): {
        spec.flags &= ~(FLAG_PLUS | FLAG_ALT | FLAG_LONG | FLAG_LONGLONG);
        const CharT letter = *p;
        if constexpr (std::is_same_v<CharT, char>) {
          if (letter == 'c') {
            EmitCharacter(output, args, spec);
          } else if (letter == 'C') {
            const char16_t wide[2] = {static_cast<char16_t>(args.Int32()), u'\0'};
            EmitWideAsNarrow(output, wide, spec);
          } else if (letter == 'S') {
            EmitWideAsNarrow(output, args.WideText(), spec);
          } else {
            EmitField(output, args.NarrowText(), spec);
          }
        } else {
          if (letter == CharT('c') || letter == CharT('C')) {
            EmitCharacter(output, args, spec);
          } else if (letter == CharT('A')) {
            EmitNarrowAsWide(output, args.NarrowText(), spec);
          } else {
            EmitField(output, args.WideText(), spec);
          }
        }
        break;
      }
      default:
        return stop();  // not a conversion letter, or the end of the format
    }
    ++p;

    if (close != CharT(0)) {
      if (*p != close) return stop();
      ++p;
    }
  }
  return 0;
}
