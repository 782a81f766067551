// The launch side of the guard driver stand-in: launches queue for the one record, park their
// path in it and wait for the module to hand the verdict back.
#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

#include "GuardDriver.h"

namespace {

using Clock = std::chrono::steady_clock;

// Pending is shared with the module: set with release so the path is complete when it is seen,
// read with acquire so the module's Verdict is visible once it reads 0.
std::atomic_ref<std::uint32_t> PendingOf(SharedSlot* slot) {
  return std::atomic_ref<std::uint32_t>(slot->Pending);
}

}  // namespace

GuardDriver::LaunchResult GuardDriver::Finish(Outcome outcome, std::uint32_t verdict,
                                              Clock::time_point begin) {
  switch (outcome) {
    case Outcome::Allowed:
      ++stats_.allowed;
      break;
    case Outcome::Denied:
      ++stats_.denied;
      break;
    case Outcome::LetThrough:
      ++stats_.letThrough;
      break;
    case Outcome::TimedOut:
      ++stats_.timedOut;
      break;
    case Outcome::Refused:
      ++stats_.refused;
      break;
  }
  return LaunchResult{outcome, Clock::now() - begin, verdict};
}

// Called with mutex_ held, when no pump can be serving the record: a request still parked is
// cleared here, and its launch (if one still waits) sees takenBack_ and is let through.
void GuardDriver::TakeBackRecord() {
  if (PendingOf(slot_).load(std::memory_order_acquire) == 0) return;
  takenBack_ = !orphaned_;
  orphaned_ = false;
  PendingOf(slot_).store(0, std::memory_order_release);
}

// Called with mutex_ held: the launch gives up its place and wakes the others.
void GuardDriver::Leave(std::uint64_t ticket) {
  queue_.erase(std::find(queue_.begin(), queue_.end(), ticket));
  changed_.notify_all();
}

GuardDriver::LaunchResult GuardDriver::Launch(std::u16string_view path) {
  const Clock::time_point begin = Clock::now();
  std::unique_lock lock(mutex_);
  if (!guarding_) return Finish(Outcome::LetThrough, kNoVerdict, begin);
  if (path.size() > kMaxPathUnits) return Finish(Outcome::Refused, kNoVerdict, begin);

  const Clock::time_point deadline = begin + verdictTimeout_;
  const std::uint64_t ticket = nextTicket_++;
  queue_.push_back(ticket);
  const bool myTurn =
      changed_.wait_until(lock, deadline, [&] { return !guarding_ || queue_.front() == ticket; });
  if (!guarding_) {
    Leave(ticket);
    return Finish(Outcome::LetThrough, kNoVerdict, begin);
  }
  if (!myTurn) {
    Leave(ticket);
    return Finish(Outcome::TimedOut, kNoVerdict, begin);
  }

  // First in line: the record is ours once an earlier, timed-out request has been answered.
  if (orphaned_) {
    lock.unlock();
    const bool cleared = WaitForPendingClear(deadline);
    lock.lock();
    if (!cleared) {
      Leave(ticket);
      return Finish(Outcome::TimedOut, kNoVerdict, begin);
    }
    orphaned_ = false;
    ++stats_.lateVerdicts;
    if (!guarding_) {
      Leave(ticket);
      return Finish(Outcome::LetThrough, kNoVerdict, begin);
    }
  }

  const PathMode mode = pathMode_;
  const std::size_t overlongUnits = overlongUnits_;
  const std::uint32_t pending = NextPendingValue();
  lock.unlock();

  WritePath(path, mode, overlongUnits);
  std::atomic_ref<std::uint32_t>(slot_->Verdict).store(kNoVerdict, std::memory_order_relaxed);
  lock.lock();
  PendingOf(slot_).store(pending, std::memory_order_release);
  ++stats_.parked;
  changed_.notify_all();  // WaitForParked
  lock.unlock();

  const bool answered = WaitForPendingClear(deadline);
  const std::uint32_t verdict =
      answered ? std::atomic_ref<std::uint32_t>(slot_->Verdict).load(std::memory_order_relaxed)
               : kNoVerdict;

  lock.lock();
  Leave(ticket);
  if (std::exchange(takenBack_, false)) return Finish(Outcome::LetThrough, kNoVerdict, begin);
  if (!answered) {
    // The module may still answer: nobody writes the record until it has.
    orphaned_ = true;
    return Finish(Outcome::TimedOut, kNoVerdict, begin);
  }
  if (verdict != 0 && verdict != 1) ++stats_.strangeVerdicts;
  return Finish(verdict == 1 ? Outcome::Allowed : Outcome::Denied, verdict, begin);
}

bool GuardDriver::WaitForPendingClear(Clock::time_point deadline) const {
  // The module clears Pending with a plain store and no signal, so the driver polls: briefly
  // by yielding, then in short sleeps.
  for (int round = 0;; ++round) {
    if (PendingOf(slot_).load(std::memory_order_acquire) == 0) return true;
    if (Clock::now() >= deadline) return false;
    if (round < 64) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
}

// Called with mutex_ held.
std::uint32_t GuardDriver::NextPendingValue() {
  if (!randomPending_) return pendingValue_;
  std::uniform_int_distribution<std::uint32_t> any(1, 0xFFFFFFFFu);
  return any(random_);
}

// Only the launch that owns the record calls this; the module reads the path only after it has
// seen Pending set, which happens after.
void GuardDriver::WritePath(std::u16string_view path, PathMode mode, std::size_t overlongUnits) {
  char16_t* area = slot_->ImagePath;
  switch (mode) {
    case PathMode::Normal:  // Launch refused anything longer than kMaxPathUnits
      std::copy(path.begin(), path.end(), area);
      area[path.size()] = u'\0';
      break;
    case PathMode::Unterminated:
      // Every unit of the area, the last included, is non-zero: nothing ends the text.
      for (std::size_t i = 0; i < kPathAreaUnits; ++i) {
        const char16_t unit = path.empty() ? u'X' : path[i % path.size()];
        area[i] = unit == u'\0' ? u'X' : unit;
      }
      break;
    case PathMode::Overlong: {
      const std::size_t kept = std::min(path.size(), overlongUnits);
      std::copy_n(path.begin(), kept, area);
      for (std::size_t i = kept; i < overlongUnits; ++i) area[i] = i == kept ? u'\\' : u'x';
      area[overlongUnits] = u'\0';
      break;
    }
  }
}

bool GuardDriver::WaitForParked(std::uint64_t total, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return stats_.parked >= total; });
}

bool GuardDriver::Occupied() const {
  return PendingOf(slot_).load(std::memory_order_acquire) != 0;
}

std::size_t GuardDriver::LaunchesInProgress() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}
