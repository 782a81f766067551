#include "LaunchPool.h"

#include <utility>

LaunchPool::LaunchPool(std::size_t threadLimit, Handler handler)
    : limit_(threadLimit < 1 ? 1 : threadLimit), handler_(std::move(handler)) {}

LaunchPool::~LaunchPool() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool LaunchPool::Submit(TakenLaunch& launch, std::size_t queueLimit) {
  std::lock_guard lock(mutex_);
  // Idle workers and workers yet to be started take their launches at once; the rest wait, up
  // to the bound.
  if (queue_.size() >= idle_ + (limit_ - threads_.size()) + queueLimit) return false;
  queue_.push_back(std::move(launch));
  // Every queued launch needs a worker of its own: idle ones may not have woken up yet.
  if (queue_.size() > idle_ && threads_.size() < limit_) {
    threads_.emplace_back(&LaunchPool::Work, this);
  } else {
    ready_.notify_one();
  }
  return true;
}

void LaunchPool::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    ready_.wait(lock, [this] { return !queue_.empty() || closing_; });
    --idle_;
    if (queue_.empty()) return;
    TakenLaunch launch = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    handler_(launch);
    lock.lock();
  }
}
