// The guard driver stand-in's guarantees the module's driver-link tests rely on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "GuardDriver.h"

namespace {

using Outcome = GuardDriver::Outcome;

bool Start(GuardDriver& driver) {  // a handshake (always the same record), then guarding on
  const std::uint32_t request[4] = {0x37, 4242, 0, 0};
  InitializeReply reply{};
  DWORD bytes = 0, error = 0;
  return driver.Control(IOCTL_GUARD_INITIALIZE, request, 16, &reply, 16, &bytes, &error) &&
         driver.Control(IOCTL_GUARD_START, nullptr, 0, nullptr, 0, &bytes, &error);
}

auto Queue(GuardDriver& driver, std::u16string path, std::size_t queued) {
  auto launch = std::async(std::launch::async, [&driver, path] { return driver.Launch(path); });
  for (int i = 0; i < 20'000 && driver.LaunchesInProgress() != queued; ++i)  // fixes the order
    std::this_thread::sleep_for(std::chrono::milliseconds{1});
  return launch;
}

void Answer(GuardDriver& driver, std::uint32_t verdict) {  // as the module: Verdict, then Pending
  std::atomic_ref<std::uint32_t>(driver.Slot()->Verdict).store(verdict, std::memory_order_relaxed);
  std::atomic_ref<std::uint32_t>(driver.Slot()->Pending).store(0, std::memory_order_release);
}

#ifndef _WIN32
TEST(GuardDriverRecordDeathTest, ReadingPastThePathAreaFaults) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  GuardDriver driver;
  const volatile char16_t* area = driver.Slot()->ImagePath;
  EXPECT_EQ(area[GuardDriver::kPathAreaUnits - 1], u'\0');
  EXPECT_DEATH(static_cast<void>(area[GuardDriver::kPathAreaUnits]), "");
}
#endif

// A path the record cannot hold whole is refused and never parked: cut, a 40,000-unit path ending
// in ".scr" would be judged as a path that no longer ends in ".scr".
TEST(GuardDriver, RefusesAPathTheRecordCannotHoldWhole) {
  GuardDriver driver(GuardDriver::Options{.verdictTimeout = std::chrono::seconds{5}});
  ASSERT_TRUE(Start(driver));
  const std::u16string longest(GuardDriver::kMaxPathUnits, u'x');
  auto fits = Queue(driver, longest, 1);
  ASSERT_TRUE(driver.WaitForParked(1, std::chrono::seconds{20}));
  EXPECT_TRUE(std::u16string(driver.Slot()->ImagePath) == longest);
  Answer(driver, 1);
  EXPECT_EQ(fits.get().outcome, Outcome::Allowed);
  EXPECT_EQ(driver.Launch(std::u16string(40'000, u'x') + u".scr").outcome, Outcome::Refused);
  EXPECT_EQ(driver.Stats().refused, 1u);
  EXPECT_EQ(driver.Stats().parked, 1u);
}

}  // namespace
