// On Windows the stamp comes from the runtime's clock: the local time just before or after.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "SinkCapture.h"
#include "log/GuardLog.h"

namespace {

std::string StampAt(__time64_t time) {
  const std::tm* local = _localtime64(&time);
  char stamp[16] = {};
  if (local) std::snprintf(stamp, sizeof stamp, "[%02d:%02d] ", local->tm_hour, local->tm_min);
  return stamp;
}

TEST(GuardLogRealClock, StampIsTheLocalHourAndMinute) {
  SinkCapture capture;
  const std::string before = StampAt(_time64(nullptr));
  GuardLog(1, u"x\n");
  const std::string after = StampAt(_time64(nullptr));
  const SinkPiece stamp = capture.Pieces().at(0);
  EXPECT_EQ(stamp.length, 8);
  EXPECT_TRUE(stamp.bytes == before || stamp.bytes == after) << stamp.bytes << " vs " << before;
  EXPECT_EQ(before.size(), 8u);
}

}  // namespace
