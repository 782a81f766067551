#pragma once
// Launch latencies kept in constant memory: percentiles from fine logarithmic buckets (each 2%
// wide, so a percentile is good to within 1%), and a coarse histogram for people.
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

class LatencyStats {
 public:
  void Add(std::chrono::nanoseconds latency);

  std::uint64_t Count() const { return count_; }
  // The latency that `fraction` (0 to 1) of the samples do not exceed, in milliseconds.
  double PercentileMs(double fraction) const;
  // The middle sample, or the mean of the two middle ones for an even count, in milliseconds.
  double MedianMs() const;
  double MaxMs() const;

  struct Bar {
    double fromMs;
    double toMs;  // 0: no upper bound
    std::uint64_t count;
  };
  // The coarse histogram from its first non-empty bar to its last.
  std::vector<Bar> Bars() const;

 private:
  double AtRankMs(std::uint64_t rank) const;  // the rank-th smallest sample, from 1

  static constexpr double kStep = 1.02;
  static constexpr std::size_t kFineBuckets = 1400;  // 1 ns to beyond 10^12 ns
  static constexpr std::array<double, 13> kBarEdgesMs = {1,   2,   5,    10,   20,   50,   100,
                                                         200, 500, 1000, 2000, 5000, 10000};

  std::array<std::uint64_t, kFineBuckets> fine_{};
  std::array<std::uint64_t, kBarEdgesMs.size() + 1> bars_{};
  std::uint64_t count_ = 0;
  std::int64_t minNs_ = 0;
  std::int64_t maxNs_ = 0;
};
