// Fuzzes GuardLog with wide formats (characters above U+00FF included) and checks the pieces the
// sink receives: nothing for a level of 0 or less; otherwise the 8-byte time stamp, the level
// piece, and the message in Latin-1 with its terminator counted, or the empty piece of length 0
// when a character does not fit.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "Basalt.h"
#include "log/Formatter.h"
#include "log/GuardLog.h"

namespace {

struct Piece {
  std::string bytes;
  int length;
};

std::vector<Piece> Captured() {
  std::vector<Piece> pieces;
  for (int i = 0; i < BasaltCapturedCount(); ++i) {
    Piece piece{{}, 0};
    piece.bytes.resize(static_cast<std::size_t>(BasaltCapturedPiece(i, &piece.length, nullptr, 0)));
    BasaltCapturedPiece(i, &piece.length, piece.bytes.data(), static_cast<int>(piece.bytes.size()));
    pieces.push_back(piece);
  }
  return pieces;
}

// Values for the directives a format may hold: pointers to one text that reads as a wide and as
// a narrow string, and doubles. Formats are limited to 5 directives and take no '*' width or
// precision (a pointer read as a width would ask for gigabytes of fill).
const char16_t kText[] = u"text";
const void* P = kText;

std::string Expected(const std::u16string& message) {
  std::string narrow;
  for (char16_t c : message) {
    if (c == 0) break;
    if (c > 0xFF) return {};
    narrow.push_back(static_cast<char>(c));
  }
  narrow.push_back('\0');
  return narrow;
}

std::u16string Format(const char16_t* format, ...) {
  std::u16string out;
  va_list args;
  va_start(args, format);
  FormatWide(out, format, args);
  va_end(args);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int level = static_cast<std::int8_t>(data[0]);
  std::u16string format;
  for (std::size_t i = 1; i + 1 < size; i += 2)
    format.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  if (const auto nul = format.find(u'\0'); nul != std::u16string::npos) format.resize(nul);
  if (std::count(format.begin(), format.end(), u'%') > 5) return 0;
  if (format.find(u'*') != std::u16string::npos) return 0;

#define VALUES P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, P, 1.5, 2.5, 3.5, 4.5, 5.5
  const std::u16string message = Format(format.c_str(), VALUES);
  BasaltCaptureStart();
  GuardLog(level, format.c_str(), VALUES);
#undef VALUES
  const std::vector<Piece> pieces = Captured();
  BasaltCaptureStop();

  if (level <= 0) {
    if (!pieces.empty()) __builtin_trap();
    return 0;
  }
  if (pieces.size() != 3) __builtin_trap();
  if (pieces[0].length != 8 || pieces[0].bytes.size() != 8) __builtin_trap();
  if (pieces[1].length != -1 || pieces[1].bytes != std::to_string(level) + ": ") __builtin_trap();
  const std::string expected = Expected(message);
  if (pieces[2].bytes != expected) __builtin_trap();
  if (pieces[2].length != static_cast<int>(expected.size())) __builtin_trap();
  return 0;
}
