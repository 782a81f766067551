// The cost of a guarded launch: exec-and-wait of a tiny program (a copy of /bin/true) from a
// folder the live source guards, against the same program from an unguarded folder. The two
// alternate, each after a random pause of 0 to 10 ms (not timed), so that both see the same
// load on the machine and guarded launches arrive at random moments of the pump's idle sleep.
//   HeldLetThrough  the kernel holds the exec and the source hands it to the driver, which
//                   lets it through at once (the module does not guard): fanotify's round trip
//                   and the source's own work
//   Judged          the module judges it: the above plus the pump noticing the request (it
//                   polls every 10 ms while idle), the path conversion and the scanner
// JudgedBackToBack runs guarded launches one right after the other, as a script would.
// Each reports the median and 99th percentile of the whole exec-and-wait. Needs root.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "Arbiter.h"
#include "LiveSource.h"
#include "module/CVantor.h"
#include "module/ModuleState.h"
#include "module/ModuleSteps.h"
#include "winsim/Control.h"

namespace {

namespace fs = std::filesystem;

fs::path FolderWithTinyProgram() {
  char name[] = "/tmp/vantor-live-bench-XXXXXX";
  if (::mkdtemp(name) == nullptr) return {};
  fs::copy_file("/bin/true", fs::path(name) / "tiny");
  return name;
}

// The module loaded and its driver installed; the source guarding one folder.
struct Machine {
  fs::path plain = FolderWithTinyProgram();
  fs::path guarded = FolderWithTinyProgram();
  std::shared_ptr<GuardDriver> driver;
  std::unique_ptr<LiveSource> source;
  std::string error;
  std::atomic<bool> quit{false};
  std::thread runner;

  Machine() {
    winsim::Reset();
    winsim::AddDrive(u'C', {u"\\Device\\HarddiskVolume1"});
    driver = InstallGuardDriver();
    ArbiterSetPolicy("deny L:\\blocked*\n");
    ArbiterSetRecording(0);
    ModuleSteps::Load();
    source = LiveSource::Open(guarded, *driver, {}, &error);
    if (source)
      runner = std::thread([this] { source->Run(nullptr, [this] { return quit.load(); }); });
  }
  ~Machine() {
    quit = true;
    if (runner.joinable()) runner.join();
    source.reset();
    ModuleSteps::Unload();
    fs::remove_all(plain);
    fs::remove_all(guarded);
  }
};

bool ExecAndWait(const fs::path& program) {
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t child = 0;
  if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Latencies of whole exec-and-waits, in milliseconds.
struct Samples {
  std::vector<double> ms;
  bool Exec(const fs::path& program) {
    const auto begin = std::chrono::steady_clock::now();
    if (!ExecAndWait(program)) return false;
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                     .count());
    return true;
  }
  double Percentile(double p) {
    std::sort(ms.begin(), ms.end());
    return ms[static_cast<std::size_t>(p * static_cast<double>(ms.size() - 1))];
  }
};

void RandomPause(benchmark::State& state, std::mt19937& random) {
  state.PauseTiming();
  std::this_thread::sleep_for(std::chrono::microseconds(random() % 10'000));
  state.ResumeTiming();
}

// A machine whose module guards when `judge` is set; null with the benchmark skipped if the
// machine cannot hold launches.
std::unique_ptr<Machine> Prepare(benchmark::State& state, bool judge) {
  auto machine = std::make_unique<Machine>();
  if (!machine->source) {
    state.SkipWithError(machine->error.c_str());
    return nullptr;
  }
  if (judge && !CVantor::Start()) {
    state.SkipWithError("CVantor::Start failed");
    return nullptr;
  }
  return machine;
}

void BM_GuardedAgainstUnguarded(benchmark::State& state, bool judge) {
  const auto machine = Prepare(state, judge);
  if (!machine) return;
  std::mt19937 random(42);
  Samples unguarded, guarded;
  for (auto _ : state) {
    RandomPause(state, random);
    const bool ran = unguarded.Exec(machine->plain / "tiny");
    RandomPause(state, random);
    if (!ran || !guarded.Exec(machine->guarded / "tiny")) {
      state.SkipWithError("the tiny program did not run");
      break;
    }
  }
  if (judge) CVantor::Stop();
  if (guarded.ms.empty()) return;
  state.counters["unguarded_median_ms"] = unguarded.Percentile(0.5);
  state.counters["unguarded_p99_ms"] = unguarded.Percentile(0.99);
  state.counters["median_ms"] = guarded.Percentile(0.5);
  state.counters["p99_ms"] = guarded.Percentile(0.99);
}
BENCHMARK_CAPTURE(BM_GuardedAgainstUnguarded, HeldLetThrough, false)
    ->Iterations(500)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GuardedAgainstUnguarded, Judged, true)
    ->Iterations(500)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_JudgedBackToBack(benchmark::State& state) {
  const auto machine = Prepare(state, true);
  if (!machine) return;
  Samples guarded;
  for (auto _ : state) {
    if (!guarded.Exec(machine->guarded / "tiny")) {
      state.SkipWithError("the tiny program did not run");
      break;
    }
  }
  CVantor::Stop();
  if (guarded.ms.empty()) return;
  state.counters["median_ms"] = guarded.Percentile(0.5);
  state.counters["p99_ms"] = guarded.Percentile(0.99);
}
BENCHMARK(BM_JudgedBackToBack)->Iterations(500)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
