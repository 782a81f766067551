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

// A handshake on `handle` (always the same record), then guarding on.
bool Start(GuardDriver& driver, const void* handle = GuardDriver::kDirectCaller) {
  const std::uint32_t request[4] = {0x37, 4242, 0, 0};
  InitializeReply reply{};
  DWORD bytes = 0, error = 0;
  return driver.Control(IOCTL_GUARD_INITIALIZE, request, 16, &reply, 16, &bytes, &error, handle) &&
         driver.Control(IOCTL_GUARD_START, nullptr, 0, nullptr, 0, &bytes, &error, handle);
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
// in ".scr" would be judged as a path that no longer ends in ".scr", and the module would read
// one with a zero unit inside as the shorter path before it.
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
  EXPECT_EQ(driver.Launch(std::u16string(u"C:\\ok.exe\0\\evil.scr", 20)).outcome, Outcome::Refused);
  EXPECT_EQ(driver.Stats().refused, 2u);
  EXPECT_EQ(driver.Stats().parked, 1u);
  for (const auto& [milliseconds, kept] :
       {std::pair{0, false}, {99, false}, {100, true}, {600'000, true}, {600'001, false}}) {
    EXPECT_EQ(driver.SetVerdictTimeout(std::chrono::milliseconds{milliseconds}), kept)
        << milliseconds << " ms";
  }
}

// The record belongs to the handle its handshake came through. Another handle on the device (a
// launch client, a reader of counters) may not take it, and its close takes nothing back:
// launches are still judged. Only the host's own close ends guarding.
TEST(GuardDriver, OnlyTheHostsOwnHandleTakesTheRecordBack) {
  GuardDriver driver(GuardDriver::Options{.verdictTimeout = std::chrono::seconds{5}});
  const int host = 0, client = 0;
  ASSERT_TRUE(Start(driver, &host));
  EXPECT_FALSE(Start(driver, &client)) << "the record is the host's";
  driver.Opened();
  driver.Closed(&client);
  auto judged = Queue(driver, u"\\Device\\HarddiskVolume1\\a.exe", 1);
  ASSERT_TRUE(driver.WaitForParked(1, std::chrono::seconds{20}));
  Answer(driver, 0);
  EXPECT_EQ(judged.get().outcome, Outcome::Denied);
  driver.Closed(&host);
  EXPECT_EQ(driver.Launch(u"a.exe").outcome, Outcome::LetThrough);
  EXPECT_TRUE(Start(driver, &client)) << "free once the host's handle is gone";
}

}  // namespace
