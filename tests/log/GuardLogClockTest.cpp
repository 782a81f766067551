// The timestamp piece against winsim's clock: hour and minute in two digits each, and a
// stand-in stamp of the same length when the local time cannot be obtained.
#include <gtest/gtest.h>

#include <string>

#include "SinkCapture.h"
#include "log/GuardLog.h"
#include "winsim/Control.h"

namespace {

class GuardLogClock : public testing::Test {
 protected:
  void TearDown() override { winsim::UseRealClock(); }
};

TEST_F(GuardLogClock, StampIsLocalHourAndMinuteInTwoDigits) {
  struct Case {
    int hour;
    int minute;
    const char* stamp;
  };
  const Case cases[] = {
      {9, 5, "[09:05] "}, {0, 0, "[00:00] "}, {23, 59, "[23:59] "}, {12, 30, "[12:30] "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stamp);
    winsim::SetLocalTime(c.hour, c.minute);
    SinkCapture capture;
    GuardLog(1, u"VtClient\t Started.\n");
    const auto pieces = capture.Pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], (SinkPiece{c.stamp, 8}));
  }
}

TEST_F(GuardLogClock, UnknownLocalTimeStillSendsTheWholeLine) {
  winsim::SetLocalTimeUnavailable();
  SinkCapture capture;
  GuardLog(3, u"PATHCONVERTER\t Unable to initialize.\n");
  const auto pieces = capture.Pieces();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], (SinkPiece{"[--:--] ", 8}));
  EXPECT_EQ(pieces[1], (SinkPiece{"3: ", -1}));
  const std::string message = "PATHCONVERTER\t Unable to initialize.\n";
  EXPECT_EQ(pieces[2], (SinkPiece{message + '\0', static_cast<int>(message.size() + 1)}));
}

}  // namespace
