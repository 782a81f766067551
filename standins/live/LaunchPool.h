#pragma once
// Judges held launches on worker threads, so that concurrent launches wait only for the one
// request record, not for each other here. A thread is started whenever a launch arrives and
// no worker is free, up to a limit; past it launches queue in arrival order, up to a bound.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "HeldExec.h"

struct TakenLaunch {
  HeldExec exec;
  std::chrono::steady_clock::time_point taken;  // when the event was read
  std::string program;  // the file's path when the event was read; empty if unreadable
  std::string caller;   // the executing process's command name before the exec
};

class LaunchPool {
 public:
  using Handler = std::function<void(TakenLaunch&)>;
  LaunchPool(std::size_t threadLimit, Handler handler);
  // Waits until every launch handed in has been handled.
  ~LaunchPool();
  LaunchPool(const LaunchPool&) = delete;
  LaunchPool& operator=(const LaunchPool&) = delete;

  // False, leaving `launch` untouched, when `queueLimit` launches already wait for a worker.
  bool Submit(TakenLaunch& launch, std::size_t queueLimit);

 private:
  void Work();

  const std::size_t limit_;
  const Handler handler_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<TakenLaunch> queue_;
  std::size_t idle_ = 0;  // workers waiting for a launch
  bool closing_ = false;
  std::vector<std::thread> threads_;
};
