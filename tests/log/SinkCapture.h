#pragma once
// Records what reaches Basalt's LogSink while an instance lives: the bytes each piece handed
// over and the length argument it came with.
#include <gtest/gtest.h>

#include <ostream>
#include <regex>
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
inline bool IsTimestamp(const std::string& text) {
  static const std::regex kStamp(R"(\[(([01]\d|2[0-3]):[0-5]\d|--:--)\] )");
  return std::regex_match(text, kStamp);
}
