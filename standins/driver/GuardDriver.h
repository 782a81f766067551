#pragma once
// GuardDriver: the in-process guard driver. It answers the handshake with the address of a
// shared request record, takes the start and stop codes, and holds each program launch back in
// that record until the module hands the verdict back. The record's rules are GuardCore's (one
// for this and the kernel build); what is this host's own:
//  - The record: the header, then room for kLongestLaunchPath UTF-16 units plus the terminator,
//    mapped below 4 GiB and ending exactly where a no-access guard page begins, so a read or
//    write past the path area faults. One record for the life of the object.
//  - Each launch is the calling thread, blocked in Launch until its outcome is known; the one
//    first in line serves the record itself, polling Pending (briefly yielding, then in short
//    sleeps). Default deadline: Options::verdictTimeout, 10 s.
//  - Handshake: needs a 16-byte input and at least 16 bytes of output, else
//    ERROR_INVALID_PARAMETER; on a handle other than the record's holder, ERROR_BUSY. Start and
//    stop take no buffers (else ERROR_INVALID_PARAMETER) and come from the holder's handle (else
//    ERROR_INVALID_FUNCTION). Unknown codes fail with ERROR_INVALID_FUNCTION.
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

#include "GuardCore.h"
#include "driverlink/Protocol.h"
#include "platform/Win32.h"

class RecordMemory;

class GuardDriver {
 public:
  // Longest path the record holds, in UTF-16 units, and its path area with the terminator.
  static constexpr std::size_t kMaxPathUnits = kLongestLaunchPath;
  static constexpr std::size_t kPathAreaUnits = kMaxPathUnits + 1;
  // FailCode count meaning "every call from now on".
  static constexpr int kEveryCall = -1;

  struct Options {
    std::chrono::milliseconds verdictTimeout{10'000};
    std::uint64_t seed = 0x5EED;  // for the random misbehaviours
  };

  using Outcome = LaunchOutcome;
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
    std::uint64_t refused = 0;          // paths the record cannot carry whole, never parked
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
    ZerosKept,     // a path with zero units inside parked as it came, not refused
  };

  GuardDriver();
  explicit GuardDriver(Options options);
  ~GuardDriver();
  GuardDriver(const GuardDriver&) = delete;
  GuardDriver& operator=(const GuardDriver&) = delete;

  // ---- The device side ---------------------------------------------------------------------
  // One control code sent on `handle` (which open handle it came through; a caller that talks
  // to the object directly is one handle of its own). False with *error set on failure.
  static constexpr char kDirectCallerTag = 0;
  static constexpr const void* kDirectCaller = &kDirectCallerTag;
  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytesReturned, DWORD* error, const void* handle = kDirectCaller);
  void Opened();
  void Closed(const void* handle);
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
  // False, and the deadline unchanged, outside kShortestDeadlineMs..kLongestDeadlineMs.
  bool SetVerdictTimeout(std::chrono::milliseconds timeout);

 private:
  struct CodeFailure {
    DWORD error = 0;
    int count = 0;  // kEveryCall or remaining calls
    double probability = -1.0;
  };
  // What GuardCore asks of this host: the mutex, the steady clock, polling, the misbehaving writer.
  struct Host {
    static constexpr std::int64_t kTicksPerMillisecond = 1'000'000;
    GuardDriver& driver;
    void Lock() { driver.mutex_.lock(); }
    void Unlock() { driver.mutex_.unlock(); }
    std::int64_t Now() const;
    void Pause(int round) const;
    std::uint32_t Park(SharedSlot& record, const char16_t* path, std::size_t units);
    void Changed() { driver.changed_.notify_all(); }
  };

  bool Initialize(const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned,
                  DWORD* error, const void* handle);
  bool Switch(bool guard, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* error,
              const void* handle);
  bool InjectedFailure(DWORD code, DWORD* error);
  void WriteReply(InitializeReply& reply);
  std::uint32_t NextPendingValue();

  std::unique_ptr<RecordMemory> memory_;
  SharedSlot* slot_ = nullptr;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Host host_{*this};
  GuardCore<Host> core_;
  std::deque<std::uint64_t> queue_;
  std::uint64_t nextTicket_ = 0;
  int openHandles_ = 0;
  Statistics stats_;  // the codes, handles and loads; the launches are the core's
  std::optional<std::array<std::uint8_t, 16>> lastRequest_;
  std::optional<ReplySent> lastReply_;
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
