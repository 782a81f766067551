#pragma once
// The record filled for every directive of the formatter twins, and its flag bits.
#include <cstdint>

inline constexpr std::uint32_t FLAG_LEFT = 0x001;      // '-' or '=': justify left when alone
inline constexpr std::uint32_t FLAG_RIGHT = 0x002;     // default or '=': right when alone
inline constexpr std::uint32_t FLAG_PLUS = 0x004;      // '+': sign before the padding
inline constexpr std::uint32_t FLAG_ALT = 0x008;       // '#': "0" / "0x" prefix
inline constexpr std::uint32_t FLAG_UPPER = 0x020;     // 'X': upper-case digits and prefix
inline constexpr std::uint32_t FLAG_LONG = 0x040;      // first 'L'
inline constexpr std::uint32_t FLAG_LONGLONG = 0x080;  // second and later 'L': 64-bit integers
inline constexpr std::uint32_t FLAG_QUIET = 0x100;     // '!': zero integers, null strings vanish

// Both FLAG_LEFT and FLAG_RIGHT together centre the field.
inline constexpr std::uint32_t FLAG_CENTRE = FLAG_LEFT | FLAG_RIGHT;

// CharT is the output's character type: the fill is one character of the output's width.
template <typename CharT>
struct FormatSpec {
  std::uint32_t flags = FLAG_RIGHT;
  std::uint32_t base = 10;     // 2, 8, 10 or 16 for integer conversions
  CharT fill = CharT(' ');     // padding character
  std::int32_t width = 0;      // minimum field width; 0 (or negative) means none
  std::int32_t precision = 0;  // maximum text characters used; 0 (or negative) means none
};
