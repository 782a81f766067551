// What GuardLog hands to the sink, piece by piece, and the Basalt sink's side of the contract.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "SinkCapture.h"
#include "log/GuardLog.h"

// FailingAllocation.cpp: allocations before operator new throws once; negative: never.
extern int g_allocationsBeforeFailure;

namespace {

using namespace std::string_literals;

TEST(GuardLog, SinkPiecesOfEachCall) {
  struct Case {
    int level;
    void (*log)(int level);
    std::vector<SinkPiece> afterStamp;  // level and message pieces; none means no stamp either
  };
  const Case cases[] = {
      {0, [](int level) { GuardLog(level, u"x\n"); }, {}},
      {-1, [](int level) { GuardLog(level, u"x\n"); }, {}},
      {1,
       [](int level) { GuardLog(level, u"VtClient\t Started.\n"); },
       {{"1: ", -1}, {"VtClient\t Started.\n\0"s, 20}}},
      {3, [](int level) { GuardLog(level, u""); }, {{"3: ", -1}, {"\0"s, 1}}},
      {12, [](int level) { GuardLog(level, u"caf\u00e9\n"); }, {{"12: ", -1}, {"caf\xE9\n\0"s, 6}}},
      {1, [](int level) { GuardLog(level, u"ab\u0416\n"); }, {{"1: ", -1}, {"", 0}}},
      {1,
       [](int level) { GuardLog(level, u"err: %#x\n", 5); },
       {{"1: ", -1}, {"err: 0x5\n\0"s, 10}}},
      {1,
       [](int level) { GuardLog(level, u"value %d then %p %d\n", 7, 8); },
       {{"1: ", -1}, {"value 7 then \0"s, 14}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    SinkCapture capture;
    c.log(c.level);
    std::vector<SinkPiece> pieces = capture.Pieces();
    if (!pieces.empty()) {
      EXPECT_TRUE(IsTimestamp(pieces[0].bytes) && pieces[0].length == 8) << pieces[0].bytes;
      pieces.erase(pieces.begin());
    }
    EXPECT_EQ(pieces, c.afterStamp);
  }
}

// Whichever allocation fails, GuardLog never throws. One of its own: nothing of the line is sent.
// The sink's (on Linux; Basalt.dll has its own allocator) as it keeps the message, the one piece
// too long for a short string in a warmed capture: the sink throws after two pieces.
TEST(GuardLog, FailedAllocationCostsTheLineNeverTheCaller) {
  auto capture = std::make_unique<SinkCapture>();
  for (int i = 0; i < 3; ++i) GuardLog(1, u"warm\n");
  std::vector<std::size_t> sentOnFailure;
  for (int allowed = 0;; ++allowed) {
    capture.reset();
    capture = std::make_unique<SinkCapture>();
    g_allocationsBeforeFailure = allowed;
    GuardLog(1, u"out of memory, code %d\n", 7);
    const bool failed = std::exchange(g_allocationsBeforeFailure, -1) < 0;
    const std::size_t pieces = capture->Pieces().size();
    if (!failed) {
      EXPECT_EQ(pieces, 3u);
      break;
    }
    sentOnFailure.push_back(pieces);
  }
#ifndef _WIN32
  ASSERT_FALSE(sentOnFailure.empty());
  EXPECT_EQ(sentOnFailure.back(), 2u) << "the sink did not throw";
  sentOnFailure.pop_back();
#endif
  EXPECT_FALSE(sentOnFailure.empty()) << "no allocation of the line failed";
  EXPECT_EQ(sentOnFailure, std::vector<std::size_t>(sentOnFailure.size(), 0u));
}

void SetLogFile(const std::string& path) {  // empty: standard error
#ifdef _WIN32
  _putenv_s("BASALT_LOG_FILE", path.c_str());
#else
  setenv("BASALT_LOG_FILE", path.c_str(), 1);
#endif
}

TEST(BasaltSink, MeasuresOrTakesExactlyAndWritesCleanText) {
  {
    SinkCapture capture;
    LogSink("3: ", -1);
    LogSink("abcdef", 3);
    LogSink("a\0b\n", 5);
    EXPECT_EQ(capture.Pieces(),
              (std::vector<SinkPiece>{{"3: ", -1}, {"abc", 3}, {"a\0b\n\0"s, 5}}));
  }
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("vantor-basalt-" + std::to_string(std::random_device{}()));
  SetLogFile(path.string());
  LogSink("1: ", -1);
  LogSink("a\0b\n", 5);  // the text ends at its first zero byte
  LogSink("VtClient\t Started.\n", 20);
  SetLogFile("");
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "1: aVtClient\t Started.\n");
  in.close();
  std::filesystem::remove(path);
}

#ifndef _WIN32
// A log file that refuses the text (a full device) loses no line: it reaches standard error after
// one line that says why.
TEST(BasaltSink, ALogFileThatFailsSendsTheTextToStandardErrorAndSaysWhy) {
  SetLogFile("/dev/full");
  testing::internal::CaptureStderr();
  LogSink("1: ", -1);
  LogSink("VtClient\t Started.\n", 20);
  SetLogFile("");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "basalt: cannot write the log to /dev/full: No space left on device; writing it to "
            "standard error\n1: VtClient\t Started.\n");
}
#endif

}  // namespace
