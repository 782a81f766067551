// A launch storm: many threads launch through the driver stand-in while another thread cycles
// CVantor::Start and CVantor::Stop (start and stop codes failing now and then), a third mounts
// and dismounts a volume so the drive map is rebuilt, and the scanner throws on some requests.
// Every launch must get exactly one verdict, its own, or be let through while guarding is off.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "Latency.h"
#include "LaunchLedger.h"
#include "StormPaths.h"
#include "StormPlan.h"
#include "StormScanner.h"
#include "module/ModuleHarness.h"

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = GuardDriver::Outcome;
using LineList = std::vector<std::string>;

const std::string kStarted = "1: VtClient\t Started.\n";
const std::string kStopped = "1: VtClient\t Stopped.\n";
const std::string kStopFailed = "3: VtClient\t Stop IOCTL failed.\n";
std::string StartFailed(DWORD error) {
  return "3: VtClient\t Start IOCTL failed. Last Error: " + std::to_string(error) + "\n";
}
constexpr DWORD kStartError = ERROR_GEN_FAILURE;
constexpr DWORD kStopError = ERROR_NOT_SUPPORTED;
constexpr std::chrono::milliseconds kLetThroughPause{1};

// What one launching thread saw.
struct LauncherTally {
  std::uint64_t launches = 0;
  std::vector<std::int64_t> servedLatencies;  // nanoseconds, Allowed and Denied only
};

// The host's side of the storm: Start/Stop from one thread, each result checked against the
// module state and the line it must have logged.
struct Cycler {
  LineList expectedLines;
  std::uint64_t cycles = 0;
  std::uint64_t restarts = 0;  // Start while a pump is held
  std::uint64_t startFailures = 0;
  std::uint64_t stopFailures = 0;
  std::uint64_t pumpErrors = 0;  // a Start without exactly one pump, a Stop leaving one

  void Start() {
    const bool started = CVantor::Start();
    expectedLines.push_back(started ? kStarted : StartFailed(kStartError));
    if (!started) ++startFailures;
    // Failed or not, a Start that got this far holds exactly one pump.
    if (!g_hPumpThread || winsim::RunningThreads() != 1) ++pumpErrors;
  }
  void Stop() {
    const bool stopped = CVantor::Stop();
    expectedLines.push_back(stopped ? kStopped : kStopFailed);
    if (!stopped) ++stopFailures;
    if (g_hPumpThread || winsim::RunningThreads() != 0) ++pumpErrors;
  }
};

// Everything the storm counts after the last thread has joined.
struct Sweep {
  std::uint64_t launched = 0;
  std::uint64_t served = 0;
  std::uint64_t denied = 0;
  std::uint64_t letThrough = 0;
  std::uint64_t timedOut = 0;
  std::uint64_t mismatches = 0;  // outcome other than the scanner's answer for that index
  std::uint64_t askErrors = 0;   // scanner asked other than once per served launch
  std::uint64_t expectedThrows = 0;
};

Sweep SweepLedger(const LaunchLedger& ledger, std::uint64_t indices) {
  Sweep sweep;
  for (std::uint64_t index = 0; index < indices; ++index) {
    const LaunchLedger::Entry* entry = ledger.Find(index);
    const std::uint8_t outcome = entry ? entry->outcome.load() : LaunchLedger::kNotLaunched;
    const std::uint32_t asks = entry ? entry->asks.load() : 0;
    if (outcome == LaunchLedger::kNotLaunched) {
      if (asks != 0) ++sweep.askErrors;
      continue;
    }
    ++sweep.launched;
    switch (static_cast<Outcome>(outcome)) {
      case Outcome::Allowed:
      case Outcome::Denied: {
        ++sweep.served;
        if (asks != 1) ++sweep.askErrors;
        const storm::Scan scan = storm::ScanOf(index);
        if (scan == storm::Scan::Throw) ++sweep.expectedThrows;
        const Outcome expected = scan == storm::Scan::Allow ? Outcome::Allowed : Outcome::Denied;
        if (static_cast<Outcome>(outcome) != expected) ++sweep.mismatches;
        if (static_cast<Outcome>(outcome) == Outcome::Denied) ++sweep.denied;
        break;
      }
      case Outcome::LetThrough:
        ++sweep.letThrough;
        if (asks != 0) ++sweep.askErrors;
        break;
      case Outcome::TimedOut:
        ++sweep.timedOut;
        break;
    }
  }
  return sweep;
}

class StormTest : public ModuleHarness {};

TEST_F(StormTest, EveryLaunchGetsItsOwnVerdictWhileStartStopCycleAndDrivesChange) {
  const StormPlan plan = StormPlan::FromEnvironment();
  ASSERT_GT(plan.cycles, 0u);
  ASSERT_TRUE(plan.Timed() || plan.launches > 0);
  winsim::SetSleepScale(0.001);
  ArbiterSetRecording(0);
  LaunchLedger ledger;
  StormScanner scanner(ledger);
  scanner.Install();
  winsim::AddDrive(u'X', {std::u16string(storm::kVolumeX)});
  ASSERT_TRUE(PathConverter::BuildDriveMap());
  const int listCallsBefore = winsim::CallCount(winsim::Api::GetLogicalDriveStringsW);

  Cycler host;
  host.expectedLines.push_back(InitializedLine(*driver));
  host.expectedLines.push_back(kStarted);
  ASSERT_TRUE(CVantor::Start());
  driver->FailCodeAtRandom(IOCTL_GUARD_START, kStartError, plan.codeFailureRate);
  driver->FailCodeAtRandom(IOCTL_GUARD_STOP, kStopError, plan.codeFailureRate);

  const Clock::time_point begin = Clock::now();
  std::atomic<std::uint64_t> nextIndex{0};
  std::atomic<std::uint64_t> launchesDone{0};
  std::atomic<bool> launchesOver{false};
  auto moreLaunches = [&](std::uint64_t index) {
    return plan.Timed() ? Clock::now() - begin < plan.duration : index < plan.launches;
  };
  // How far the storm has come, from 0 to 1.
  auto progress = [&] {
    if (plan.Timed()) return std::chrono::duration<double>(Clock::now() - begin) / plan.duration;
    return static_cast<double>(launchesDone.load()) / static_cast<double>(plan.launches);
  };

  std::vector<LauncherTally> tallies(plan.threads);
  std::vector<std::thread> launchers;
  for (LauncherTally& tally : tallies) {
    launchers.emplace_back([&] {
      for (;;) {
        const std::uint64_t index = nextIndex.fetch_add(1);
        if (!moreLaunches(index)) break;
        LaunchLedger::Entry& entry = ledger.Open(index);
        const GuardDriver::LaunchResult result = driver->Launch(storm::KernelPath(index));
        entry.outcome.store(static_cast<std::uint8_t>(result.outcome));
        if (result.outcome == Outcome::Allowed || result.outcome == Outcome::Denied)
          tally.servedLatencies.push_back(result.latency.count());
        // A launch let through costs the driver nothing; pace the next one like a real one, or
        // the gaps between Stop and Start would use up the storm.
        if (result.outcome == Outcome::LetThrough) std::this_thread::sleep_for(kLetThroughPause);
        ++tally.launches;
        ++launchesDone;
      }
    });
  }

  // Cycles spread evenly over the storm; the pause between Stop and Start is short and never
  // waits for launches, which may all be held by a request parked after a failed stop code.
  std::thread cycler([&] {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> gapMicros(0, 200);
    for (std::uint64_t k = 1; k <= plan.cycles; ++k) {
      const double due = static_cast<double>(k) / static_cast<double>(plan.cycles + 1);
      while (!launchesOver && progress() < due)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      host.Stop();
      std::this_thread::sleep_for(std::chrono::microseconds(gapMicros(random)));
      host.Start();
      // Now and then Start again while the pump is held: it must not add a second pump.
      if (k % 5 == 0) {
        host.Start();
        ++host.restarts;
      }
      ++host.cycles;
    }
  });

  std::atomic<std::uint64_t> driveToggles{0};
  std::thread drives([&] {
    while (!launchesOver) {
      winsim::RemoveDrive(u'X');
      std::this_thread::sleep_for(std::chrono::microseconds(400));
      winsim::AddDrive(u'X', {std::u16string(storm::kVolumeX)});
      std::this_thread::sleep_for(std::chrono::microseconds(400));
      ++driveToggles;
    }
  });

  for (std::thread& launcher : launchers) launcher.join();
  launchesOver = true;
  cycler.join();
  drives.join();
  const double wallSeconds = std::chrono::duration<double>(Clock::now() - begin).count();

  // A clean stop: no injected failure now, the pump ends and the driver stops guarding.
  driver->ClearCodeFailures();
  EXPECT_TRUE(CVantor::Stop());
  host.expectedLines.push_back(kStopped);
  ArbiterSetHook(nullptr, nullptr);

  const Sweep sweep = SweepLedger(ledger, nextIndex.load());
  std::uint64_t launched = 0;
  std::vector<std::int64_t> latencies;
  for (const LauncherTally& tally : tallies) {
    launched += tally.launches;
    latencies.insert(latencies.end(), tally.servedLatencies.begin(), tally.servedLatencies.end());
  }
  const LatencySummary latency = Summarise(latencies);
  const GuardDriver::Statistics stats = driver->Stats();
  const auto rebuilds =
      (winsim::CallCount(winsim::Api::GetLogicalDriveStringsW) - listCallsBefore) / 2;

  std::printf(
      "storm: launches=%llu served=%llu let_through=%llu timed_out=%llu cycles=%llu restarts=%llu "
      "start_failures=%llu stop_failures=%llu scanner_throws=%llu denials=%llu rebuilds=%d "
      "drive_toggles=%llu x_raw=%llu x_converted=%llu mismatches=%llu ask_errors=%llu "
      "latency_median_us=%.1f latency_p99_us=%.1f wall_s=%.1f\n",
      static_cast<unsigned long long>(sweep.launched),
      static_cast<unsigned long long>(sweep.served),
      static_cast<unsigned long long>(sweep.letThrough),
      static_cast<unsigned long long>(sweep.timedOut), static_cast<unsigned long long>(host.cycles),
      static_cast<unsigned long long>(host.restarts),
      static_cast<unsigned long long>(host.startFailures),
      static_cast<unsigned long long>(host.stopFailures),
      static_cast<unsigned long long>(scanner.throws.load()),
      static_cast<unsigned long long>(sweep.denied), rebuilds,
      static_cast<unsigned long long>(driveToggles.load()),
      static_cast<unsigned long long>(scanner.rawX.load()),
      static_cast<unsigned long long>(scanner.convertedX.load()),
      static_cast<unsigned long long>(sweep.mismatches),
      static_cast<unsigned long long>(sweep.askErrors), latency.medianMicros, latency.p99Micros,
      wallSeconds);
  std::fflush(stdout);

  // Every launch made is accounted for, and each got its own answer.
  EXPECT_EQ(sweep.launched, launched);
  if (!plan.Timed()) {
    EXPECT_EQ(launched, plan.launches);
  }
  EXPECT_EQ(sweep.mismatches, 0u) << "a launch got another launch's verdict or a wrong one";
  EXPECT_EQ(sweep.askErrors, 0u) << "the scanner was asked other than once per served launch";
  EXPECT_EQ(sweep.timedOut, 0u) << "a launch was left waiting";
  EXPECT_EQ(sweep.served + sweep.letThrough + sweep.timedOut, sweep.launched);
  EXPECT_EQ(scanner.throws.load(), sweep.expectedThrows);
  EXPECT_EQ(scanner.undecodable.load(), 0u) << "the scanner saw a mangled path";
  EXPECT_EQ(scanner.wrongVolume.load(), 0u) << "a path was converted to another drive";
  EXPECT_EQ(scanner.unknownIndex.load(), 0u) << "asked about a launch not (or no longer) waiting";
  // C: is mounted throughout, so only two rebuilds failing in a row could leave it unconverted.
  EXPECT_EQ(scanner.rawC.load(), 0u);

  // The driver's view agrees.
  EXPECT_EQ(stats.strangeVerdicts, 0u) << "Verdict other than exactly 0 or 1";
  EXPECT_EQ(stats.timedOut, 0u);
  EXPECT_EQ(stats.lateVerdicts, 0u);
  EXPECT_EQ(stats.served(), sweep.served);
  EXPECT_EQ(stats.letThrough, sweep.letThrough);
  EXPECT_EQ(stats.failedCodes, host.startFailures + host.stopFailures);
  EXPECT_EQ(std::atomic_ref(driver->Slot()->Pending).load(), 0u);
  EXPECT_EQ(driver->LaunchesInProgress(), 0u);

  // The host's side: every cycle ran, each result logged as it came out, one pump at a time.
  EXPECT_EQ(host.cycles, plan.cycles);
  EXPECT_EQ(host.pumpErrors, 0u);
  EXPECT_EQ(Lines(), host.expectedLines);
  EXPECT_EQ(winsim::RunningThreads(), 0);
  if (sweep.launched >= 1000) {
    EXPECT_GT(rebuilds, 0) << "the coming and going volume never forced a rebuild";
    EXPECT_GT(sweep.served, 0u);
  }
}

// A request the driver parks after the pump has ended and before guarding ends stays in the
// record; the pump of the next Start serves it before anything queued behind it.
TEST_F(StormTest, RequestParkedWithoutAPumpIsServedFirstByTheNextStart) {
  winsim::SetSleepScale(0.01);
  ASSERT_TRUE(CVantor::Start());
  // The stop code fails after the pump has ended: the driver goes on guarding with no pump.
  driver->FailCode(IOCTL_GUARD_STOP, ERROR_GEN_FAILURE, 1);
  EXPECT_FALSE(CVantor::Stop());
  ASSERT_TRUE(driver->Guarding());
  ASSERT_EQ(winsim::RunningThreads(), 0);

  GuardDriver::LaunchResult parked{};
  GuardDriver::LaunchResult queued{};
  std::thread first([&] { parked = driver->Launch(u"\\Device\\HarddiskVolume1\\blocked.exe"); });
  ASSERT_TRUE(driver->WaitForParked(1, std::chrono::seconds(10)));
  std::thread second([&] { queued = driver->Launch(u"\\Device\\HarddiskVolume1\\next.exe"); });
  while (driver->LaunchesInProgress() < 2) std::this_thread::yield();
  // Nothing serves the record while no pump runs.
  EXPECT_TRUE(driver->Occupied());
  EXPECT_EQ(ArbiterQueryCount(), 0);

  ASSERT_TRUE(CVantor::Start());
  first.join();
  second.join();
  EXPECT_EQ(parked.outcome, Outcome::Denied);
  EXPECT_EQ(queued.outcome, Outcome::Allowed);
  ASSERT_EQ(ArbiterQueryCount(), 2);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(ArbiterQuery(0))), u"C:\\blocked.exe");
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(ArbiterQuery(1))), u"C:\\next.exe");
  EXPECT_EQ(Lines(), LineList({InitializedLine(*driver), kStarted, kStopFailed, kStarted}));
  EXPECT_EQ(driver->Stats().strangeVerdicts, 0u);
  EXPECT_EQ(driver->Stats().timedOut, 0u);
  EXPECT_TRUE(CVantor::Stop());
}

}  // namespace
