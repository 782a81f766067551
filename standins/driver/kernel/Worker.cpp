// The worker system thread: runs the protocol codes, serves the launches one at a time in arrival
// order through the record, and takes the record back when nobody serves it any more.
#include "GuardDevice.h"

namespace {

// Between two looks at Pending while a request waits. The module's pump sleeps 10 ms when idle,
// so a millisecond here adds little to a launch.
constexpr LONGLONG kPollTicks = kTicksPerMillisecond;

PIRP PopHead(LIST_ENTRY& list) {
  if (IsListEmpty(&list)) return nullptr;
  return CONTAINING_RECORD(RemoveHeadList(&list), IRP, Tail.Overlay.ListEntry);
}

PIRP NextLaunch(GuardDevice& guard) {
  Locked lock(guard.lock);
  return PopHead(guard.launches);
}

bool Guarding(GuardDevice& guard) {
  Locked lock(guard.lock);
  return guard.guarding;
}

bool Unloading(GuardDevice& guard) {
  Locked lock(guard.lock);
  return guard.unloading;
}

bool IsHost(GuardDevice& guard, PFILE_OBJECT file) {
  Locked lock(guard.lock);
  return guard.host == file;
}

void CountLateVerdict(GuardDevice& guard) {
  Locked lock(guard.lock);
  ++guard.counters.lateVerdicts;
}

// Read once Pending has been seen clear: 1 lets the image run, anything else does not.
LaunchOutcome VerdictOutcome(const SharedSlot& record) {
  return __atomic_load_n(&record.Verdict, __ATOMIC_RELAXED) == 1 ? LaunchOutcome::Allowed
                                                                 : LaunchOutcome::Denied;
}

// Ends guarding and empties the record. Runs at a stop code and when the host's handle is gone:
// the module's pump has ended by then, so a request still unanswered would never be answered.
// One answered in the meantime keeps its verdict.
void TakeBack(GuardDevice& guard) {
  {
    Locked lock(guard.lock);
    guard.guarding = false;
  }
  if (guard.parked != nullptr || guard.orphaned) {
    const bool answered = LoadAcquire(guard.record->Pending) == 0;
    if (!answered) StoreRelease(guard.record->Pending, 0);
    if (guard.parked != nullptr) {
      CompleteLaunch(guard, guard.parked,
                     answered ? VerdictOutcome(*guard.record) : LaunchOutcome::LetThrough);
    } else if (answered) {
      CountLateVerdict(guard);
    }
  }
  guard.parked = nullptr;
  guard.orphaned = false;
  ++guard.takeBacks;
  // Guarding is off, so nothing joins the queue any more.
  while (PIRP launch = NextLaunch(guard)) CompleteLaunch(guard, launch, LaunchOutcome::LetThrough);
}

void ReleaseHost(GuardDevice& guard) {
  TakeBack(guard);
  UnmapRecordFromHost(guard);
  Locked lock(guard.lock);
  guard.host = nullptr;
  guard.counters.recordAddress = 0;
}

// Maps the record into the host named by the request, once per host handle; a repeated handshake
// on that handle gets the same address, one on any other handle is refused while the host holds it.
void Handshake(GuardDevice& guard, PIRP irp, PFILE_OBJECT file) {
  PFILE_OBJECT host = nullptr;
  {
    Locked lock(guard.lock);
    host = guard.host;
  }
  if (host != nullptr && host != file) return CompleteRequest(irp, STATUS_DEVICE_BUSY, 0);
  void* out = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
  if (out == nullptr) return CompleteRequest(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  if (host == nullptr) {
    InitializeRequest request;
    memcpy(&request, irp->AssociatedIrp.SystemBuffer, sizeof request);
    const NTSTATUS status = MapRecordIntoHost(guard, request.ProcessId);
    if (!NT_SUCCESS(status)) return CompleteRequest(irp, status, 0);
  }
  InitializeReply reply{};
  reply.SlotAddress = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(guard.hostView));
  memcpy(out, &reply, sizeof reply);
  {
    Locked lock(guard.lock);
    guard.host = file;
    guard.counters.recordAddress = reply.SlotAddress;
    ++guard.counters.handshakes;
  }
  CompleteRequest(irp, STATUS_SUCCESS, sizeof reply);
}

// Start and stop belong to the handle that holds the record.
void RunCode(GuardDevice& guard, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  if (code == IOCTL_GUARD_INITIALIZE) return Handshake(guard, irp, stack->FileObject);
  if (!IsHost(guard, stack->FileObject)) {
    return CompleteRequest(irp, STATUS_INVALID_DEVICE_STATE, 0);
  }
  if (code == IOCTL_GUARD_START) {
    Locked lock(guard.lock);
    guard.guarding = true;
  } else {
    TakeBack(guard);
  }
  CompleteRequest(irp, STATUS_SUCCESS, 0);
}

// Runs what the dispatch routines handed over: the host's close first, then the codes in order.
void ServeCodes(GuardDevice& guard) {
  for (;;) {
    bool hostClosed = false;
    PIRP code = nullptr;
    {
      Locked lock(guard.lock);
      hostClosed = guard.hostClosed;
      guard.hostClosed = false;
      if (!hostClosed) code = PopHead(guard.codes);
    }
    if (hostClosed) {
      ReleaseHost(guard);
    } else if (code != nullptr) {
      RunCode(guard, code);
    } else {
      return;
    }
  }
}

enum class HandBack { Answered, TakenBack, Expired };

// Polls Pending until the module hands the record back, running codes between two looks.
HandBack WaitForHandBack(GuardDevice& guard, LONGLONG deadline) {
  const ULONG takeBacks = guard.takeBacks;
  for (;;) {
    if (LoadAcquire(guard.record->Pending) == 0) return HandBack::Answered;
    ServeCodes(guard);
    if (Unloading(guard)) TakeBack(guard);
    if (guard.takeBacks != takeBacks) return HandBack::TakenBack;
    if (Now() >= deadline) return HandBack::Expired;
    LARGE_INTEGER pause;
    pause.QuadPart = -kPollTicks;  // relative
    KeWaitForSingleObject(&guard.wake, Executive, KernelMode, FALSE, &pause);
  }
}

// Path, terminator, a Verdict that denies should the module hand back without one, then Pending.
void Park(GuardDevice& guard, PIRP irp) {
  const ULONG bytes =
      IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.InputBufferLength;
  char16_t* path = guard.record->ImagePath;
  memcpy(path, irp->AssociatedIrp.SystemBuffer, bytes);
  path[bytes / sizeof(char16_t)] = u'\0';
  __atomic_store_n(&guard.record->Verdict, 0u, __ATOMIC_RELAXED);
  StoreRelease(guard.record->Pending, 1);
  guard.parked = irp;
  Locked lock(guard.lock);
  ++guard.counters.parked;
}

void ServeLaunch(GuardDevice& guard, PIRP irp) {
  const LONGLONG deadline = DeadlineOf(irp);
  // A timed-out request may still sit in the record: its late verdict must not reach this launch.
  if (guard.orphaned) {
    switch (WaitForHandBack(guard, deadline)) {
      case HandBack::Answered:
        guard.orphaned = false;
        CountLateVerdict(guard);
        break;
      case HandBack::TakenBack:  // guarding has ended
        break;
      case HandBack::Expired:
        return CompleteLaunch(guard, irp, LaunchOutcome::TimedOut);
    }
  }
  if (!Guarding(guard)) return CompleteLaunch(guard, irp, LaunchOutcome::LetThrough);
  if (Now() >= deadline) return CompleteLaunch(guard, irp, LaunchOutcome::TimedOut);

  Park(guard, irp);
  switch (WaitForHandBack(guard, deadline)) {
    case HandBack::Answered:
      guard.parked = nullptr;
      return CompleteLaunch(guard, irp, VerdictOutcome(*guard.record));
    case HandBack::TakenBack:  // the take-back completed it
      return;
    case HandBack::Expired:
      // Fail closed. The record stays the module's until it answers.
      guard.parked = nullptr;
      guard.orphaned = true;
      return CompleteLaunch(guard, irp, LaunchOutcome::TimedOut);
  }
}

}  // namespace

void WorkerThread(void* context) {
  GuardDevice& guard = *static_cast<GuardDevice*>(context);
  for (;;) {
    ServeCodes(guard);
    if (Unloading(guard)) break;
    if (PIRP launch = NextLaunch(guard)) {
      ServeLaunch(guard, launch);
    } else {
      KeWaitForSingleObject(&guard.wake, Executive, KernelMode, FALSE, nullptr);
    }
  }
  ReleaseHost(guard);
  for (;;) {
    PIRP code = nullptr;
    {
      Locked lock(guard.lock);
      code = PopHead(guard.codes);
    }
    if (code == nullptr) break;
    CompleteRequest(code, STATUS_DELETE_PENDING, 0);
  }
  DestroyRecord(guard);
  PsTerminateSystemThread(STATUS_SUCCESS);
}

void CompleteLaunch(GuardDevice& guard, PIRP irp, LaunchOutcome outcome) {
  {
    Locked lock(guard.lock);
    GuardCounters& counters = guard.counters;
    switch (outcome) {
      case LaunchOutcome::Allowed:
        ++counters.allowed;
        break;
      case LaunchOutcome::Denied:
        ++counters.denied;
        break;
      case LaunchOutcome::LetThrough:
        ++counters.letThrough;
        break;
      case LaunchOutcome::TimedOut:
        ++counters.timedOut;
        break;
      case LaunchOutcome::None:
        break;
    }
  }
  AnswerLaunch(irp, outcome);
}

void AnswerLaunch(PIRP irp, LaunchOutcome outcome) {
  const auto value = static_cast<std::uint32_t>(outcome);
  memcpy(irp->AssociatedIrp.SystemBuffer, &value, sizeof value);
  CompleteRequest(irp, STATUS_SUCCESS, sizeof value);
}

void CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR bytes) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = bytes;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
}
