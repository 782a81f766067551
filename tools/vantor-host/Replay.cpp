#include "Replay.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "Arbiter.h"
#include "Text.h"

namespace {

// Pairs each kernel path with the path the scanner was asked about. The scanner is called on the
// pump thread while the request is parked in the record, so the record names the launch.
struct ScanLog {
  GuardDriver* driver;
  std::mutex lock;
  std::map<std::u16string, std::u16string> scanned;
};

bool ScanAndRemember(const ArbiterChar* path, void* context) {
  auto& log = *static_cast<ScanLog*>(context);
  const char16_t* kernel = log.driver->Slot()->ImagePath;
  std::u16string kernelPath(kernel, std::char_traits<char16_t>::length(kernel));
  {
    std::lock_guard guard(log.lock);
    log.scanned[std::move(kernelPath)] = reinterpret_cast<const char16_t*>(path);
  }
  return ArbiterEvaluate(path) != 0;
}

const char* OutcomeName(GuardDriver::Outcome outcome) {
  switch (outcome) {
    case GuardDriver::Outcome::Allowed:
      return "allowed";
    case GuardDriver::Outcome::Denied:
      return "denied";
    case GuardDriver::Outcome::LetThrough:
      return "let through (not guarding)";
    case GuardDriver::Outcome::TimedOut:
      return "timed out";
    case GuardDriver::Outcome::Refused:
      return "refused";
  }
  return "?";
}

double Milliseconds(std::chrono::nanoseconds d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

std::vector<LaunchRecord> Replay(GuardDriver& driver, const std::vector<std::u16string>& paths,
                                 const ReplaySettings& settings) {
  const std::size_t total =
      settings.count > 0 ? static_cast<std::size_t>(settings.count) : paths.size();
  std::vector<LaunchRecord> records(total);
  ScanLog scanLog{&driver, {}, {}};
  ArbiterSetRecording(0);
  ArbiterSetHook(ScanAndRemember, &scanLog);

  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  std::mutex printLock;
  auto worker = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < total;) {
      const std::u16string& path = paths[i % paths.size()];
      const GuardDriver::LaunchResult result = driver.Launch(path);
      LaunchRecord& record = records[i];
      record = {path, {}, result.outcome, result.latency};
      {
        std::lock_guard guard(scanLog.lock);
        const auto found = scanLog.scanned.find(path);
        if (found != scanLog.scanned.end()) record.scannedPath = found->second;
      }
      if (settings.printEach) {
        std::lock_guard guard(printLock);
        std::printf("%-8s %s\n         kernel %s (%.1f ms)\n", OutcomeName(result.outcome),
                    ToUtf8(record.scannedPath.empty() ? u"-" : record.scannedPath).c_str(),
                    ToUtf8(path).c_str(), Milliseconds(result.latency));
      }
      done.fetch_add(1);
    }
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < settings.threads; ++t) threads.emplace_back(worker);
  auto lastProgress = std::chrono::steady_clock::now();
  while (done.load() < total) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (std::chrono::steady_clock::now() - lastProgress >= std::chrono::seconds(1)) {
      lastProgress = std::chrono::steady_clock::now();
      std::fprintf(stderr, "progress: %zu/%zu launches\n", done.load(), total);
    }
  }
  for (auto& thread : threads) thread.join();
  ArbiterSetHook(nullptr, nullptr);
  return records;
}

void PrintSummary(const std::vector<LaunchRecord>& records, std::chrono::nanoseconds elapsed) {
  std::size_t counts[5] = {};
  std::vector<std::chrono::nanoseconds> latencies;
  for (const LaunchRecord& record : records) {
    ++counts[static_cast<int>(record.outcome)];
    latencies.push_back(record.latency);
  }
  std::sort(latencies.begin(), latencies.end());
  auto percentile = [&](double p) {
    if (latencies.empty()) return 0.0;
    const auto index =
        static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1) + 0.5);
    return Milliseconds(latencies[index]);
  };
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::printf(
      "\nsummary: %zu launches: %zu allowed, %zu denied, %zu let through, %zu timed out\n"
      "latency: median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n"
      "throughput: %.0f launches/s over %.2f s\n",
      records.size(), counts[0], counts[1], counts[2], counts[3], percentile(0.5), percentile(0.99),
      latencies.empty() ? 0.0 : Milliseconds(latencies.back()),
      seconds > 0 ? static_cast<double>(records.size()) / seconds : 0.0, seconds);
}
