#pragma once
// Records what reaches Basalt's LogSink while an instance lives, so tests can check every
// piece: the bytes the sink took and the length argument they came with.
#include <gtest/gtest.h>

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
    std::vector<SinkPiece> pieces;
    const int count = BasaltCapturedCount();
    for (int i = 0; i < count; ++i) {
      SinkPiece piece;
      const int size = BasaltCapturedPiece(i, &piece.length, nullptr, 0);
      piece.bytes.resize(static_cast<std::size_t>(size));
      BasaltCapturedPiece(i, &piece.length, piece.bytes.data(), size);
      pieces.push_back(piece);
    }
    return pieces;
  }
};

// "[HH:MM] " with digits in range, or the stamp sent when the local time is unknown.
inline bool IsTimestamp(const std::string& text) {
  if (text == "[--:--] ") return true;
  if (text.size() != 8 || text[0] != '[' || text[3] != ':' || text[6] != ']' || text[7] != ' ')
    return false;
  for (std::size_t i : {1u, 2u, 4u, 5u})
    if (text[i] < '0' || text[i] > '9') return false;
  const int hour = (text[1] - '0') * 10 + (text[2] - '0');
  const int minute = (text[4] - '0') * 10 + (text[5] - '0');
  return hour < 24 && minute < 60;
}
