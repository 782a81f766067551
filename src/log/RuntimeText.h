#pragma once
// Conversions whose text comes from the C runtime: fixed-point numbers ('f') and text of the
// other character width ('A' in the wide twin, 'S' and 'C' in the narrow twin).
#include <cstddef>
#include <cstdint>
#include <string>

#include "log/FormatSpec.h"

// The 'f' text lives in this stack buffer; a longer text does not fit and renders as empty.
inline constexpr std::size_t kFixedTextBuffer = 64;

// Writes the runtime's fixed-point text of `value` into `buffer` ("%f" or "%.*f"; with
// FLAG_LONG the "L" forms). A text that would not fit leaves the buffer empty.
void FormatFixed(char (&buffer)[kFixedTextBuffer], double value, std::uint32_t flags,
                 std::int32_t precision);

// Converts zero-terminated narrow text to wide text in the "C" locale and places it with
// EmitField. Null text is placed as null text.
void EmitNarrowAsWide(std::u16string& output, const char* text, const FormatSpec<char16_t>& spec);

// Converts zero-terminated wide text to narrow text in the "C" locale and places it with
// EmitField. Text holding a character above U+00FF renders as empty text; null text is
// placed as null text.
void EmitWideAsNarrow(std::string& output, const char16_t* text, const FormatSpec<char>& spec);
