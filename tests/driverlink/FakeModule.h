#pragma once
// The module's side of the shared record, played by a test thread: it polls Pending, reads the
// path, stores the verdict a test function gives and clears Pending, in the hand-over order.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driverlink/Protocol.h"

class FakeModule {
 public:
  using Decide = std::function<std::uint32_t(const std::u16string& path)>;

  FakeModule(SharedSlot* slot, Decide decide)
      : slot_(slot), decide_(std::move(decide)), thread_([this] { Serve(); }) {}
  ~FakeModule() {
    stop_ = true;
    thread_.join();
  }
  FakeModule(const FakeModule&) = delete;
  FakeModule& operator=(const FakeModule&) = delete;

  // Pending values seen, one per request served.
  std::vector<std::uint32_t> PendingValues() const {
    std::lock_guard lock(mutex_);
    return pendingValues_;
  }

 private:
  void Serve() {
    std::atomic_ref<std::uint32_t> pending(slot_->Pending);
    while (!stop_) {
      const std::uint32_t value = pending.load(std::memory_order_acquire);
      if (value == 0) {
        std::this_thread::yield();
        continue;
      }
      std::u16string path;
      for (const char16_t* unit = slot_->ImagePath; *unit != 0 && path.size() < 32767; ++unit) {
        path += *unit;
      }
      const std::uint32_t verdict = decide_(path);
      {
        std::lock_guard lock(mutex_);
        pendingValues_.push_back(value);
      }
      std::atomic_ref<std::uint32_t>(slot_->Verdict).store(verdict, std::memory_order_relaxed);
      pending.store(0, std::memory_order_release);
    }
  }

  SharedSlot* slot_;
  Decide decide_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::uint32_t> pendingValues_;
  std::thread thread_;
};
