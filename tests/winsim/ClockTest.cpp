// The clock seam and the sleep scale.
#include <gtest/gtest.h>

#include "winsim/Control.h"

namespace {

class Clock : public testing::Test {
 protected:
  void TearDown() override { winsim::Reset(); }
};

TEST_F(Clock, RealClockByDefault) {
  __time64_t stored = 0;
  const __time64_t now = _time64(&stored);
  EXPECT_EQ(now, stored);
  std::tm expected{};
  const std::time_t value = stored;
  localtime_r(&value, &expected);
  const std::tm* local = _localtime64(&stored);
  ASSERT_NE(nullptr, local);
  EXPECT_EQ(expected.tm_hour * 60 + expected.tm_min, local->tm_hour * 60 + local->tm_min);
}

TEST_F(Clock, FixedLocalTime) {
  winsim::SetLocalTime(9, 5);
  const __time64_t now = _time64(nullptr);
  const std::tm* local = _localtime64(&now);
  ASSERT_NE(nullptr, local);
  EXPECT_EQ(9, local->tm_hour);
  EXPECT_EQ(5, local->tm_min);
  EXPECT_EQ(0, local->tm_sec);
  EXPECT_GE(local->tm_year, 120);
  EXPECT_GE(local->tm_mday, 1);

  winsim::SetLocalTime(24, 0);  // out of range: ignored
  EXPECT_EQ(9, _localtime64(&now)->tm_hour);
  winsim::UseRealClock();
  winsim::SetLocalTime(0, 0);
  EXPECT_EQ(0, _localtime64(&now)->tm_hour);
}

TEST_F(Clock, UnavailableLocalTimeAndRefusedArguments) {
  const __time64_t now = _time64(nullptr);
  const __time64_t beforeEpoch = -1;
  EXPECT_EQ(nullptr, _localtime64(nullptr));
  EXPECT_EQ(nullptr, _localtime64(&beforeEpoch));
  winsim::SetLocalTimeUnavailable();
  EXPECT_EQ(nullptr, _localtime64(&now));
}

TEST_F(Clock, SleepFollowsTheScale) {
  // A quarter of an hour at a millionth of the scale: this returns at once or hangs the test.
  winsim::SetSleepScale(1e-6);
  Sleep(900000);
  winsim::SetSleepScale(0.0);
  Sleep(INFINITE - 1);
  Sleep(0);
}

}  // namespace
