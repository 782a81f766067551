// What GuardLog hands to the sink, piece by piece: the timestamp (explicit length 8), the level
// (length -1) and the message converted to narrow text (its count includes the zero byte).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "EnvironmentVariable.h"
#include "SinkCapture.h"
#include "TempLogFile.h"
#include "log/GuardLog.h"

namespace {

using namespace std::string_literals;
using testing::ElementsAre;

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

TEST(GuardLog, ConsecutiveCallsSendWholeLinesInOrder) {
  SinkCapture capture;
  GuardLog(3, u"VtClient\t Unable to initialize driver.\n");
  GuardLog(0, u"dropped\n");
  GuardLog(2, u"VtClient\t Stop. Driver is not even initialized.\n");
  const auto pieces = capture.Pieces();
  ASSERT_EQ(pieces.size(), 6u);
  ExpectTimestampPiece(pieces[0]);
  ExpectTimestampPiece(pieces[3]);
  EXPECT_THAT(
      std::vector<SinkPiece>({pieces[1], pieces[2], pieces[4], pieces[5]}),
      ElementsAre(SinkPiece{"3: ", -1}, MessagePiece("VtClient\t Unable to initialize driver.\n"),
                  SinkPiece{"2: ", -1},
                  MessagePiece("VtClient\t Stop. Driver is not even initialized.\n")));
}

// Threads log at once: every line arrives with its three pieces intact (they may interleave).
TEST(GuardLog, ThreadsLoggingAtOnceLoseNoPiece) {
  constexpr int kThreads = 4;
  constexpr int kLines = 100;
  SinkCapture capture;
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t] {
        for (int line = 0; line < kLines; ++line)
          GuardLog(t + 1, u"thread %d line %d\n", t + 1, line);
      });
    }
  }
  const auto pieces = capture.Pieces();
  ASSERT_EQ(pieces.size(), static_cast<std::size_t>(3 * kThreads * kLines));
  int stamps = 0;
  std::vector<int> levels(kThreads + 1, 0);
  std::vector<std::vector<int>> lines(kThreads + 1);
  for (const SinkPiece& piece : pieces) {
    if (piece.length == 8) {
      ASSERT_TRUE(IsTimestamp(piece.bytes)) << testing::PrintToString(piece);
      ++stamps;
    } else if (piece.length == -1) {
      const int level = std::atoi(piece.bytes.c_str());
      ASSERT_GE(level, 1) << testing::PrintToString(piece);
      ASSERT_LE(level, kThreads);
      EXPECT_EQ(piece.bytes, std::to_string(level) + ": ");
      ++levels[static_cast<std::size_t>(level)];
    } else {
      int level = 0;
      int line = 0;
      ASSERT_EQ(std::sscanf(piece.bytes.c_str(), "thread %d line %d", &level, &line), 2)
          << testing::PrintToString(piece);
      ASSERT_GE(level, 1);
      ASSERT_LE(level, kThreads);
      EXPECT_EQ(piece, MessagePiece("thread " + std::to_string(level) + " line " +
                                    std::to_string(line) + "\n"));
      lines[static_cast<std::size_t>(level)].push_back(line);
    }
  }
  EXPECT_EQ(stamps, kThreads * kLines);
  for (int t = 1; t <= kThreads; ++t) {
    EXPECT_EQ(levels[static_cast<std::size_t>(t)], kLines) << "thread " << t;
    std::vector<int> expected(kLines);
    for (int line = 0; line < kLines; ++line) expected[static_cast<std::size_t>(line)] = line;
    EXPECT_EQ(lines[static_cast<std::size_t>(t)], expected) << "thread " << t;
  }
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
