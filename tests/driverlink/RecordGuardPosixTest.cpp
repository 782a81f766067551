// The record ends exactly at a no-access page: the last path unit can be read, the next faults.
#include <gtest/gtest.h>

#include "GuardDriver.h"

namespace {

TEST(GuardDriverRecordDeathTest, ReadingPastThePathAreaFaults) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  GuardDriver driver;
  const volatile char16_t* area = driver.Slot()->ImagePath;
  EXPECT_EQ(area[GuardDriver::kPathAreaUnits - 1], u'\0');
  EXPECT_DEATH(
      {
        const char16_t beyond = area[GuardDriver::kPathAreaUnits];
        static_cast<void>(beyond);
      },
      "");
}

}  // namespace
