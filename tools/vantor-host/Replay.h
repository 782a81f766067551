#pragma once
// Replays launches from a fixed set of kernel paths through a launch source, from several
// threads: back to back, or arriving at random moments at a given average rate. Each result is
// handed on as it comes and nothing is kept per launch, so memory does not grow with the count.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LaunchSource.h"

struct ReplayPlan {
  int threads = 4;
  std::uint64_t count = 1;  // launches in all, cycling through the paths
  double rate = 0;          // launches a second, arriving at random (a Poisson process); 0: none
};

struct Launched {
  std::uint64_t index;
  const std::u16string& kernelPath;
  LaunchResult result;
  // How long after its arrival moment a thread was free to take it (rate mode; else 0).
  std::chrono::nanoseconds lateStart;
};

class Replay {
 public:
  using Sink = std::function<void(const Launched&)>;  // called on the launching threads

  Replay(LaunchSource& source, const std::vector<std::u16string>& paths, ReplayPlan plan,
         Sink sink);
  ~Replay();  // waits for the threads
  Replay(const Replay&) = delete;
  Replay& operator=(const Replay&) = delete;

  // No new launch after this; launches already made run to their outcome.
  void RequestStop();
  // All threads have ended.
  bool Finished() const { return running_.load() == 0; }
  std::uint64_t Done() const { return done_.load(); }

 private:
  void Run();
  // Takes the next launch and waits for its arrival moment; false when there is none (all made,
  // or stop). *late: how long after that moment this thread came for it (all threads busy).
  bool Next(std::uint64_t* index, std::chrono::nanoseconds* late);

  LaunchSource& source_;
  const std::vector<std::u16string>& paths_;
  const ReplayPlan plan_;
  const Sink sink_;

  std::mutex lock_;
  std::condition_variable stopped_;
  bool stop_ = false;
  std::uint64_t issued_ = 0;
  std::chrono::steady_clock::time_point nextArrival_;
  std::mt19937_64 random_{std::random_device{}()};

  std::atomic<std::uint64_t> done_{0};
  std::atomic<int> running_{0};
  std::vector<std::thread> threads_;
};
