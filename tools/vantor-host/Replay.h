#pragma once
// Replays launches through the driver stand-in from several threads and collects the results.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "GuardDriver.h"

struct LaunchRecord {
  std::u16string kernelPath;
  std::u16string scannedPath;  // what the scanner was asked; empty when it was not asked
  GuardDriver::Outcome outcome;
  std::chrono::nanoseconds latency;
};

struct ReplaySettings {
  int threads = 4;
  int count = 0;
  bool printEach = true;
};

// Launches settings.count paths (cycling through `paths`) from settings.threads threads.
std::vector<LaunchRecord> Replay(GuardDriver& driver, const std::vector<std::u16string>& paths,
                                 const ReplaySettings& settings);

// Prints counts, latency median and 99th percentile, and throughput.
void PrintSummary(const std::vector<LaunchRecord>& records, std::chrono::nanoseconds elapsed);
