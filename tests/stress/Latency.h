#pragma once
// Median and 99th percentile of launch latencies, in microseconds.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

struct LatencySummary {
  double medianMicros = 0;
  double p99Micros = 0;
};

// Nearest-rank percentile: the smallest value with at least `fraction` of all values at or
// below it. Reorders `samples`.
inline std::int64_t Percentile(std::vector<std::int64_t>& samples, double fraction) {
  if (samples.empty()) return 0;
  auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
  rank = std::clamp<std::size_t>(rank, 1, samples.size());
  auto nth = samples.begin() + static_cast<std::ptrdiff_t>(rank - 1);
  std::nth_element(samples.begin(), nth, samples.end());
  return *nth;
}

inline LatencySummary Summarise(std::vector<std::int64_t> nanoseconds) {
  LatencySummary summary;
  summary.medianMicros = static_cast<double>(Percentile(nanoseconds, 0.50)) / 1000.0;
  summary.p99Micros = static_cast<double>(Percentile(nanoseconds, 0.99)) / 1000.0;
  return summary;
}
