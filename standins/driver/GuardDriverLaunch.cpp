// The launch side of the guard driver stand-in: launches queue for the one record in their
// threads, and the one first in line serves it through the core.
#include <algorithm>
#include <atomic>
#include <thread>

#include "GuardDriver.h"

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

std::int64_t GuardDriver::Host::Now() const {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// The module clears Pending with a plain store and no signal, so the serving launch polls:
// briefly by yielding, then in short sleeps.
void GuardDriver::Host::Pause(int round) const {
  if (round < 64) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

GuardDriver::LaunchResult GuardDriver::Launch(std::u16string_view path) {
  const Clock::time_point begin = Clock::now();
  const auto result = [&](GuardCore<Host>::Served served) {
    return LaunchResult{served.outcome, Clock::now() - begin, served.verdict};
  };
  std::unique_lock lock(mutex_);
  const bool zerosKept = pathMode_ == PathMode::ZerosKept;
  const auto admission =
      core_.Admit(path.data(), zerosKept ? std::min(path.find(u'\0'), path.size()) : path.size());
  if (admission.outcome != Outcome::None) return result({admission.outcome, kNoVerdict});

  const std::uint64_t ticket = nextTicket_++;
  queue_.push_back(ticket);
  const Clock::time_point deadline{std::chrono::nanoseconds(admission.deadline)};
  const bool myTurn = changed_.wait_until(
      lock, deadline, [&] { return !core_.Guarding() || queue_.front() == ticket; });
  GuardCore<Host>::Served served{Outcome::None, kNoVerdict};
  if (!core_.Guarding()) {
    served.outcome = core_.Count(Outcome::LetThrough);
  } else if (!myTurn) {
    served.outcome = core_.Count(Outcome::TimedOut);
  } else {
    served = core_.Serve(path.data(), path.size(), admission.deadline);
  }
  queue_.erase(std::find(queue_.begin(), queue_.end(), ticket));
  changed_.notify_all();
  return result(served);
}

// Called unlocked, by the launch that owns the record; the module reads the path only after it
// has seen Pending set, which happens after.
std::uint32_t GuardDriver::Host::Park(SharedSlot& record, const char16_t* path, std::size_t units) {
  std::unique_lock lock(driver.mutex_);
  const PathMode mode = driver.pathMode_;
  const std::size_t overlongUnits = driver.overlongUnits_;
  const std::uint32_t pending = driver.NextPendingValue();
  lock.unlock();
  char16_t* area = record.ImagePath;
  switch (mode) {
    case PathMode::Normal:
    case PathMode::ZerosKept:
      WriteWholePath(record, path, std::min(units, kMaxPathUnits));
      break;
    case PathMode::Unterminated:
      // Every unit of the area, the last included, is non-zero: nothing ends the text.
      for (std::size_t i = 0; i < kPathAreaUnits; ++i) {
        const char16_t unit = units == 0 ? u'X' : path[i % units];
        area[i] = unit == u'\0' ? u'X' : unit;
      }
      break;
    case PathMode::Overlong: {
      const std::size_t kept = std::min(units, overlongUnits);
      std::copy_n(path, kept, area);
      for (std::size_t i = kept; i < overlongUnits; ++i) area[i] = i == kept ? u'\\' : u'x';
      area[overlongUnits] = u'\0';
      break;
    }
  }
  return pending;
}

// Called with mutex_ held.
std::uint32_t GuardDriver::NextPendingValue() {
  if (!randomPending_) return pendingValue_;
  std::uniform_int_distribution<std::uint32_t> any(1, 0xFFFFFFFFu);
  return any(random_);
}

bool GuardDriver::WaitForParked(std::uint64_t total, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return core_.Counters().parked >= total; });
}

bool GuardDriver::Occupied() const {
  return std::atomic_ref<std::uint32_t>(slot_->Pending).load(std::memory_order_acquire) != 0;
}

std::size_t GuardDriver::LaunchesInProgress() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}
