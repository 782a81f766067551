#include "LatencyStats.h"

#include <algorithm>
#include <cmath>

void LatencyStats::Add(std::chrono::nanoseconds latency) {
  const std::int64_t ns = std::max<std::int64_t>(latency.count(), 1);
  const auto fine = static_cast<std::size_t>(std::log(static_cast<double>(ns)) / std::log(kStep));
  ++fine_[std::min(fine, kFineBuckets - 1)];
  const double ms = static_cast<double>(ns) / 1e6;
  const auto bar = static_cast<std::size_t>(
      std::upper_bound(kBarEdgesMs.begin(), kBarEdgesMs.end(), ms) - kBarEdgesMs.begin());
  ++bars_[bar];
  minNs_ = count_ == 0 ? ns : std::min(minNs_, ns);
  maxNs_ = std::max(maxNs_, ns);
  ++count_;
}

double LatencyStats::PercentileMs(double fraction) const {
  if (count_ == 0) return 0;
  if (fraction >= 1) return MaxMs();
  return AtRankMs(std::max<std::uint64_t>(
      1, static_cast<std::uint64_t>(std::ceil(fraction * static_cast<double>(count_)))));
}

double LatencyStats::MedianMs() const {
  if (count_ == 0) return 0;
  const std::uint64_t middle = (count_ + 1) / 2;
  return count_ % 2 == 1 ? AtRankMs(middle) : (AtRankMs(middle) + AtRankMs(middle + 1)) / 2;
}

double LatencyStats::AtRankMs(std::uint64_t rank) const {
  if (rank >= count_) return MaxMs();
  if (rank <= 1) return static_cast<double>(minNs_) / 1e6;
  std::uint64_t seen = 0;
  std::size_t bucket = 0;
  while (bucket + 1 < kFineBuckets && (seen += fine_[bucket]) < rank) ++bucket;
  // The bucket's geometric middle, within the range actually seen.
  const double ns = std::pow(kStep, static_cast<double>(bucket) + 0.5);
  return std::clamp(ns, static_cast<double>(minNs_), static_cast<double>(maxNs_)) / 1e6;
}

double LatencyStats::MaxMs() const {
  return static_cast<double>(maxNs_) / 1e6;
}

std::vector<LatencyStats::Bar> LatencyStats::Bars() const {
  std::vector<Bar> bars;
  if (count_ == 0) return bars;
  std::size_t first = 0, last = bars_.size() - 1;
  while (bars_[first] == 0) ++first;
  while (bars_[last] == 0) --last;
  for (std::size_t i = first; i <= last; ++i) {
    bars.push_back({i == 0 ? 0.0 : kBarEdgesMs[i - 1],
                    i < kBarEdgesMs.size() ? kBarEdgesMs[i] : 0.0, bars_[i]});
  }
  return bars;
}
