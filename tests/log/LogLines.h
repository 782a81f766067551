#pragma once
// The captured sink pieces as log lines: three pieces a line (time stamp, level, message).
#include <string>
#include <vector>

#include "log/SinkCapture.h"

// "LEVEL: message" for each line the module logged (the time stamp is checked for shape).
inline std::vector<std::string> LogLines(const SinkCapture& capture) {
  const std::vector<SinkPiece> pieces = capture.Pieces();
  EXPECT_EQ(pieces.size() % 3, 0u) << "a line arrived in other than three pieces";
  std::vector<std::string> lines;
  for (std::size_t i = 0; i + 2 < pieces.size(); i += 3) {
    EXPECT_TRUE(IsTimestamp(pieces[i].bytes)) << pieces[i].bytes;
    const std::string& message = pieces[i + 2].bytes;
    lines.push_back(pieces[i + 1].bytes + message.substr(0, message.find('\0')));
  }
  return lines;
}
