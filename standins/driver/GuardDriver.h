#pragma once
// GuardDriver: a stand-in for the kernel side of the guard device. It answers the handshake with
// the address of a shared request record, takes the start and stop codes, and holds each program
// launch back in that record until the module hands the verdict back.
//
// Its own choices (what a real driver is free to decide):
//  - The record: 8-byte header, then room for kMaxPathUnits UTF-16 units plus the terminator.
//    It is mapped at an address that fits in 32 bits and ends exactly where a no-access guard
//    page begins, so a read or write past the path area faults. One record for the life of the
//    object; every successful handshake hands out the same address.
//  - Launches while not guarding are let through at once (outcome LetThrough, counted apart).
//    Guarding is checked when a launch arrives and again when it gets the record; a stop code
//    also lets through the launches still waiting for their turn.
//  - Taking the record back: the module sends a stop code only after its pump has ended, and
//    closes its last handle only after that, so at a successful stop code and at the last close
//    nobody serves the record. The driver then clears a request still parked there itself (its
//    launch is let through) or one whose launch timed out, so no launch waits for its deadline
//    after guarding ended and a later pump never serves a launch nobody waits for. A request
//    parked while guarding goes on (a failed stop code) stays for the next pump.
//  - Launches from any number of threads take the record one at a time, in arrival order. Each
//    writes its path, writes kNoVerdict into Verdict (so a hand-back without a verdict shows),
//    sets Pending, and polls until Pending is 0; then Verdict 1 is Allowed and anything else
//    Denied (values other than 0 and 1 are counted as strange).
//  - Each launch has a deadline (Options::verdictTimeout, default 10 s) from its arrival,
//    waiting included. Past it the launch is TimedOut: fail closed, the image may not run. The
//    record then stays occupied until the module clears Pending; the next launch waits for that
//    (within its own deadline) before it writes, so a late verdict never reaches another launch.
//    Such late verdicts are counted and dropped.
//  - A path longer than kMaxPathUnits cannot be parked whole. While guarding it is refused at
//    arrival (outcome Refused: fail closed, the image may not run), never parked, and counted;
//    cutting it would have the module judge another path than the one being launched.
//  - Handshake: needs a 16-byte input and at least 16 bytes of output, else
//    ERROR_INVALID_PARAMETER; the request bytes are kept as the driver saw them. Start and stop
//    take no buffers (else ERROR_INVALID_PARAMETER); start fails with ERROR_INVALID_FUNCTION
//    until a handshake has succeeded; both succeed when already in the asked state. Unknown
//    codes fail with ERROR_INVALID_FUNCTION.
//  - Any number of handles may be open; closing the last one ends guarding (a host that went
//    away must not hold every launch), the record stays mapped.
//  - Destroy the object only when no launch is in progress.
//
// On request it misbehaves: see the "Misbehaviour" members.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>

#include "driverlink/Protocol.h"
#include "platform/Win32.h"

class RecordMemory;

class GuardDriver {
 public:
  // Longest path the record holds, in UTF-16 units, and the record's size with its terminator.
  static constexpr std::size_t kMaxPathUnits = 32767;
  static constexpr std::size_t kPathAreaUnits = kMaxPathUnits + 1;
  static constexpr std::size_t kRecordBytes =
      offsetof(SharedSlot, ImagePath) + kPathAreaUnits * sizeof(char16_t);
  // What Verdict holds while a request waits.
  static constexpr std::uint32_t kNoVerdict = 0xFFFFFFFFu;
  // FailCode count meaning "every call from now on".
  static constexpr int kEveryCall = -1;

  struct Options {
    std::chrono::milliseconds verdictTimeout{10'000};
    std::uint64_t seed = 0x5EED;  // for the random misbehaviours
  };

  enum class Outcome { Allowed, Denied, LetThrough, TimedOut, Refused };
  struct LaunchResult {
    Outcome outcome;
    std::chrono::nanoseconds latency;  // from arrival to outcome
    std::uint32_t verdict;             // Verdict as read, kNoVerdict when none was read
  };

  struct Statistics {
    std::uint64_t allowed = 0;
    std::uint64_t denied = 0;
    std::uint64_t letThrough = 0;
    std::uint64_t timedOut = 0;
    std::uint64_t refused = 0;          // paths longer than the record holds, never parked
    std::uint64_t lateVerdicts = 0;     // answers to launches already reported TimedOut
    std::uint64_t strangeVerdicts = 0;  // Verdict neither 0 nor 1 after a hand-back
    std::uint64_t parked = 0;           // requests written into the record
    std::uint64_t initializeCodes = 0;
    std::uint64_t startCodes = 0;
    std::uint64_t stopCodes = 0;
    std::uint64_t failedCodes = 0;  // codes answered with failure, injected or not
    std::uint64_t loads = 0;        // times the service manager loaded the image
    std::uint64_t opens = 0;
    std::uint64_t closes = 0;
    std::uint64_t served() const { return allowed + denied; }
  };

  // How the handshake reply is written.
  enum class ReplyMode {
    Normal,       // SlotAddress, the other 12 bytes zero
    Untouched,    // succeeds and writes nothing
    ZeroAddress,  // SlotAddress 0, the other 12 bytes non-zero
    Garbage,      // 16 random bytes, at least one non-zero
    Partial,      // only the first partialBytes bytes of the normal reply
    Misaligned,   // SlotAddress two bytes past the record
  };
  // How a launch's path is written.
  enum class PathMode {
    Normal,        // the path and its terminator
    Unterminated,  // the whole path area non-zero units (the path repeated), no terminator
    Overlong,      // the path lengthened (or cut) to overlongUnits units, then the terminator
  };

  GuardDriver();
  explicit GuardDriver(Options options);
  ~GuardDriver();
  GuardDriver(const GuardDriver&) = delete;
  GuardDriver& operator=(const GuardDriver&) = delete;

  // ---- The device side ---------------------------------------------------------------------
  // One control code. False with *error set on failure.
  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytesReturned, DWORD* error);
  void Opened();
  void Closed();
  void Loaded();

  // ---- The launch side ---------------------------------------------------------------------
  // One program launch: blocks until it has an outcome. Thread-safe.
  LaunchResult Launch(std::u16string_view path);

  // ---- Inspection --------------------------------------------------------------------------
  bool Guarding() const;
  SharedSlot* Slot() const { return slot_; }
  std::uint32_t SlotAddress() const;
  Statistics Stats() const;
  // The handshake input as the driver last saw it, if a handshake brought one.
  std::optional<std::array<std::uint8_t, 16>> LastInitializeRequest() const;
  // The last successful handshake's reply and how many of its bytes went out (0: untouched).
  struct ReplySent {
    InitializeReply reply;
    std::size_t bytes;
  };
  std::optional<ReplySent> LastReply() const;
  int OpenHandles() const;
  // Waits until at least `total` requests have been parked in the record since construction
  // (parked: path written and Pending set; the module may have answered since).
  bool WaitForParked(std::uint64_t total, std::chrono::milliseconds timeout) const;
  // Whether a request sits in the record with Pending set (answered or not, it is the record's).
  bool Occupied() const;
  // Launches waiting for their turn or parked.
  std::size_t LaunchesInProgress() const;

  // ---- Misbehaviour ------------------------------------------------------------------------
  void SetReplyMode(ReplyMode mode, std::size_t partialBytes = 2);
  // The next `count` calls of `code` fail with `error` (kEveryCall: all of them).
  void FailCode(DWORD code, DWORD error, int count = kEveryCall);
  // Each call of `code` fails with `error` with the given probability (0 to 1).
  void FailCodeAtRandom(DWORD code, DWORD error, double probability);
  void ClearCodeFailures();
  void SetPathMode(PathMode mode, std::size_t overlongUnits = kMaxPathUnits);
  // The value Pending is set to (default 1; must not be 0), or a random non-zero one per launch.
  void SetPendingValue(std::uint32_t value);
  void UseRandomPendingValues();
  void SetVerdictTimeout(std::chrono::milliseconds timeout);

 private:
  struct CodeFailure {
    DWORD error = 0;
    int count = 0;  // kEveryCall or remaining calls
    double probability = -1.0;
  };

  bool Initialize(const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned,
                  DWORD* error);
  bool Switch(bool guard, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* error);
  bool InjectedFailure(DWORD code, DWORD* error);
  void WriteReply(InitializeReply& reply);
  void WritePath(std::u16string_view path, PathMode mode, std::size_t overlongUnits);
  std::uint32_t NextPendingValue();
  bool WaitForPendingClear(std::chrono::steady_clock::time_point deadline) const;
  void Leave(std::uint64_t ticket);
  void TakeBackRecord();
  LaunchResult Finish(Outcome outcome, std::uint32_t verdict,
                      std::chrono::steady_clock::time_point begin);

  std::unique_ptr<RecordMemory> memory_;
  SharedSlot* slot_ = nullptr;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool guarding_ = false;
  bool handedOut_ = false;  // a handshake has succeeded
  bool orphaned_ = false;   // the record holds a timed-out request not yet answered
  bool takenBack_ = false;  // the driver cleared the parked request itself
  std::deque<std::uint64_t> queue_;
  std::uint64_t nextTicket_ = 0;
  int openHandles_ = 0;
  Statistics stats_;
  std::optional<std::array<std::uint8_t, 16>> lastRequest_;
  std::optional<ReplySent> lastReply_;
  std::chrono::milliseconds verdictTimeout_;
  std::mt19937_64 random_;
  ReplyMode replyMode_ = ReplyMode::Normal;
  std::size_t partialBytes_ = 2;
  PathMode pathMode_ = PathMode::Normal;
  std::size_t overlongUnits_ = kMaxPathUnits;
  std::uint32_t pendingValue_ = 1;
  bool randomPending_ = false;
  std::map<DWORD, CodeFailure> failures_;
};

// Registers the driver image u"vantorflt.sys" with winsim: a service whose binary is that file,
// once started, creates the device \\.\VANTORFLT served by the returned driver. Defined only
// where winsim is the platform.
std::shared_ptr<GuardDriver> InstallGuardDriver(GuardDriver::Options options = {});
