#pragma once
// Records what reaches Basalt's LogSink while an instance lives: the bytes each piece handed
// over and the length argument it came with.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "Basalt.h"

struct SinkPiece {
  std::string bytes;
  int length = 0;
  bool operator==(const SinkPiece&) const = default;
};

inline void PrintTo(const SinkPiece& piece, std::ostream* out) {
  *out << "{" << testing::PrintToString(piece.bytes) << ", length " << piece.length << "}";
}

class SinkCapture {
 public:
  SinkCapture() { BasaltCaptureStart(); }
  ~SinkCapture() { BasaltCaptureStop(); }
  SinkCapture(const SinkCapture&) = delete;
  SinkCapture& operator=(const SinkCapture&) = delete;

  std::vector<SinkPiece> Pieces() const {
    std::vector<SinkPiece> pieces(static_cast<std::size_t>(BasaltCapturedCount()));
    for (int i = 0; i < static_cast<int>(pieces.size()); ++i) {
      SinkPiece& piece = pieces[static_cast<std::size_t>(i)];
      piece.bytes.resize(static_cast<std::size_t>(BasaltCapturedPiece(i, nullptr, nullptr, 0)));
      BasaltCapturedPiece(i, &piece.length, piece.bytes.data(),
                          static_cast<int>(piece.bytes.size()));
    }
    return pieces;
  }
};

// "[HH:MM] " with a valid hour and minute, or the stamp sent when the local time is unknown.
// (No std::regex: GCC's optimiser warns inside it under the sanitizer builds.)
inline bool IsTimestamp(const std::string& text) {
  if (text == "[--:--] ") return true;
  if (text.size() != 8 || text[0] != '[' || text[3] != ':' || text.substr(6) != "] ") return false;
  const auto number = [&](std::size_t at) {
    const bool digits = std::isdigit(static_cast<unsigned char>(text[at])) &&
                        std::isdigit(static_cast<unsigned char>(text[at + 1]));
    return digits ? (text[at] - '0') * 10 + (text[at + 1] - '0') : 99;
  };
  return number(1) < 24 && number(4) < 60;
}
