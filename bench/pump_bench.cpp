// The pump's own cost per request (from seeing Pending to clearing it, instant scanner) against
// the bare copy of the path as baseline, and launch latency through the driver stand-in with
// the pump's real 10 ms idle sleep.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "Arbiter.h"
#include "GuardDriver.h"
#include "module/CVantor.h"
#include "module/ModuleState.h"
#include "module/ModuleSteps.h"
#include "paths/PathConverter.h"
#include "requests/RequestPump.h"
#include "winsim/Control.h"

namespace {

constexpr char16_t kPath[] = u"\\Device\\HarddiskVolume1\\Windows\\System32\\notepad.exe";

bool Instant(const ArbiterChar*, void*) {
  return true;
}

struct Record {
  alignas(8) std::uint8_t bytes[512] = {};
  SharedSlot* slot() { return reinterpret_cast<SharedSlot*>(bytes); }
};

void SetUpMachine() {
  winsim::Reset();
  winsim::AddDrive(u'C', {u"\\Device\\HarddiskVolume1"});
  winsim::AddDrive(u'D', {u"\\Device\\HarddiskVolume2"});
  ArbiterSetRecording(0);
  ArbiterSetHook(Instant, nullptr);
}

// Baseline: what any pump must do at least: copy the path out of the record.
void BM_CopyPathOnly(benchmark::State& state) {
  Record record;
  std::memcpy(record.slot()->ImagePath, kPath, sizeof kPath);
  for (auto _ : state) {
    std::u16string copy(record.slot()->ImagePath);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_CopyPathOnly);

void BM_ServeRequest(benchmark::State& state) {
  SetUpMachine();
  ModuleSteps::Load();
  Record record;
  std::memcpy(record.slot()->ImagePath, kPath, sizeof kPath);
  g_pSharedSlot = record.slot();
  for (auto _ : state) {
    std::atomic_ref(record.slot()->Pending).store(1, std::memory_order_release);
    ServeRequest();
  }
  g_pSharedSlot = nullptr;
  ModuleSteps::Unload();
}
BENCHMARK(BM_ServeRequest);

// Launches at random moments relative to the pump's 10 ms idle sleep; reports the median and
// the 99th percentile of the time from launch to verdict.
void BM_LaunchLatencyRealSleep(benchmark::State& state) {
  SetUpMachine();
  winsim::SetSleepScale(1.0);
  const auto driver = InstallGuardDriver();
  ModuleSteps::Load();
  if (!CVantor::Start()) {
    state.SkipWithError("Start failed");
    return;
  }
  std::mt19937 random(42);
  std::vector<double> latencies;
  for (auto _ : state) {
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 10'000));
    state.ResumeTiming();
    const auto result = driver->Launch(kPath);
    latencies.push_back(std::chrono::duration<double, std::milli>(result.latency).count());
  }
  CVantor::Stop();
  ModuleSteps::Unload();
  std::sort(latencies.begin(), latencies.end());
  state.counters["median_ms"] = latencies[latencies.size() / 2];
  state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
}
BENCHMARK(BM_LaunchLatencyRealSleep)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace
