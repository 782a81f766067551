// The timestamp piece against winsim's clock, and the stand-in stamp when there is no time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SinkCapture.h"
#include "log/GuardLog.h"
#include "winsim/Control.h"

namespace {

TEST(GuardLogClock, StampIsLocalHourAndMinute) {
  using namespace std::string_literals;
  for (const char* stamp : {"[09:05] ", "[00:00] ", "[--:--] "}) {
    if (stamp[1] == '-') {
      winsim::SetLocalTimeUnavailable();
    } else {
      winsim::SetLocalTime(std::stoi(stamp + 1), std::stoi(stamp + 4));
    }
    SinkCapture capture;
    GuardLog(1, u"x\n");
    EXPECT_EQ(capture.Pieces(), (std::vector<SinkPiece>{{stamp, 8}, {"1: ", -1}, {"x\n\0"s, 3}}));
  }
  winsim::UseRealClock();
}

}  // namespace
