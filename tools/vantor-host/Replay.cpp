#include "Replay.h"

#include <algorithm>

using Clock = std::chrono::steady_clock;

Replay::Replay(LaunchSource& source, const std::vector<std::u16string>& paths, ReplayPlan plan,
               Sink sink)
    : source_(source), paths_(paths), plan_(plan), sink_(std::move(sink)) {
  nextArrival_ = Clock::now();
  running_ = plan_.threads;
  for (int t = 0; t < plan_.threads; ++t) threads_.emplace_back([this] { Run(); });
}

Replay::~Replay() {
  RequestStop();
  for (std::thread& thread : threads_) thread.join();
}

void Replay::RequestStop() {
  std::lock_guard guard(lock_);
  stop_ = true;
  stopped_.notify_all();
}

bool Replay::Next(std::uint64_t* index, std::chrono::nanoseconds* late) {
  std::unique_lock guard(lock_);
  *late = {};
  if (stop_ || issued_ == plan_.count) return false;
  *index = issued_++;
  if (plan_.rate <= 0) return true;
  // Poisson arrivals: exponential gaps with mean 1/rate, drawn in arrival order.
  const Clock::time_point arrival = nextArrival_;
  const std::chrono::duration<double> gap{
      std::exponential_distribution<double>(plan_.rate)(random_)};
  nextArrival_ += std::chrono::duration_cast<Clock::duration>(gap);
  *late = std::max<std::chrono::nanoseconds>(Clock::now() - arrival, {});
  return !stopped_.wait_until(guard, arrival, [this] { return stop_; });
}

void Replay::Run() {
  std::uint64_t index = 0;
  std::chrono::nanoseconds late{};
  while (Next(&index, &late)) {
    const std::u16string& path = paths_[static_cast<std::size_t>(index % paths_.size())];
    const LaunchResult result = source_.Launch(path);
    sink_(Launched{index, path, result, late});
    done_.fetch_add(1);
  }
  running_.fetch_sub(1);
}
