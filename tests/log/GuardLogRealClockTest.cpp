// On Windows the timestamp comes from the real runtime clock: it must read as the local hour
// and minute taken just before or just after the call.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "SinkCapture.h"
#include "log/GuardLog.h"

namespace {

std::string StampAt(__time64_t time) {
  const std::tm* local = _localtime64(&time);
  if (local == nullptr) return "[--:--] ";
  char stamp[16] = {};
  std::snprintf(stamp, sizeof stamp, "[%02d:%02d] ", local->tm_hour, local->tm_min);
  return stamp;
}

TEST(GuardLogRealClock, StampIsTheLocalHourAndMinute) {
  SinkCapture capture;
  const __time64_t before = _time64(nullptr);
  GuardLog(1, u"VtClient\t Started.\n");
  const __time64_t after = _time64(nullptr);
  const auto pieces = capture.Pieces();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].length, 8);
  const std::string early = StampAt(before);
  const std::string late = StampAt(after);
  EXPECT_TRUE(pieces[0].bytes == early || pieces[0].bytes == late)
      << testing::PrintToString(pieces[0].bytes) << " is neither " << early << " nor " << late;
  EXPECT_NE(early, "[--:--] ");
}

}  // namespace
