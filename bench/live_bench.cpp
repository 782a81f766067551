// The cost of a guarded launch: exec-and-wait of a tiny program (a copy of /bin/true) from a
// folder the live source guards, against the same program from an unguarded folder, in the
// same run. Needs root (fanotify permission events).
//   Unguarded        nothing holds the exec
//   HeldLetThrough   the kernel holds it and the source hands it to the driver, which lets it
//                    through at once (the module does not guard): fanotify's round trip and
//                    the source's own work
//   Judged           the module judges it: the above plus the pump noticing the request (it
//                    polls every 10 ms while idle), the path conversion and the scanner
// Back to back (argument 0), each launch follows the last at once; with a random pause
// (argument 1, 0 to 10 ms, not timed) launches arrive at random moments of the pump's sleep.
// Each reports the median and 99th percentile of the whole exec-and-wait.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "Arbiter.h"
#include "LiveSource.h"
#include "driverlink/DriverLink.h"
#include "module/CVantor.h"
#include "module/ModuleState.h"
#include "paths/PathConverter.h"
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
    PathConverter::Initialize();
    DriverLink::BuildDriverPath();
    g_bInitialized = false;
    source = LiveSource::Open(guarded, *driver, {}, &error);
    if (source)
      runner = std::thread([this] { source->Run(nullptr, [this] { return quit.load(); }); });
  }
  ~Machine() {
    quit = true;
    if (runner.joinable()) runner.join();
    source.reset();
    DriverLink::Release();
    PathConverter::Release();
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

void ExecLoop(benchmark::State& state, const fs::path& program) {
  const bool randomPause = state.range(0) != 0;
  std::mt19937 random(42);
  std::vector<double> latencies;
  for (auto _ : state) {
    if (randomPause) {
      state.PauseTiming();
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 10'000));
      state.ResumeTiming();
    }
    const auto begin = std::chrono::steady_clock::now();
    if (!ExecAndWait(program)) {
      state.SkipWithError("the tiny program did not run");
      return;
    }
    latencies.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
            .count());
  }
  std::sort(latencies.begin(), latencies.end());
  state.counters["median_ms"] = latencies[latencies.size() / 2];
  state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
}

enum class Case { Unguarded, HeldLetThrough, Judged };

void BM_ExecAndWait(benchmark::State& state, Case which) {
  Machine machine;
  if (!machine.source) {
    state.SkipWithError(machine.error.c_str());
    return;
  }
  if (which == Case::Judged && !CVantor::Start()) {
    state.SkipWithError("CVantor::Start failed");
    return;
  }
  ExecLoop(state, (which == Case::Unguarded ? machine.plain : machine.guarded) / "tiny");
  if (which == Case::Judged) CVantor::Stop();
}
BENCHMARK_CAPTURE(BM_ExecAndWait, Unguarded, Case::Unguarded)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(500)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExecAndWait, HeldLetThrough, Case::HeldLetThrough)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(500)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExecAndWait, Judged, Case::Judged)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(500)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
