#pragma once
// The rules of the shared record, written once for both guard drivers: the portable stand-in
// (GuardDriver) and the kernel build (vantorflt.sys). A host supplies only what differs between
// them. Freestanding: fixed-width types and the compiler's atomics, no library.
//
// The rules:
//  - A launch arriving while nothing guards is let through. One whose path the record cannot
//    carry whole is refused and never parked: cut, or stopped early by a zero unit inside, the
//    path the module reads would name another file.
//  - Launches take the record one at a time, in arrival order (the host's queue), each with a
//    deadline counted from its arrival. A launch writes its path, kNoVerdict into Verdict (so a
//    hand-back without a verdict shows), then Pending; once the module clears Pending, Verdict 1
//    is Allowed and anything else Denied.
//  - Past its deadline a launch is TimedOut (fail closed). Its request stays in the record,
//    orphaned, until the module answers it: the next launch waits for that answer (within its
//    own deadline) before it writes, so a late verdict reaches no other launch; it is counted
//    and dropped.
//  - The record belongs to the handle its handshake was answered on; only that handle starts and
//    stops guarding. A stop code, or that handle going away, means no pump serves the record any
//    more: guarding ends, an unanswered request is cleared (its launch let through, an answered
//    one keeps its verdict), and the launches still queued are let through. Other handles on the
//    device (launch clients, readers of counters) come and go without touching the record.
//  - The deadline is kept within kShortestDeadlineMs..kLongestDeadlineMs.
#include <cstddef>
#include <cstdint>

#include "LaunchProtocol.h"

// What Verdict holds while a request waits.
inline constexpr std::uint32_t kNoVerdict = 0xFFFFFFFFu;

constexpr bool FitsRecord(const char16_t* path, std::size_t units) {
  if (units > kLongestLaunchPath) return false;
  for (std::size_t i = 0; i < units; ++i) {
    if (path[i] == u'\0') return false;
  }
  return true;
}

// The path and its terminator, for a path that FitsRecord.
inline void WriteWholePath(SharedSlot& record, const char16_t* path, std::size_t units) {
  for (std::size_t i = 0; i < units; ++i) record.ImagePath[i] = path[i];
  record.ImagePath[units] = u'\0';
}

// Host supplies:
//   void Lock(); void Unlock();  the lock every member expects held when called
//   std::int64_t Now();          a monotonic clock, kTicksPerMillisecond ticks a millisecond
//   void Pause(int round);       called unlocked while the serving launch waits for the module
//   std::uint32_t Park(SharedSlot&, const char16_t* path, std::size_t units);
//                                called unlocked: writes the path, returns Pending's value
//   void Changed();              guarding or the record changed: wake whoever waits on either
template <typename Host>
class GuardCore {
 public:
  // The outcome decided at arrival, or None with the launch's deadline: queue it.
  struct Admission {
    LaunchOutcome outcome;
    std::int64_t deadline;
  };
  struct Served {
    LaunchOutcome outcome;
    std::uint32_t verdict;  // as read, kNoVerdict when none was
  };

  GuardCore(Host& host, SharedSlot* record) : host_(host), record_(record) {}
  GuardCore(const GuardCore&) = delete;
  GuardCore& operator=(const GuardCore&) = delete;

  Admission Admit(const char16_t* path, std::size_t units) {
    ++counters_.launches;
    if (!guarding_) return {Count(LaunchOutcome::LetThrough), 0};
    if (!FitsRecord(path, units)) return {Count(LaunchOutcome::Refused), 0};
    return {LaunchOutcome::None, host_.Now() + deadlineTicks_};
  }

  // For the launch first in line: waits out an orphaned request, parks this one and waits for
  // its hand-back. Unlocks while it writes and while it waits.
  Served Serve(const char16_t* path, std::size_t units, std::int64_t deadline) {
    if (orphaned_) {
      if (WaitForHandBack(deadline) == HandBack::Expired) return Finish(LaunchOutcome::TimedOut);
      if (orphaned_) {  // answered, not taken back
        orphaned_ = false;
        ++counters_.lateVerdicts;
      }
    }
    if (!guarding_) return Finish(LaunchOutcome::LetThrough);
    if (host_.Now() >= deadline) return Finish(LaunchOutcome::TimedOut);
    host_.Unlock();
    const std::uint32_t pending = host_.Park(*record_, path, units);
    __atomic_store_n(&record_->Verdict, kNoVerdict, __ATOMIC_RELAXED);
    host_.Lock();
    if (!guarding_) return Finish(LaunchOutcome::LetThrough);  // stopped while it wrote
    __atomic_store_n(&record_->Pending, pending, __ATOMIC_RELEASE);
    parked_ = true;
    ++counters_.parked;
    host_.Changed();
    const HandBack back = WaitForHandBack(deadline);
    parked_ = false;
    if (back == HandBack::TakenBack) return Finish(LaunchOutcome::LetThrough);
    if (back == HandBack::Expired) {
      orphaned_ = true;  // the module may still answer: nobody writes the record until it has
      return Finish(LaunchOutcome::TimedOut);
    }
    const std::uint32_t verdict = __atomic_load_n(&record_->Verdict, __ATOMIC_RELAXED);
    if (verdict != 0 && verdict != 1) ++counters_.strangeVerdicts;
    return {Count(verdict == 1 ? LaunchOutcome::Allowed : LaunchOutcome::Denied), verdict};
  }

  // ---- The handle that holds the record --------------------------------------------------
  // False when another handle holds it.
  bool HandOut(const void* handle) {
    if (holder_ != nullptr && holder_ != handle) return false;
    holder_ = handle;
    ++counters_.handshakes;
    return true;
  }
  bool Holds(const void* handle) const { return holder_ != nullptr && holder_ == handle; }
  bool Start(const void* handle) {
    if (!Holds(handle)) return false;
    guarding_ = true;
    host_.Changed();
    return true;
  }
  bool Stop(const void* handle) {
    if (!Holds(handle)) return false;
    TakeBack();
    return true;
  }
  // True when the handle was the holder: the record is taken back and free for another.
  bool HandleGone(const void* handle) {
    if (!Holds(handle)) return false;
    holder_ = nullptr;
    TakeBack();
    return true;
  }
  // Nobody serves the record any more.
  void TakeBack() {
    guarding_ = false;
    const bool answered = __atomic_load_n(&record_->Pending, __ATOMIC_ACQUIRE) == 0;
    if (!answered) __atomic_store_n(&record_->Pending, 0u, __ATOMIC_RELEASE);
    if (orphaned_) {
      orphaned_ = false;
      if (answered) ++counters_.lateVerdicts;
    } else if (parked_ && !answered) {
      takenBack_ = true;
    }
    host_.Changed();
  }

  // ---- Settings and accounts -------------------------------------------------------------
  bool SetDeadline(std::uint32_t milliseconds) {
    if (milliseconds < kShortestDeadlineMs || milliseconds > kLongestDeadlineMs) return false;
    deadlineTicks_ = milliseconds * Host::kTicksPerMillisecond;
    return true;
  }
  bool Guarding() const { return guarding_; }
  GuardCounters& Counters() { return counters_; }
  const GuardCounters& Counters() const { return counters_; }
  // For a launch that ends without the record: guarding ended or its deadline passed in line.
  LaunchOutcome Count(LaunchOutcome outcome) {
    static_assert(static_cast<int>(LaunchOutcome::Refused) == 5, "one counter per outcome");
    std::uint64_t* const counts[] = {nullptr,
                                     &counters_.allowed,
                                     &counters_.denied,
                                     &counters_.letThrough,
                                     &counters_.timedOut,
                                     &counters_.refused};
    if (std::uint64_t* const count = counts[static_cast<int>(outcome)]) ++*count;
    return outcome;
  }

 private:
  enum class HandBack { Answered, TakenBack, Expired };

  Served Finish(LaunchOutcome outcome) { return {Count(outcome), kNoVerdict}; }

  HandBack WaitForHandBack(std::int64_t deadline) {
    for (int round = 0;; ++round) {
      if (takenBack_) {
        takenBack_ = false;
        return HandBack::TakenBack;
      }
      if (__atomic_load_n(&record_->Pending, __ATOMIC_ACQUIRE) == 0) return HandBack::Answered;
      if (host_.Now() >= deadline) return HandBack::Expired;
      host_.Unlock();
      host_.Pause(round);
      host_.Lock();
    }
  }

  Host& host_;
  SharedSlot* record_;
  const void* holder_ = nullptr;
  bool guarding_ = false;
  bool parked_ = false;     // a request is in the record and its launch waits for it
  bool orphaned_ = false;   // a timed-out request is in the record, not yet answered
  bool takenBack_ = false;  // the parked request was cleared by a take-back
  std::int64_t deadlineTicks_ = std::int64_t{kDefaultDeadlineMs} * Host::kTicksPerMillisecond;
  GuardCounters counters_{};
};
