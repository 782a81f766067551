// A launch storm: 16 threads launch through the driver stand-in while the host cycles Start and
// Stop (their codes failing now and then), X: comes and goes and the scanner throws on ~1%.
// Sized by VANTOR_STORM_LAUNCHES (200000), VANTOR_STORM_CYCLES (1000), VANTOR_STORM_SECONDS (launch
// that long instead), VANTOR_STORM_CODE_FAILURE_RATE (0.01); scripts/soak.sh reads "storm:".
#include <iostream>
#include <mutex>
#include <unordered_map>

#include "Stress.h"

namespace {

using Clock = std::chrono::steady_clock;
// A launch let through costs the driver nothing; pause after one as a real launch would take.
constexpr std::chrono::milliseconds kLetThroughPause{1};
constexpr std::u16string_view kVolumeX = u"\\Device\\HarddiskVolume9";

double FromEnvironment(const char* name, double fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::stod(text) : fallback;
}

// Launch `index` runs \storm\<index>.exe from C: (half; mounted throughout, so always converted),
// from X: (comes and goes: converted while mapped) or from a share no drive letter names (never
// converted, so each such launch rebuilds the drive map).
std::u16string PathOf(std::uint64_t index, bool converted) {
  const std::string digits = std::to_string(index);
  const std::u16string tail = u"\\storm\\" + std::u16string(digits.begin(), digits.end()) + u".exe";
  if (index % 4 == 3) return u"\\Device\\Mup\\server" + tail;
  if (converted) return (index % 4 == 1 ? u"X:" : u"C:") + tail;
  return std::u16string(index % 4 == 1 ? kVolumeX : u"\\Device\\HarddiskVolume1") + tail;
}

// About 1% throw, half the rest are denied; Fibonacci hashing makes neighbours' answers differ.
enum class Scan { Allow, Deny, Throw };
Scan ScanOf(std::uint64_t index) {
  const std::uint64_t h = index * 0x9E3779B97F4A7C15u;
  return (h >> 32) % 100 == 0 ? Scan::Throw : h >> 63 ? Scan::Deny : Scan::Allow;
}

// The arbiter's hook: reads the launch index back from the path, checks the path's form, counts
// the question and answers from the index alone. Each launcher takes its count out after its
// outcome, so a question about a launch not (or no longer) waiting stays behind.
struct Scanner {
  std::mutex mutex;
  std::unordered_map<std::uint64_t, int> asks;
  std::uint64_t wrongPaths = 0;

  static bool Decide(const ArbiterChar* text, void* self) {
    Scanner& scanner = *static_cast<Scanner*>(self);
    const std::u16string_view path(reinterpret_cast<const char16_t*>(text));
    std::uint64_t index = 0;
    for (auto i = path.rfind(u'\\') + 1; i < path.size() && path[i] >= u'0' && path[i] <= u'9'; ++i)
      index = index * 10 + static_cast<std::uint64_t>(path[i] - u'0');
    std::lock_guard lock(scanner.mutex);
    scanner.wrongPaths +=
        path != PathOf(index, true) && (index % 4 != 1 || path != PathOf(index, false));
    ++scanner.asks[index];
    const Scan scan = ScanOf(index);
    if (scan == Scan::Throw) throw std::runtime_error("scanner failed");
    return scan == Scan::Allow;
  }
  int TakeAsks(std::uint64_t index) {
    std::lock_guard lock(mutex);
    const auto node = asks.extract(index);
    return node ? node.mapped() : 0;
  }
};

class StormTest : public ModuleHarness {};

TEST_F(StormTest, EveryLaunchGetsItsOwnVerdictWhileStartStopCycleAndDrivesChange) {
  const auto launches = static_cast<std::uint64_t>(FromEnvironment("VANTOR_STORM_LAUNCHES", 2e5));
  const auto cycles = static_cast<std::uint64_t>(FromEnvironment("VANTOR_STORM_CYCLES", 1000));
  const std::chrono::duration<double> duration{FromEnvironment("VANTOR_STORM_SECONDS", 0)};
  const bool timed = duration.count() > 0;
  winsim::SetSleepScale(0.001);
  ArbiterSetRecording(0);
  Scanner scanner;
  ArbiterSetHook(&Scanner::Decide, &scanner);
  winsim::AddDrive(u'X', {std::u16string(kVolumeX)});
  const int listCalls = winsim::CallCount(winsim::Api::GetLogicalDriveStringsW);
  driver->UseRandomPendingValues();  // any non-zero value marks a request
  ASSERT_TRUE(CVantor::Start());
  const double failureRate = FromEnvironment("VANTOR_STORM_CODE_FAILURE_RATE", 0.01);
  driver->FailCodeAtRandom(IOCTL_GUARD_START, ERROR_GEN_FAILURE, failureRate);
  driver->FailCodeAtRandom(IOCTL_GUARD_STOP, ERROR_NOT_SUPPORTED, failureRate);

  std::atomic<std::uint64_t> outcomes[6] = {}, mismatches{0}, askErrors{0}, expectedThrows{0};
  std::atomic<std::uint64_t> nextIndex{0}, done{0};
  std::atomic<bool> over{false};
  std::vector<std::vector<std::int64_t>> latencies(16);  // nanoseconds, of served launches
  const Clock::time_point begin = Clock::now();
  auto progress = [&] {  // from 0 to 1
    return timed ? (Clock::now() - begin) / duration
                 : static_cast<double>(done.load()) / static_cast<double>(launches);
  };
  std::vector<std::thread> launchers;
  for (auto& mine : latencies) {
    launchers.emplace_back([&] {
      for (std::uint64_t index = nextIndex++; timed ? progress() < 1 : index < launches;
           index = nextIndex++, ++done) {
        const GuardDriver::LaunchResult result = driver->Launch(PathOf(index, false));
        const bool served = result.outcome != Outcome::LetThrough;  // TimedOut: a mismatch
        ++outcomes[static_cast<int>(result.outcome)];
        askErrors += scanner.TakeAsks(index) != (served ? 1 : 0);
        std::this_thread::sleep_for(served ? std::chrono::milliseconds(0) : kLetThroughPause);
        if (!served) continue;
        const Scan scan = ScanOf(index);
        expectedThrows += scan == Scan::Throw;
        mismatches += result.outcome != (scan == Scan::Allow ? Outcome::Allowed : Outcome::Denied);
        mine.push_back(result.latency.count());
      }
    });
  }

  // The host: cycles spread evenly over the storm, each result checked against the pump it must
  // leave and the line it must log; X: comes and goes in between. The pause between Stop and
  // Start never waits for launches, which a request parked after a failed stop code may hold.
  LineList expected = {InitializedLine(driver->SlotAddress()), kStarted};
  std::uint64_t cycled = 0, driveToggles = 0, startFailures = 0, stopFailures = 0, pumpErrors = 0;
  std::thread host([&] {
    std::mt19937 random(1234);
    for (; cycled < cycles; ++cycled) {
      const double due = static_cast<double>(cycled + 1) / static_cast<double>(cycles + 1);
      for (; !over && progress() < due; ++driveToggles) {
        winsim::RemoveDrive(u'X');
        std::this_thread::sleep_for(std::chrono::microseconds(400));
        winsim::AddDrive(u'X', {std::u16string(kVolumeX)});
        std::this_thread::sleep_for(std::chrono::microseconds(400));
      }
      const bool stopped = CVantor::Stop();
      expected.push_back(stopped ? kStopped : kStopFailed);
      stopFailures += !stopped;
      pumpErrors += *g_hPumpThread || winsim::RunningThreads() != 0;
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
      for (int starts = cycled % 5 == 4 ? 2 : 1; starts > 0; --starts) {  // 2nd: pump held
        const bool started = CVantor::Start();
        expected.push_back(started ? kStarted : StartFailed(ERROR_GEN_FAILURE));
        startFailures += !started;
        pumpErrors += !*g_hPumpThread || winsim::RunningThreads() != 1;  // failed or not: one pump
      }
    }
  });
  for (std::thread& launcher : launchers) launcher.join();
  over = true;
  host.join();
  const double wallSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
  driver->ClearCodeFailures();
  EXPECT_TRUE(CVantor::Stop());
  expected.push_back(kStopped);

  std::vector<std::int64_t> all;
  for (const auto& mine : latencies) all.insert(all.end(), mine.begin(), mine.end());
  std::sort(all.begin(), all.end());
  if (all.empty()) all.push_back(0);
  const std::uint64_t launched = done, denied = outcomes[2], served = outcomes[1] + denied;
  const int rebuilds = (winsim::CallCount(winsim::Api::GetLogicalDriveStringsW) - listCalls) / 2;
  std::cout << "storm: launches=" << launched << " served=" << served
            << " let_through=" << outcomes[3] << " timed_out=" << outcomes[4]
            << " cycles=" << cycled << " restarts=" << cycled / 5
            << " start_failures=" << startFailures << " stop_failures=" << stopFailures
            << " scanner_throws=" << expectedThrows << " denials=" << denied
            << " rebuilds=" << rebuilds << " drive_toggles=" << driveToggles
            << " mismatches=" << mismatches << " ask_errors=" << askErrors
            << " latency_median_us=" << all[all.size() / 2] / 1000
            << " latency_p99_us=" << all[all.size() * 99 / 100] / 1000 << " wall_s=" << wallSeconds
            << std::endl;

  EXPECT_EQ(mismatches, 0u) << "a launch got another launch's verdict or a wrong one";
  EXPECT_EQ(askErrors, 0u) << "the scanner was asked other than once per served launch";
  EXPECT_TRUE(scanner.asks.empty()) << "asked about a launch not (or no longer) waiting";
  EXPECT_EQ(scanner.wrongPaths, 0u) << "the scanner saw a mangled or misconverted path";
  const GuardDriver::Statistics stats = driver->Stats();
  EXPECT_EQ(outcomes[4] + stats.lateVerdicts, 0u) << "a launch was left waiting";
  EXPECT_EQ(stats.strangeVerdicts, 0u) << "Verdict other than exactly 0 or 1";
  EXPECT_EQ(stats.failedCodes, startFailures + stopFailures);
  EXPECT_EQ(std::atomic_ref(driver->Slot()->Pending).load(), 0u);
  EXPECT_EQ(pumpErrors, 0u);
  EXPECT_EQ(Lines(), expected);
  EXPECT_TRUE(launched < 1000 || (served > 0 && rebuilds > 0)) << "X: never forced a rebuild";
}

// A request the driver parks after the pump has ended and before guarding ends stays in the
// record; the next Start's pump serves it before anything queued behind it.
TEST_F(StormTest, RequestParkedWithoutAPumpIsServedFirstByTheNextStart) {
  ASSERT_TRUE(CVantor::Start());
  driver->FailCode(IOCTL_GUARD_STOP, ERROR_GEN_FAILURE, 1);
  EXPECT_FALSE(CVantor::Stop());  // the pump has ended, the driver goes on guarding
  GuardDriver::LaunchResult parked{}, queued{};
  std::thread first([&] { parked = driver->Launch(u"\\Device\\HarddiskVolume1\\blocked.exe"); });
  ASSERT_TRUE(driver->WaitForParked(1, std::chrono::seconds(10)));
  std::thread second([&] { queued = driver->Launch(u"\\Device\\HarddiskVolume1\\next.exe"); });
  while (driver->LaunchesInProgress() < 2) std::this_thread::yield();
  EXPECT_EQ(ArbiterQueryCount(), 0);  // nothing serves the record while no pump runs
  ASSERT_TRUE(CVantor::Start());
  first.join();
  second.join();
  EXPECT_EQ(parked.outcome, Outcome::Denied);
  EXPECT_EQ(queued.outcome, Outcome::Allowed);
  EXPECT_TRUE(ArbiterQueryCount() == 2 && Query(0) == u"C:\\blocked.exe" &&
              Query(1) == u"C:\\next.exe");
  EXPECT_EQ(Lines(),
            LineList({InitializedLine(driver->SlotAddress()), kStarted, kStopFailed, kStarted}));
  EXPECT_TRUE(CVantor::Stop());
}

}  // namespace
