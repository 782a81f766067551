#pragma once
// What GuardLog sent to the Basalt sink while an instance lives, one entry per line: the level
// piece and the message piece joined ("3: VtClient\t ...\n", without the zero byte the message
// piece's length counts), the timestamps kept apart.
#include <string>
#include <vector>

#include "Basalt.h"

class LogLines {
 public:
  LogLines() { BasaltCaptureStart(); }
  ~LogLines() { BasaltCaptureStop(); }
  LogLines(const LogLines&) = delete;
  LogLines& operator=(const LogLines&) = delete;

  // Level and message of every line so far; a trailing incomplete line shows as it is.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    const std::vector<std::string> pieces = Pieces();
    for (std::size_t i = 0; i < pieces.size(); i += 3) {
      std::string line = i + 1 < pieces.size() ? pieces[i + 1] : "";
      if (i + 2 < pieces.size()) {
        std::string message = pieces[i + 2];
        if (!message.empty() && message.back() == '\0') message.pop_back();
        line += message;
      }
      lines.push_back(line);
    }
    return lines;
  }

  // The timestamp piece of every line.
  std::vector<std::string> Stamps() const {
    std::vector<std::string> stamps;
    const std::vector<std::string> pieces = Pieces();
    for (std::size_t i = 0; i < pieces.size(); i += 3) stamps.push_back(pieces[i]);
    return stamps;
  }

  // Forget what was captured so far.
  void Clear() { BasaltCaptureStart(); }

 private:
  static std::vector<std::string> Pieces() {
    std::vector<std::string> pieces;
    const int count = BasaltCapturedCount();
    for (int i = 0; i < count; ++i) {
      int length = 0;
      const int size = BasaltCapturedPiece(i, &length, nullptr, 0);
      std::string piece(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
      if (size > 0) BasaltCapturedPiece(i, &length, piece.data(), size);
      pieces.push_back(piece);
    }
    return pieces;
  }
};
