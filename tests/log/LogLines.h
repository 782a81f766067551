#pragma once
// The captured sink pieces as log lines (three pieces a line: time stamp, level, message), and
// the module's own lines as the tests expect them.
#include <cstdint>
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

using LineList = std::vector<std::string>;
inline const std::string kStarted = "1: VtClient\t Started.\n";
inline const std::string kStopped = "1: VtClient\t Stopped.\n";
inline const std::string kStopFailed = "3: VtClient\t Stop IOCTL failed.\n";
inline const std::string kNotInitialized = "2: VtClient\t Stop. Driver is not even initialized.\n";
inline const std::string kUnableToInitialize = "3: VtClient\t Unable to initialize driver.\n";
inline std::string StartFailed(std::uint32_t error) {
  return "3: VtClient\t Start IOCTL failed. Last Error: " + std::to_string(error) + "\n";
}
// The line of a successful handshake: the record's address as a signed 32-bit number.
inline std::string InitializedLine(std::uint32_t address) {
  return "1: VtClient\t Initialized, shared buffer ptr: " +
         std::to_string(static_cast<std::int32_t>(address)) + "\n";
}
