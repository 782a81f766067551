// The guard driver stand-in on its own: the record, the control codes, the launch queue and the
// misbehaviours tests of the module rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "FakeModule.h"
#include "GuardDriver.h"

namespace {

using namespace std::chrono_literals;
using Outcome = GuardDriver::Outcome;

constexpr std::array<std::uint8_t, 16> kRequest = {0x37, 0, 0, 0, 0x92, 0x10, 0, 0,
                                                   0,    0, 0, 0, 0,    0,    0, 0};

struct Sent {
  bool ok;
  DWORD error;
  DWORD bytes;
};

Sent Send(GuardDriver& driver, DWORD code, const void* in = nullptr, DWORD inSize = 0,
          void* out = nullptr, DWORD outSize = 0) {
  Sent sent{false, 0, 0xDEAD};
  sent.ok = driver.Control(code, in, inSize, out, outSize, &sent.bytes, &sent.error);
  return sent;
}

Sent Handshake(GuardDriver& driver, InitializeReply& reply) {
  return Send(driver, IOCTL_GUARD_INITIALIZE, kRequest.data(), 16, &reply, sizeof reply);
}

// An opened driver that has handed out its record and guards.
void Connect(GuardDriver& driver) {
  driver.Opened();
  InitializeReply reply{};
  ASSERT_TRUE(Handshake(driver, reply).ok);
  ASSERT_TRUE(Send(driver, IOCTL_GUARD_START).ok);
}

// Polls a condition that another thread makes true; the bound only keeps a broken test finite.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::future<GuardDriver::LaunchResult> LaunchAsync(GuardDriver& driver, std::u16string path) {
  return std::async(std::launch::async, [&driver, path] { return driver.Launch(path); });
}

std::u16string PathIn(const SharedSlot* slot) {
  return std::u16string(slot->ImagePath);
}

void AnswerByHand(SharedSlot* slot, std::uint32_t verdict) {
  std::atomic_ref<std::uint32_t>(slot->Verdict).store(verdict, std::memory_order_relaxed);
  std::atomic_ref<std::uint32_t>(slot->Pending).store(0, std::memory_order_release);
}

TEST(GuardDriverRecord, SitsBelow4GiBAndHoldsTheLongestPathWithItsTerminator) {
  GuardDriver driver;
  const auto address = reinterpret_cast<std::uintptr_t>(driver.Slot());
  EXPECT_NE(address, 0u);
  EXPECT_LT(address, std::uintptr_t{1} << 32);
  EXPECT_EQ(address % 8, 0u);
  EXPECT_EQ(driver.SlotAddress(), address);
  EXPECT_EQ(GuardDriver::kRecordBytes, 8u + 32768u * 2u);
  // The whole record is there and zero: the last path unit is readable.
  EXPECT_EQ(driver.Slot()->Pending, 0u);
  EXPECT_EQ(driver.Slot()->ImagePath[GuardDriver::kMaxPathUnits], u'\0');
}

TEST(GuardDriverHandshake, RepliesWithTheRecordAddressAndKeepsTheRequestBytes) {
  GuardDriver driver;
  InitializeReply reply{};
  const Sent sent = Handshake(driver, reply);
  ASSERT_TRUE(sent.ok);
  EXPECT_EQ(sent.bytes, 16u);
  EXPECT_EQ(reply.SlotAddress, driver.SlotAddress());
  EXPECT_TRUE(std::all_of(std::begin(reply.Rest), std::end(reply.Rest),
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(driver.LastInitializeRequest(), kRequest);
  // A second handshake hands out the same record.
  InitializeReply again{};
  ASSERT_TRUE(Handshake(driver, again).ok);
  EXPECT_EQ(again.SlotAddress, reply.SlotAddress);
  EXPECT_EQ(driver.Stats().initializeCodes, 2u);
}

TEST(GuardDriverControl, RefusesWrongBuffersUnknownCodesAndAStartBeforeTheHandshake) {
  GuardDriver driver;
  InitializeReply reply{};
  std::array<std::uint8_t, 32> big{};
  struct Case {
    const char* what;
    DWORD code;
    const void* in;
    DWORD inSize;
    void* out;
    DWORD outSize;
    DWORD error;
  };
  const Case cases[] = {
      {"start before handshake", IOCTL_GUARD_START, nullptr, 0, nullptr, 0, ERROR_INVALID_FUNCTION},
      {"short request", IOCTL_GUARD_INITIALIZE, kRequest.data(), 15, &reply, 16,
       ERROR_INVALID_PARAMETER},
      {"long request", IOCTL_GUARD_INITIALIZE, big.data(), 17, &reply, 16, ERROR_INVALID_PARAMETER},
      {"no request", IOCTL_GUARD_INITIALIZE, nullptr, 16, &reply, 16, ERROR_INVALID_PARAMETER},
      {"short reply", IOCTL_GUARD_INITIALIZE, kRequest.data(), 16, &reply, 15,
       ERROR_INVALID_PARAMETER},
      {"no reply", IOCTL_GUARD_INITIALIZE, kRequest.data(), 16, nullptr, 16,
       ERROR_INVALID_PARAMETER},
      {"start with input", IOCTL_GUARD_START, kRequest.data(), 16, nullptr, 0,
       ERROR_INVALID_PARAMETER},
      {"stop with output", IOCTL_GUARD_STOP, nullptr, 0, big.data(), 4, ERROR_INVALID_PARAMETER},
      {"unknown code", 0x0022E00F, nullptr, 0, nullptr, 0, ERROR_INVALID_FUNCTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Sent sent = Send(driver, c.code, c.in, c.inSize, c.out, c.outSize);
    EXPECT_FALSE(sent.ok);
    EXPECT_EQ(sent.error, c.error);
    EXPECT_EQ(sent.bytes, 0u);
  }
  EXPECT_FALSE(driver.Guarding());
  EXPECT_FALSE(driver.LastInitializeRequest().has_value());
  EXPECT_EQ(driver.Stats().failedCodes, std::size(cases));
  // A larger reply buffer is fine: 16 bytes are written.
  ASSERT_TRUE(Send(driver, IOCTL_GUARD_INITIALIZE, kRequest.data(), 16, big.data(), 32).ok);
  EXPECT_TRUE(Send(driver, IOCTL_GUARD_START).ok);
  EXPECT_TRUE(driver.Guarding());
  EXPECT_TRUE(Send(driver, IOCTL_GUARD_START).ok);
  EXPECT_TRUE(Send(driver, IOCTL_GUARD_STOP).ok);
  EXPECT_TRUE(Send(driver, IOCTL_GUARD_STOP).ok);
  EXPECT_FALSE(driver.Guarding());
  const GuardDriver::Statistics stats = driver.Stats();
  EXPECT_EQ(stats.startCodes, 4u);  // two refused above
  EXPECT_EQ(stats.stopCodes, 3u);   // one refused above
}

TEST(GuardDriverMisbehaviour, InjectedCodeFailuresCountDownOrStrikeAtRandom) {
  GuardDriver driver;
  InitializeReply reply{};
  driver.FailCode(IOCTL_GUARD_INITIALIZE, ERROR_GEN_FAILURE, 2);
  for (int i = 0; i < 2; ++i) {
    const Sent sent = Handshake(driver, reply);
    EXPECT_FALSE(sent.ok);
    EXPECT_EQ(sent.error, ERROR_GEN_FAILURE);
  }
  EXPECT_EQ(reply.SlotAddress, 0u);
  EXPECT_TRUE(Handshake(driver, reply).ok);

  driver.FailCode(IOCTL_GUARD_STOP, ERROR_ACCESS_DENIED);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Send(driver, IOCTL_GUARD_STOP).error, ERROR_ACCESS_DENIED);
  driver.ClearCodeFailures();
  EXPECT_TRUE(Send(driver, IOCTL_GUARD_STOP).ok);

  driver.FailCodeAtRandom(IOCTL_GUARD_START, ERROR_NOT_SUPPORTED, 0.5);
  int failures = 0;
  for (int i = 0; i < 400; ++i) {
    const Sent sent = Send(driver, IOCTL_GUARD_START);
    failures += sent.ok ? 0 : 1;
    EXPECT_EQ(sent.error, sent.ok ? 0u : ERROR_NOT_SUPPORTED);
  }
  EXPECT_GT(failures, 100);
  EXPECT_LT(failures, 300);
}

TEST(GuardDriverLaunch, LetsLaunchesThroughWhileNotGuarding) {
  GuardDriver driver;
  const GuardDriver::LaunchResult result = driver.Launch(u"\\Device\\HarddiskVolume2\\a.exe");
  EXPECT_EQ(result.outcome, Outcome::LetThrough);
  EXPECT_EQ(result.verdict, GuardDriver::kNoVerdict);
  EXPECT_EQ(driver.Slot()->Pending, 0u);
  EXPECT_EQ(driver.Slot()->ImagePath[0], u'\0');
  const GuardDriver::Statistics stats = driver.Stats();
  EXPECT_EQ(stats.letThrough, 1u);
  EXPECT_EQ(stats.parked, 0u);
  EXPECT_EQ(stats.served(), 0u);
}

TEST(GuardDriverLaunch, HandsEachLaunchTheVerdictOnItsOwnPath) {
  GuardDriver driver;
  Connect(driver);
  std::vector<std::u16string> seen;
  std::mutex seenMutex;
  FakeModule module(driver.Slot(), [&](const std::u16string& path) -> std::uint32_t {
    std::lock_guard lock(seenMutex);
    seen.push_back(path);
    if (path.ends_with(u"odd.exe")) return 7;
    return path.ends_with(u"deny.exe") ? 0 : 1;
  });
  struct Case {
    std::u16string path;
    Outcome outcome;
    std::uint32_t verdict;
  };
  const Case cases[] = {
      {u"\\Device\\HarddiskVolume2\\Windows\\notepad.exe", Outcome::Allowed, 1},
      {u"\\Device\\HarddiskVolume2\\Temp\\deny.exe", Outcome::Denied, 0},
      {u"", Outcome::Allowed, 1},
      {u"\\Device\\HarddiskVolume2\\odd.exe", Outcome::Denied, 7},
  };
  for (const Case& c : cases) {
    const GuardDriver::LaunchResult result = driver.Launch(c.path);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.verdict, c.verdict);
  }
  ASSERT_EQ(seen.size(), std::size(cases));
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], cases[i].path);
  const GuardDriver::Statistics stats = driver.Stats();
  EXPECT_EQ(stats.allowed, 2u);
  EXPECT_EQ(stats.denied, 2u);
  EXPECT_EQ(stats.strangeVerdicts, 1u);
  EXPECT_EQ(stats.parked, 4u);
  EXPECT_EQ(module.PendingValues(), std::vector<std::uint32_t>(4, 1));
}

TEST(GuardDriverLaunch, ManyThreadsShareTheRecordWithoutCrossTalk) {
  GuardDriver driver;
  Connect(driver);
  FakeModule module(driver.Slot(), [](const std::u16string& path) -> std::uint32_t {
    return path.find(u"deny") == std::u16string::npos ? 1 : 0;
  });
  constexpr int kThreads = 8;
  constexpr int kLaunches = 40;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLaunches; ++i) {
        const bool deny = (i + t) % 3 == 0;
        std::u16string path = u"\\Device\\HarddiskVolume1\\t";
        path += static_cast<char16_t>(u'a' + t);
        path += deny ? u"\\deny" : u"\\allow";
        path += static_cast<char16_t>(u'A' + i % 26);
        const GuardDriver::LaunchResult result = driver.Launch(path);
        if (result.outcome != (deny ? Outcome::Denied : Outcome::Allowed)) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  const GuardDriver::Statistics stats = driver.Stats();
  EXPECT_EQ(stats.parked, std::uint64_t{kThreads * kLaunches});
  EXPECT_EQ(stats.served(), std::uint64_t{kThreads * kLaunches});
  EXPECT_EQ(stats.timedOut, 0u);
  EXPECT_EQ(driver.LaunchesInProgress(), 0u);
}

TEST(GuardDriverLaunch, ATimedOutRequestKeepsTheRecordUntilTheModuleAnswersIt) {
  GuardDriver driver(GuardDriver::Options{20ms, 1});
  Connect(driver);
  const GuardDriver::LaunchResult first = driver.Launch(u"\\first.exe");
  EXPECT_EQ(first.outcome, Outcome::TimedOut);
  EXPECT_EQ(first.verdict, GuardDriver::kNoVerdict);
  EXPECT_TRUE(driver.Occupied());

  driver.SetVerdictTimeout(60s);
  auto second = LaunchAsync(driver, u"\\second.exe");
  ASSERT_TRUE(Eventually([&] { return driver.LaunchesInProgress() == 1; }));
  // The second launch waits: the record still carries the first request.
  EXPECT_EQ(driver.Stats().parked, 1u);
  EXPECT_EQ(PathIn(driver.Slot()), u"\\first.exe");

  AnswerByHand(driver.Slot(), 1);  // the late verdict belongs to the first launch
  ASSERT_TRUE(driver.WaitForParked(2, 20s));
  EXPECT_EQ(PathIn(driver.Slot()), u"\\second.exe");
  AnswerByHand(driver.Slot(), 0);
  const GuardDriver::LaunchResult result = second.get();
  EXPECT_EQ(result.outcome, Outcome::Denied);
  EXPECT_EQ(result.verdict, 0u);
  const GuardDriver::Statistics stats = driver.Stats();
  EXPECT_EQ(stats.timedOut, 1u);
  EXPECT_EQ(stats.lateVerdicts, 1u);
  EXPECT_EQ(stats.denied, 1u);
  EXPECT_EQ(stats.allowed, 0u);
}

TEST(GuardDriverLaunch, AWaitingLaunchTimesOutWhileTheRecordStaysOccupied) {
  GuardDriver driver(GuardDriver::Options{20ms, 1});
  Connect(driver);
  EXPECT_EQ(driver.Launch(u"\\first.exe").outcome, Outcome::TimedOut);
  EXPECT_EQ(driver.Launch(u"\\second.exe").outcome, Outcome::TimedOut);
  // The second launch never wrote the record.
  EXPECT_EQ(PathIn(driver.Slot()), u"\\first.exe");
  EXPECT_EQ(driver.Stats().parked, 1u);
  EXPECT_EQ(driver.Stats().timedOut, 2u);
}

TEST(GuardDriverLaunch, StopLetsWaitingLaunchesThroughAndLeavesTheParkedOneParked) {
  GuardDriver driver;
  Connect(driver);
  auto parked = LaunchAsync(driver, u"\\parked.exe");
  ASSERT_TRUE(driver.WaitForParked(1, 20s));
  auto waiting = LaunchAsync(driver, u"\\waiting.exe");
  ASSERT_TRUE(Eventually([&] { return driver.LaunchesInProgress() == 2; }));

  ASSERT_TRUE(Send(driver, IOCTL_GUARD_STOP).ok);
  EXPECT_EQ(waiting.get().outcome, Outcome::LetThrough);
  EXPECT_TRUE(driver.Occupied());
  EXPECT_EQ(driver.Launch(u"\\later.exe").outcome, Outcome::LetThrough);

  AnswerByHand(driver.Slot(), 1);
  EXPECT_EQ(parked.get().outcome, Outcome::Allowed);
  EXPECT_EQ(driver.Stats().letThrough, 2u);
}

TEST(GuardDriverLaunch, ClosingTheLastHandleEndsGuarding) {
  GuardDriver driver;
  Connect(driver);
  driver.Opened();
  driver.Closed();
  EXPECT_TRUE(driver.Guarding());
  EXPECT_EQ(driver.OpenHandles(), 1);
  driver.Closed();
  EXPECT_FALSE(driver.Guarding());
  EXPECT_EQ(driver.Launch(u"\\x.exe").outcome, Outcome::LetThrough);
  const GuardDriver::Statistics stats = driver.Stats();
  EXPECT_EQ(stats.opens, 2u);
  EXPECT_EQ(stats.closes, 2u);
}

TEST(GuardDriverMisbehaviour, PathModesCutFillOrLengthenThePath) {
  GuardDriver driver;
  Connect(driver);
  std::vector<std::size_t> lengths;
  bool lastUnitNonZero = false;
  FakeModule module(driver.Slot(), [&](const std::u16string& path) -> std::uint32_t {
    lengths.push_back(path.size());
    lastUnitNonZero = path.size() == 32767 && path.back() != 0;
    return 1;
  });
  const std::u16string tooLong(40000, u'p');
  driver.Launch(tooLong);  // cut to the longest path the record holds
  driver.SetPathMode(GuardDriver::PathMode::Overlong, 1000);
  driver.Launch(u"\\Device\\HarddiskVolume2\\a.exe");
  driver.SetPathMode(GuardDriver::PathMode::Overlong);
  driver.Launch(u"\\b.exe");
  ASSERT_EQ(lengths, (std::vector<std::size_t>{32767, 1000, 32767}));
  EXPECT_TRUE(lastUnitNonZero);
  const char16_t* area = driver.Slot()->ImagePath;
  EXPECT_EQ(std::u16string(area, 8), u"\\b.exe\\x");
  EXPECT_EQ(area[32767], u'\0');
}

TEST(GuardDriverMisbehaviour, UnterminatedPathFillsTheWholeArea) {
  GuardDriver driver;
  Connect(driver);
  driver.SetPathMode(GuardDriver::PathMode::Unterminated);
  auto launch = LaunchAsync(driver, u"\\abc");
  ASSERT_TRUE(driver.WaitForParked(1, 20s));
  const char16_t* area = driver.Slot()->ImagePath;
  EXPECT_TRUE(std::all_of(area, area + GuardDriver::kPathAreaUnits,
                          [](char16_t unit) { return unit != 0; }));
  EXPECT_EQ(std::u16string(area, 6), u"\\abc\\a");
  AnswerByHand(driver.Slot(), 0);
  EXPECT_EQ(launch.get().outcome, Outcome::Denied);
}

TEST(GuardDriverMisbehaviour, PendingTakesTheChosenOrARandomNonZeroValue) {
  GuardDriver driver;
  Connect(driver);
  FakeModule module(driver.Slot(), [](const std::u16string&) -> std::uint32_t { return 1; });
  driver.SetPendingValue(0x80000000u);
  driver.Launch(u"\\a");
  driver.Launch(u"\\b");
  driver.UseRandomPendingValues();
  for (int i = 0; i < 10; ++i) driver.Launch(u"\\c");
  const std::vector<std::uint32_t> values = module.PendingValues();
  ASSERT_EQ(values.size(), 12u);
  EXPECT_EQ(values[0], 0x80000000u);
  EXPECT_EQ(values[1], 0x80000000u);
  EXPECT_TRUE(std::none_of(values.begin(), values.end(), [](std::uint32_t v) { return v == 0; }));
  EXPECT_GT(std::count_if(values.begin() + 2, values.end(), [](std::uint32_t v) { return v != 1; }),
            0);
}

TEST(GuardDriverLaunch, WritesNoVerdictMarkerBeforeParking) {
  GuardDriver driver;
  Connect(driver);
  driver.Slot()->Verdict = 1;
  auto launch = LaunchAsync(driver, u"\\a.exe");
  ASSERT_TRUE(driver.WaitForParked(1, 20s));
  EXPECT_EQ(std::atomic_ref<std::uint32_t>(driver.Slot()->Verdict).load(), GuardDriver::kNoVerdict);
  // A module that clears Pending without a verdict: the launch is denied and the value shows.
  std::atomic_ref<std::uint32_t>(driver.Slot()->Pending).store(0, std::memory_order_release);
  const GuardDriver::LaunchResult result = launch.get();
  EXPECT_EQ(result.outcome, Outcome::Denied);
  EXPECT_EQ(result.verdict, GuardDriver::kNoVerdict);
  EXPECT_EQ(driver.Stats().strangeVerdicts, 1u);
}

}  // namespace
