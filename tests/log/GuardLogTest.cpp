// What GuardLog hands to the sink, piece by piece: the timestamp (explicit length 8), the level
// (length -1) and the message converted to narrow text (its count includes the zero byte).
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "EnvironmentVariable.h"
#include "SinkCapture.h"
#include "TempLogFile.h"
#include "log/GuardLog.h"

namespace {

using namespace std::string_literals;

// The message piece as sent: the text plus its terminating zero, with a length that counts it.
SinkPiece MessagePiece(const std::string& text) {
  return SinkPiece{text + '\0', static_cast<int>(text.size() + 1)};
}

void ExpectTimestampPiece(const SinkPiece& piece) {
  EXPECT_TRUE(IsTimestamp(piece.bytes)) << testing::PrintToString(piece.bytes);
  EXPECT_EQ(piece.length, 8);
}

TEST(GuardLog, LevelsOfZeroAndBelowReachNoSink) {
  SinkCapture capture;
  for (int level : {0, -1, -3, INT_MIN}) GuardLog(level, u"VtClient\t Started.\n");
  EXPECT_TRUE(capture.Pieces().empty());
}

TEST(GuardLog, LevelPieceIsTheNumberColonBlankForTheSinkToMeasure) {
  for (int level : {1, 2, 3, 12, INT_MAX}) {
    SCOPED_TRACE(level);
    SinkCapture capture;
    GuardLog(level, u"x\n");
    const auto pieces = capture.Pieces();
    ASSERT_EQ(pieces.size(), 3u);
    ExpectTimestampPiece(pieces[0]);
    EXPECT_EQ(pieces[1], (SinkPiece{std::to_string(level) + ": ", -1}));
    EXPECT_EQ(pieces[2], MessagePiece("x\n"));
  }
}

struct MessageCase {
  const char* name;
  std::function<void()> log;  // one GuardLog call at level 1
  SinkPiece expected;         // the third piece
};

TEST(GuardLog, MessagePieceIsTheFormattedTextInNarrowCharacters) {
  const std::u16string longMessage(1000, u'x');
  const MessageCase cases[] = {
      {"plain message", [] { GuardLog(1, u"VtClient\t Started.\n"); },
       SinkPiece{"VtClient\t Started.\n\0"s, 20}},
      {"empty message", [] { GuardLog(1, u""); }, SinkPiece{"\0"s, 1}},
      {"error number in hexadecimal",
       [] { GuardLog(1, u"VtClient\t Unable to open driver service, err: %#x\n", 5); },
       MessagePiece("VtClient\t Unable to open driver service, err: 0x5\n")},
      {"pointer value printed as a signed number",
       [] { GuardLog(1, u"VtClient\t Initialized, shared buffer ptr: %d\n", -4096); },
       MessagePiece("VtClient\t Initialized, shared buffer ptr: -4096\n")},
      {"several arguments in order", [] { GuardLog(1, u"%s|%d|%x", u"C:\\Windows", 42, 255u); },
       MessagePiece("C:\\Windows|42|ff")},
      {"character U+00E9 becomes byte 0xE9", [] { GuardLog(1, u"caf\u00e9\n"); },
       MessagePiece("caf\xE9\n")},
      {"character U+00FF becomes byte 0xFF", [] { GuardLog(1, u"\u00ff"); }, MessagePiece("\xFF")},
      {"character U+0416 empties the piece", [] { GuardLog(1, u"\u0416"); }, SinkPiece{"", 0}},
      {"U+0416 amid text empties the piece", [] { GuardLog(1, u"ab\u0416cd\n"); },
       SinkPiece{"", 0}},
      {"U+0100 empties the piece", [] { GuardLog(1, u"\u0100"); }, SinkPiece{"", 0}},
      {"format abandoned at an unknown letter",
       [] { GuardLog(1, u"VtClient\t value %d then %p and %d\n", 7, 8); },
       MessagePiece("VtClient\t value 7 then ")},
      {"format abandoned at a lone percent sign", [] { GuardLog(1, u"100%"); },
       MessagePiece("100")},
      {"long message", [&] { GuardLog(1, longMessage.c_str()); },
       MessagePiece(std::string(1000, 'x'))},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.name);
    SinkCapture capture;
    c.log();
    const auto pieces = capture.Pieces();
    ASSERT_EQ(pieces.size(), 3u);
    ExpectTimestampPiece(pieces[0]);
    EXPECT_EQ(pieces[1], (SinkPiece{"1: ", -1}));
    EXPECT_EQ(pieces[2], c.expected);
  }
}

// Threads log at once: every line arrives with its three pieces intact (they may interleave).
TEST(GuardLog, ThreadsLoggingAtOnceLoseNoPiece) {
  constexpr int kThreads = 4;
  constexpr int kLines = 100;
  SinkCapture capture;
  {
    std::vector<std::jthread> threads;
    for (int t = 1; t <= kThreads; ++t) {
      threads.emplace_back([t] {
        for (int line = 0; line < kLines; ++line) GuardLog(t, u"thread %d line %d\n", t, line);
      });
    }
  }
  std::multiset<std::pair<std::string, int>> expected;
  for (int t = 1; t <= kThreads; ++t) {
    for (int line = 0; line < kLines; ++line) {
      const SinkPiece message =
          MessagePiece("thread " + std::to_string(t) + " line " + std::to_string(line) + "\n");
      expected.emplace(std::to_string(t) + ": ", -1);
      expected.emplace(message.bytes, message.length);
    }
  }
  std::multiset<std::pair<std::string, int>> received;
  for (const SinkPiece& piece : capture.Pieces()) {
    if (piece.length == 8)
      EXPECT_TRUE(IsTimestamp(piece.bytes)) << testing::PrintToString(piece);
    else
      received.emplace(piece.bytes, piece.length);
  }
  EXPECT_EQ(received, expected);
}

// The module and the real sink together: a line lands in the log file as clean text.
TEST(GuardLog, LineReachesTheLogFileAsCleanText) {
  TempLogFile file;
  ScopedEnvironmentVariable output("BASALT_LOG_FILE", file.Path());
  GuardLog(3, u"VtClient\t Start IOCTL failed. Last Error: %d\n", 31);
  GuardLog(1, u"\u0416\n");
  const std::string first = "3: VtClient\t Start IOCTL failed. Last Error: 31\n";
  const std::string text = file.Read();
  // Two stamps, the first line whole; the second line keeps its level but loses its message.
  ASSERT_EQ(text.size(), 8 + first.size() + 8 + 3) << testing::PrintToString(text);
  EXPECT_TRUE(IsTimestamp(text.substr(0, 8)));
  EXPECT_EQ(text.substr(8, first.size()), first);
  EXPECT_TRUE(IsTimestamp(text.substr(8 + first.size(), 8)));
  EXPECT_EQ(text.substr(16 + first.size()), "1: ");
}

}  // namespace
