#pragma once
// Places one converted text into the output: sign and '#' prefix first, then the text inside
// a field of fill characters, justified left, right or centred.
#include <cstddef>
#include <string>

#include "log/FormatSpec.h"

namespace format_detail {

template <typename CharT>
inline constexpr CharT kNullText[] = {'(', 'n', 'u', 'l', 'l', ')', 0};

}  // namespace format_detail

// Places `length` characters of `text` (not null) as the directive described by `spec`. Inlined
// where it is used: on the formatter's hot path a call costs as much as a short field.
template <typename CharT>
[[gnu::always_inline]] inline void EmitField(std::basic_string<CharT>& output, const CharT* text,
                                             std::size_t length, const FormatSpec<CharT>& spec) {
  auto n = static_cast<std::ptrdiff_t>(length);
  if (spec.precision > 0 && spec.precision < n) n = spec.precision;
  std::ptrdiff_t field = spec.width > n ? spec.width : n;

  // The sign, and the '#' prefix, stand before the padding whatever the fill is.
  if ((spec.flags & FLAG_PLUS) != 0 && n > 0 && (text[0] == CharT('-') || text[0] == CharT('+'))) {
    output.push_back(text[0]);
    ++text;
    --n;
    --field;
  }
  if ((spec.flags & FLAG_ALT) != 0) {
    if (spec.base == 8) {
      output.push_back(CharT('0'));
      field -= 1;
    } else if (spec.base == 16) {
      output.push_back(CharT('0'));
      output.push_back((spec.flags & FLAG_UPPER) != 0 ? CharT('X') : CharT('x'));
      field -= 2;
    }
  }

  if (field > n) {
    // One run of fill, then the text written over it at its place.
    const std::size_t start = output.size();
    output.append(static_cast<std::size_t>(field), spec.fill);
    std::ptrdiff_t offset = field - n;  // right
    const std::uint32_t justify = spec.flags & FLAG_CENTRE;
    if (justify == FLAG_LEFT) {
      offset = 0;
    } else if (justify == FLAG_CENTRE) {
      offset = (field - n) / 2;
    }
    std::char_traits<CharT>::copy(output.data() + start + static_cast<std::size_t>(offset), text,
                                  static_cast<std::size_t>(n));
  } else {
    output.append(text, static_cast<std::size_t>(n));
  }
}

// Places a zero-terminated text, or null text: nothing with FLAG_QUIET, otherwise "(null)".
template <typename CharT>
void EmitField(std::basic_string<CharT>& output, const CharT* text, const FormatSpec<CharT>& spec) {
  if (text == nullptr) {
    if ((spec.flags & FLAG_QUIET) != 0) return;
    text = format_detail::kNullText<CharT>;
  }
  EmitField(output, text, std::char_traits<CharT>::length(text), spec);
}
