#pragma once
// The guard driver's own control codes, beside the ones it shares with the module: launches reach
// the driver through them (they stand in for the kernel's launch hook), and tests read its
// counters and shorten its deadline. Included by the kernel build, so fixed-width types only.
#include <cstdint>

#include "driverlink/Protocol.h"

// One program launch. Input: the image path in UTF-16 without a terminator (its length is the
// buffer's); output: the LaunchOutcome, 32 bits. The request is held until the outcome is known.
inline constexpr std::uint32_t IOCTL_GUARD_LAUNCH = GuardControlCode(0x880, kMethodBuffered);
// Output: GuardCounters.
inline constexpr std::uint32_t IOCTL_GUARD_COUNTERS = GuardControlCode(0x881, kMethodBuffered);
// Input: the deadline of later launches in milliseconds (32 bits), from arrival; a deadline
// outside kShortestDeadlineMs..kLongestDeadlineMs is refused (invalid parameter).
inline constexpr std::uint32_t IOCTL_GUARD_SET_DEADLINE = GuardControlCode(0x882, kMethodBuffered);

// The longest path a launch may carry: what the record holds before its terminator. A longer path
// is denied rather than cut, since a cut path names another file.
inline constexpr std::uint32_t kLongestLaunchPath = 32767;
// The record: Pending, Verdict, then the path area with room for the terminator.
inline constexpr std::uint32_t kRecordBytes =
    offsetof(SharedSlot, ImagePath) + (kLongestLaunchPath + 1) * sizeof(char16_t);
inline constexpr std::uint32_t kDefaultDeadlineMs = 10'000;
// No deadline so short that a working module misses it, none so long that a launch seems hung.
inline constexpr std::uint32_t kShortestDeadlineMs = 100;
inline constexpr std::uint32_t kLongestDeadlineMs = 10 * 60'000;

enum class LaunchOutcome : std::uint32_t {
  None = 0,        // never sent: an output the driver did not write shows as this
  Allowed = 1,     // the module's verdict was 1
  Denied = 2,      // any other verdict
  LetThrough = 3,  // nothing was guarding, or guarding ended before a verdict
  TimedOut = 4,    // no verdict by the deadline: the image may not run
  Refused = 5,     // the record cannot carry its path whole: never judged, the image may not run
};

// What the driver has done since it was loaded. Every launch ends in exactly one of allowed,
// denied, refused, let through, timed out and cancelled.
struct GuardCounters {
  std::uint64_t launches;
  std::uint64_t allowed;
  std::uint64_t denied;      // by a verdict other than 1
  std::uint64_t refused;     // too long or holding a zero unit: never parked
  std::uint64_t letThrough;  // not guarding at arrival, or taken back by a stop or a close
  std::uint64_t timedOut;
  std::uint64_t cancelled;        // the launch's caller gave up first (the kernel build only)
  std::uint64_t parked;           // requests written into the record
  std::uint64_t lateVerdicts;     // hand-backs of requests already reported timed out
  std::uint64_t strangeVerdicts;  // Verdict neither 0 nor 1 after a hand-back
  std::uint64_t handshakes;       // successful initialize codes
  std::uint64_t recordAddress;    // where the record is mapped in the host; 0 while none is
};
