// The Wine storm: thousands of launches from several threads through vantorflt.sys while the host
// stops and starts guarding again and again. Each path carries its launch's index and the scanner
// decides from the index, so a lost launch, a verdict handed to another launch or a launch served
// twice shows in that launch's outcome; the driver's counters must account for every outcome.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <random>
#include <thread>
#include <vector>

#include "GuardHost.h"

namespace {

constexpr int kThreads = 4;
constexpr int kLaunches = 2000;
constexpr int kMinCycles = 20;
using AskedCounts = std::array<std::atomic<int>, kLaunches>;

bool MayRun(int index) {
  return index % 3 != 0;
}

std::u16string StormPath(const std::u16string& device, int index) {
  std::u16string path = device + u"\\storm\\";
  for (const char digit : std::to_string(index)) path += static_cast<char16_t>(digit);
  return path + u".exe";
}

// The scanner: reads the index back from "...\storm\INDEX.exe" and counts the question.
bool DecideFromIndex(const wchar_t* path, void* asked) {
  const wchar_t* name = std::wcsrchr(path, L'\\');
  const long index = name != nullptr ? std::wcstol(name + 1, nullptr, 10) : -1;
  if (index < 0 || index >= kLaunches) return false;
  ++(*static_cast<AskedCounts*>(asked))[static_cast<std::size_t>(index)];
  return MayRun(static_cast<int>(index));
}

TEST_F(GuardHost, StormAcrossStartStopCyclesLosesNoLaunchAndCrossesNone) {
  const std::u16string c = DeviceOfDrive(L"C:");
  AskedCounts asked{};
  ArbiterSetHook(&DecideFromIndex, &asked);
  ASSERT_TRUE(Start());
  const LaunchClient& driver = Driver();

  std::vector<LaunchOutcome> outcomes(kLaunches, LaunchOutcome::None);
  std::atomic<int> finished{0};
  std::vector<std::thread> launchers;
  const DWORD began = GetTickCount();
  for (int t = 0; t < kThreads; ++t) {
    launchers.emplace_back([&, t] {
      for (int i = t; i < kLaunches; i += kThreads) {
        outcomes[static_cast<std::size_t>(i)] =
            driver.Launch(StormPath(c, i)).value_or(LaunchOutcome::None);
      }
      ++finished;
    });
  }
  int cycles = 0;
  bool allSucceeded = true;
  LineList lines;
  {
    SinkCapture capture;
    std::mt19937 random(20261206);
    while (finished < kThreads || cycles < kMinCycles) {
      Sleep(40 + random() % 120);  // guarding
      allSucceeded = Stop() && allSucceeded;
      Sleep(random() % 3);  // not guarding
      allSucceeded = Start() && allSucceeded;
      ++cycles;
    }
    allSucceeded = Stop() && allSucceeded;
    lines = LogLines(capture);
  }
  for (std::thread& launcher : launchers) launcher.join();
  ArbiterSetHook(nullptr, nullptr);
  EXPECT_TRUE(allSucceeded);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), kStarted), cycles);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), kStopped), cycles + 1);
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(2 * cycles + 1)) << "no failure lines";

  // Served: asked exactly once, and the verdict is the one for this index. Let through: never
  // asked.
  GuardCounters seen{};
  int mismatches = 0;
  for (int i = 0; i < kLaunches; ++i) {
    const LaunchOutcome outcome = outcomes[static_cast<std::size_t>(i)];
    const int questions = asked[static_cast<std::size_t>(i)];
    const bool served = outcome == LaunchOutcome::Allowed || outcome == LaunchOutcome::Denied;
    const bool matches = served ? questions == 1 && (outcome == LaunchOutcome::Allowed) == MayRun(i)
                                : outcome == LaunchOutcome::LetThrough && questions == 0;
    if (!matches && ++mismatches <= 5) {
      ADD_FAILURE() << "launch " << i << ": outcome " << static_cast<int>(outcome) << ", asked "
                    << questions << " times";
    }
    seen.allowed += outcome == LaunchOutcome::Allowed;
    seen.denied += outcome == LaunchOutcome::Denied;
    seen.letThrough += outcome == LaunchOutcome::LetThrough;
  }
  EXPECT_EQ(mismatches, 0);
  const GuardCounters counters = Counters();
  EXPECT_EQ(counters.launches, static_cast<std::uint64_t>(kLaunches));
  EXPECT_EQ(counters.allowed, seen.allowed);
  EXPECT_EQ(counters.denied, seen.denied);
  EXPECT_EQ(counters.letThrough, seen.letThrough);
  EXPECT_EQ(counters.timedOut + counters.refused + counters.lateVerdicts, 0u);
  EXPECT_EQ(counters.handshakes, 1u);
  EXPECT_GE(seen.allowed + seen.denied, kLaunches / 10u) << "guarding was on for a good share";
  std::printf("storm: launches=%d served=%llu let_through=%llu cycles=%d wall_ms=%lu\n", kLaunches,
              static_cast<unsigned long long>(seen.allowed + seen.denied),
              static_cast<unsigned long long>(seen.letThrough), cycles, GetTickCount() - began);
}

}  // namespace
