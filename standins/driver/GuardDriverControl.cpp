// The device side of the guard driver stand-in: construction, control codes, handshake,
// handle accounting and the misbehaviour switches.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "GuardDriver.h"
#include "RecordMemory.h"

GuardDriver::GuardDriver() : GuardDriver(Options{}) {}

GuardDriver::GuardDriver(Options options)
    : memory_(std::make_unique<RecordMemory>(kRecordBytes)),
      slot_(static_cast<SharedSlot*>(memory_->Record())),
      core_(host_, slot_),
      random_(options.seed) {
  std::memset(slot_, 0, kRecordBytes);
  if (!SetVerdictTimeout(options.verdictTimeout)) throw std::invalid_argument("verdictTimeout");
}

GuardDriver::~GuardDriver() = default;

bool GuardDriver::Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                          DWORD* bytesReturned, DWORD* error, const void* handle) {
  if (bytesReturned != nullptr) *bytesReturned = 0;
  bool done = false;
  if (InjectedFailure(code, error)) {
    done = false;
  } else if (code == IOCTL_GUARD_INITIALIZE) {
    done = Initialize(in, inSize, out, outSize, bytesReturned, error, handle);
  } else if (code == IOCTL_GUARD_START || code == IOCTL_GUARD_STOP) {
    done = Switch(code == IOCTL_GUARD_START, in, inSize, out, outSize, error, handle);
  } else {
    *error = ERROR_INVALID_FUNCTION;
  }
  std::lock_guard lock(mutex_);
  if (code == IOCTL_GUARD_INITIALIZE) ++stats_.initializeCodes;
  if (code == IOCTL_GUARD_START) ++stats_.startCodes;
  if (code == IOCTL_GUARD_STOP) ++stats_.stopCodes;
  if (!done) ++stats_.failedCodes;
  return done;
}

bool GuardDriver::InjectedFailure(DWORD code, DWORD* error) {
  std::lock_guard lock(mutex_);
  const auto found = failures_.find(code);
  if (found == failures_.end()) return false;
  CodeFailure& failure = found->second;
  if (failure.probability >= 0.0) {
    if (std::uniform_real_distribution<double>(0.0, 1.0)(random_) >= failure.probability) {
      return false;
    }
  } else if (failure.count != kEveryCall) {
    if (failure.count == 0) return false;
    --failure.count;
  }
  *error = failure.error;
  return true;
}

bool GuardDriver::Initialize(const void* in, DWORD inSize, void* out, DWORD outSize,
                             DWORD* bytesReturned, DWORD* error, const void* handle) {
  if (in == nullptr || inSize != sizeof(InitializeRequest) || out == nullptr ||
      outSize < sizeof(InitializeReply)) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  std::array<std::uint8_t, 16> request{};
  std::memcpy(request.data(), in, request.size());

  InitializeReply reply{};
  std::size_t written = sizeof reply;
  {
    std::lock_guard lock(mutex_);
    if (!core_.HandOut(handle)) {
      *error = ERROR_BUSY;
      return false;
    }
    lastRequest_ = request;
    if (replyMode_ == ReplyMode::Untouched) {
      lastReply_ = ReplySent{InitializeReply{}, 0};
      return true;
    }
    if (replyMode_ == ReplyMode::Partial) written = std::min(partialBytes_, sizeof reply);
    WriteReply(reply);
    lastReply_ = ReplySent{reply, written};
  }
  std::memcpy(out, &reply, written);
  if (bytesReturned != nullptr) *bytesReturned = static_cast<DWORD>(written);
  return true;
}

// Called with mutex_ held.
void GuardDriver::WriteReply(InitializeReply& reply) {
  switch (replyMode_) {
    case ReplyMode::Normal:
    case ReplyMode::Partial:
    case ReplyMode::Untouched:
      reply.SlotAddress = SlotAddress();
      break;
    case ReplyMode::Misaligned:
      reply.SlotAddress = SlotAddress() + 2;
      break;
    case ReplyMode::ZeroAddress:
      reply.SlotAddress = 0;
      for (std::size_t i = 0; i < sizeof reply.Rest; ++i) {
        reply.Rest[i] = static_cast<std::uint8_t>(0xA0 + i);
      }
      break;
    case ReplyMode::Garbage: {
      auto* bytes = reinterpret_cast<std::uint8_t*>(&reply);
      do {
        for (std::size_t i = 0; i < sizeof reply; ++i) {
          bytes[i] = static_cast<std::uint8_t>(random_() & 0xFF);
        }
      } while (std::all_of(bytes, bytes + sizeof reply, [](std::uint8_t b) { return b == 0; }));
      break;
    }
  }
}

bool GuardDriver::Switch(bool guard, const void* in, DWORD inSize, void* out, DWORD outSize,
                         DWORD* error, const void* handle) {
  if (in != nullptr || inSize != 0 || out != nullptr || outSize != 0) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  std::lock_guard lock(mutex_);
  if (!(guard ? core_.Start(handle) : core_.Stop(handle))) {
    *error = ERROR_INVALID_FUNCTION;
    return false;
  }
  return true;
}

void GuardDriver::Opened() {
  std::lock_guard lock(mutex_);
  ++openHandles_;
  ++stats_.opens;
}

void GuardDriver::Closed(const void* handle) {
  std::lock_guard lock(mutex_);
  --openHandles_;
  ++stats_.closes;
  core_.HandleGone(handle);
}

void GuardDriver::Loaded() {
  std::lock_guard lock(mutex_);
  ++stats_.loads;
}

bool GuardDriver::Guarding() const {
  std::lock_guard lock(mutex_);
  return core_.Guarding();
}

std::uint32_t GuardDriver::SlotAddress() const {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(slot_));
}

GuardDriver::Statistics GuardDriver::Stats() const {
  std::lock_guard lock(mutex_);
  Statistics stats = stats_;
  const GuardCounters& launches = core_.Counters();
  stats.allowed = launches.allowed;
  stats.denied = launches.denied;
  stats.letThrough = launches.letThrough;
  stats.timedOut = launches.timedOut;
  stats.refused = launches.refused;
  stats.lateVerdicts = launches.lateVerdicts;
  stats.strangeVerdicts = launches.strangeVerdicts;
  stats.parked = launches.parked;
  return stats;
}

std::optional<std::array<std::uint8_t, 16>> GuardDriver::LastInitializeRequest() const {
  std::lock_guard lock(mutex_);
  return lastRequest_;
}

std::optional<GuardDriver::ReplySent> GuardDriver::LastReply() const {
  std::lock_guard lock(mutex_);
  return lastReply_;
}

int GuardDriver::OpenHandles() const {
  std::lock_guard lock(mutex_);
  return openHandles_;
}

void GuardDriver::SetReplyMode(ReplyMode mode, std::size_t partialBytes) {
  std::lock_guard lock(mutex_);
  replyMode_ = mode;
  partialBytes_ = partialBytes;
}

void GuardDriver::FailCode(DWORD code, DWORD error, int count) {
  std::lock_guard lock(mutex_);
  failures_[code] = CodeFailure{error, count, -1.0};
}

void GuardDriver::FailCodeAtRandom(DWORD code, DWORD error, double probability) {
  std::lock_guard lock(mutex_);
  failures_[code] = CodeFailure{error, 0, probability};
}

void GuardDriver::ClearCodeFailures() {
  std::lock_guard lock(mutex_);
  failures_.clear();
}

void GuardDriver::SetPathMode(PathMode mode, std::size_t overlongUnits) {
  std::lock_guard lock(mutex_);
  pathMode_ = mode;
  overlongUnits_ = std::min(overlongUnits, kMaxPathUnits);
}

void GuardDriver::SetPendingValue(std::uint32_t value) {
  std::lock_guard lock(mutex_);
  pendingValue_ = value == 0 ? 1 : value;
  randomPending_ = false;
}

void GuardDriver::UseRandomPendingValues() {
  std::lock_guard lock(mutex_);
  randomPending_ = true;
}

bool GuardDriver::SetVerdictTimeout(std::chrono::milliseconds timeout) {
  std::lock_guard lock(mutex_);
  const auto milliseconds = static_cast<std::uint32_t>(
      std::clamp<std::int64_t>(timeout.count(), 0, std::int64_t{kLongestDeadlineMs} + 1));
  return core_.SetDeadline(milliseconds);
}
