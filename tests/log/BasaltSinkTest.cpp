// The Basalt stand-in honours the sink contract (-1 measures, any other length is exact, the
// pointer is not kept) and writes clean text: the zero byte a length counts is not written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EnvironmentVariable.h"
#include "SinkCapture.h"
#include "TempLogFile.h"

namespace {

using namespace std::string_literals;

TEST(BasaltSink, TakesMeasuredOrExactlyGivenBytes) {
  SinkCapture capture;
  LogSink("3: ", -1);
  LogSink("abcdef", 3);                  // a prefix of a longer text
  LogSink("VtClient\t Started.\n", 20);  // the count includes the terminating zero
  LogSink("", 1);
  LogSink("ignored", 0);
  LogSink("ignored", -2);
  LogSink(nullptr, -1);
  const std::vector<SinkPiece> expected = {
      {"3: ", -1}, {"abc", 3}, {"VtClient\t Started.\n\0"s, 20}, {"\0"s, 1}, {"", 0},
      {"", -2},    {"", -1}};
  EXPECT_EQ(capture.Pieces(), expected);
}

TEST(BasaltSink, KeepsNoPointer) {
  SinkCapture capture;
  char text[] = "before";
  LogSink(text, -1);
  LogSink(text, 3);
  text[0] = 'X';
  const std::vector<SinkPiece> expected = {{"before", -1}, {"bef", 3}};
  EXPECT_EQ(capture.Pieces(), expected);
}

TEST(BasaltSink, ReportsMissingPiecesAndCopiesNoMoreThanAsked) {
  SinkCapture capture;
  LogSink("abcdef", -1);
  int length = 0;
  char bytes[4] = {'-', '-', '-', '-'};
  EXPECT_EQ(BasaltCapturedPiece(0, &length, bytes, 2), 6);
  EXPECT_EQ(length, -1);
  EXPECT_EQ(std::string(bytes, 4), "ab--");
  EXPECT_EQ(BasaltCapturedPiece(1, &length, bytes, 4), -1);
  EXPECT_EQ(BasaltCapturedPiece(-1, &length, bytes, 4), -1);
}

TEST(BasaltSink, CaptureStartsEmptyAndStopsRecording) {
  TempLogFile file;  // pieces written while no capture runs land here, not on the console
  ScopedEnvironmentVariable output("BASALT_LOG_FILE", file.Path());
  {
    SinkCapture first;
    LogSink("one", -1);
  }
  LogSink("between", -1);
  EXPECT_EQ(BasaltCapturedCount(), 1);  // records stay readable after the capture stops
  SinkCapture second;
  EXPECT_EQ(BasaltCapturedCount(), 0);
  LogSink("two", -1);
  EXPECT_EQ(second.Pieces(), std::vector<SinkPiece>({{"two", -1}}));
  EXPECT_EQ(file.Read(), "between");
}

TEST(BasaltSink, AppendsCleanTextToTheNamedFile) {
  TempLogFile file;
  file.Write("earlier line\n");
  ScopedEnvironmentVariable output("BASALT_LOG_FILE", file.Path());
  LogSink("[09:05] ", 8);
  LogSink("1: ", -1);
  LogSink("VtClient\t Started.\n", 20);
  LogSink("[09:06] ", 8);
  LogSink("3: ", -1);
  LogSink("", 0);
  LogSink("", 1);
  EXPECT_EQ(file.Read(), "earlier line\n[09:05] 1: VtClient\t Started.\n[09:06] 3: ");
}

TEST(BasaltSink, WritesToStandardErrorByDefault) {
  const std::string message = "VtClient\t Stop. Driver is not even initialized.\n";
  testing::internal::CaptureStderr();
  LogSink("[00:00] ", 8);
  LogSink("2: ", -1);
  LogSink(message.c_str(), static_cast<int>(message.size() + 1));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[00:00] 2: " + message);
}

}  // namespace
