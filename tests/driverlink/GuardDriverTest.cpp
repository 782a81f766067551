// What the module's tests rely on from the guard driver stand-in: the record ends at a no-access
// page, launches take the record in arrival order and each gets its own verdict, a timed-out
// launch keeps the record until Pending clears, and launches pass while not guarding.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "GuardDriver.h"

namespace {

using namespace std::chrono_literals;
using Outcome = GuardDriver::Outcome;

// A handshake (it hands out the same record every time), then `code`: start or stop.
bool Send(GuardDriver& driver, DWORD code) {
  const std::uint32_t request[4] = {0x37, 4242, 0, 0};
  InitializeReply reply{};
  DWORD bytes = 0;
  DWORD error = 0;
  return driver.Control(IOCTL_GUARD_INITIALIZE, request, 16, &reply, 16, &bytes, &error) &&
         driver.Control(code, nullptr, 0, nullptr, 0, &bytes, &error);
}

std::future<GuardDriver::LaunchResult> LaunchAsync(GuardDriver& driver, std::u16string path) {
  return std::async(std::launch::async, [&driver, path] { return driver.Launch(path); });
}

// Waits until `count` launches queue or sit in the record; the bound keeps a broken test finite.
bool InProgress(const GuardDriver& driver, std::size_t count) {
  for (int i = 0; i < 20'000 && driver.LaunchesInProgress() != count; ++i)
    std::this_thread::sleep_for(1ms);
  return driver.LaunchesInProgress() == count;
}

// The module's hand-back: the verdict first, then Pending cleared.
void Answer(GuardDriver& driver, std::uint32_t verdict) {
  std::atomic_ref<std::uint32_t>(driver.Slot()->Verdict).store(verdict, std::memory_order_relaxed);
  std::atomic_ref<std::uint32_t>(driver.Slot()->Pending).store(0, std::memory_order_release);
}

#ifdef _WIN32
TEST(GuardDriverRecord, EndsAtANoAccessPage) {
  GuardDriver driver;
  const auto* end = reinterpret_cast<const char*>(driver.Slot()) + GuardDriver::kRecordBytes;
  EXPECT_LT(reinterpret_cast<std::uintptr_t>(end), std::uintptr_t{1} << 32);
  MEMORY_BASIC_INFORMATION info{};
  ASSERT_EQ(VirtualQuery(end, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.Protect, DWORD{PAGE_NOACCESS});
}
#else
TEST(GuardDriverRecordDeathTest, ReadingPastThePathAreaFaults) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  GuardDriver driver;
  const volatile char16_t* area = driver.Slot()->ImagePath;
  EXPECT_EQ(area[GuardDriver::kPathAreaUnits - 1], u'\0');
  EXPECT_DEATH(static_cast<void>(area[GuardDriver::kPathAreaUnits]), "");
}
#endif

TEST(GuardDriver, LetsLaunchesThroughWhileNotGuarding) {
  GuardDriver driver;
  EXPECT_EQ(driver.Launch(u"\\before.exe").outcome, Outcome::LetThrough);
  ASSERT_TRUE(Send(driver, IOCTL_GUARD_START));
  ASSERT_TRUE(Send(driver, IOCTL_GUARD_STOP));
  EXPECT_EQ(driver.Launch(u"\\stopped.exe").outcome, Outcome::LetThrough);
}

TEST(GuardDriver, AnswersLaunchesInArrivalOrderEachWithItsOwnVerdict) {
  GuardDriver driver;
  ASSERT_TRUE(Send(driver, IOCTL_GUARD_START));
  const std::pair<const char16_t*, std::uint32_t> turns[] = {
      {u"\\first.exe", 1}, {u"\\second.exe", 0}, {u"\\third.exe", 1}};
  std::future<GuardDriver::LaunchResult> launches[3];
  for (std::size_t i = 0; i < 3; ++i) {
    launches[i] = LaunchAsync(driver, turns[i].first);
    ASSERT_TRUE(InProgress(driver, i + 1));
  }
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(driver.WaitForParked(i + 1, 20s));
    EXPECT_EQ(std::u16string(driver.Slot()->ImagePath), turns[i].first);
    Answer(driver, turns[i].second);
    EXPECT_EQ(launches[i].get().outcome, turns[i].second == 1 ? Outcome::Allowed : Outcome::Denied);
  }
}

TEST(GuardDriver, ATimedOutLaunchKeepsTheRecordUntilPendingClears) {
  GuardDriver driver(GuardDriver::Options{.verdictTimeout = 20ms});
  ASSERT_TRUE(Send(driver, IOCTL_GUARD_START));
  EXPECT_EQ(driver.Launch(u"\\first.exe").outcome, Outcome::TimedOut);
  EXPECT_EQ(driver.Launch(u"\\second.exe").outcome, Outcome::TimedOut);  // never wrote
  EXPECT_EQ(std::u16string(driver.Slot()->ImagePath), u"\\first.exe");

  driver.SetVerdictTimeout(60s);
  auto third = LaunchAsync(driver, u"\\third.exe");
  ASSERT_TRUE(InProgress(driver, 1));
  EXPECT_EQ(driver.Stats().parked, 1u);
  Answer(driver, 0);  // the late verdict, the first launch's
  ASSERT_TRUE(driver.WaitForParked(2, 20s));
  EXPECT_EQ(std::u16string(driver.Slot()->ImagePath), u"\\third.exe");
  Answer(driver, 1);
  EXPECT_EQ(third.get().outcome, Outcome::Allowed);
  EXPECT_EQ(driver.Stats().lateVerdicts, 1u);
}

}  // namespace
