// The worker system thread: runs the protocol codes, serves the launches one at a time in arrival
// order through the core, and takes the record back when nobody serves it any more.
#include "GuardDevice.h"

namespace {

// Between two looks at Pending while a request waits. The module's pump sleeps 10 ms when idle,
// so a millisecond here adds little to a launch.
constexpr LONGLONG kPollTicks = kTicksPerMillisecond;

bool Unloading(GuardDevice& guard) {
  Locked lock(guard.lock);
  return guard.unloading;
}

// Guarding has ended: what still waits in line is let through.
void LetThroughQueued(GuardDevice& guard) {
  while (PIRP launch = Dequeue(guard.launches)) {
    {
      Locked lock(guard.lock);
      guard.core.Count(LaunchOutcome::LetThrough);
    }
    AnswerLaunch(launch, LaunchOutcome::LetThrough);
  }
}

void ReleaseHost(GuardDevice& guard, PFILE_OBJECT file) {
  {
    Locked lock(guard.lock);
    if (!guard.core.HandleGone(file)) return;
    guard.core.Counters().recordAddress = 0;
  }
  LetThroughQueued(guard);
  UnmapRecordFromHost(guard);
}

// Maps the record into the process that sent the handshake, once per holder; a repeated
// handshake on the holder's handle gets the same address, one on any other handle is refused
// while the holder has it.
NTSTATUS Handshake(GuardDevice& guard, PIRP irp, PFILE_OBJECT file, HANDLE requester) {
  void* out = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
  if (out == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  bool mapped = false;
  {
    Locked lock(guard.lock);
    if (!guard.core.HandOut(file)) return STATUS_DEVICE_BUSY;
    mapped = guard.hostView != nullptr;
  }
  const NTSTATUS status = mapped ? STATUS_SUCCESS : MapRecordIntoHost(guard, requester);
  InitializeReply reply{};
  reply.SlotAddress = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(guard.hostView));
  Locked lock(guard.lock);
  if (!NT_SUCCESS(status)) {
    guard.core.HandleGone(file);
    return status;
  }
  memcpy(out, &reply, sizeof reply);
  guard.core.Counters().recordAddress = reply.SlotAddress;
  return STATUS_SUCCESS;
}

// Start and stop belong to the handle that holds the record.
void RunCode(GuardDevice& guard, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  NTSTATUS status = STATUS_SUCCESS;
  if (code == IOCTL_GUARD_INITIALIZE) {
    status = Handshake(guard, irp, stack->FileObject, ContextOf<HANDLE>(irp));
    return CompleteRequest(irp, status, NT_SUCCESS(status) ? sizeof(InitializeReply) : 0);
  }
  bool done = false;
  {
    Locked lock(guard.lock);
    done = code == IOCTL_GUARD_START ? guard.core.Start(stack->FileObject)
                                     : guard.core.Stop(stack->FileObject);
  }
  if (done && code == IOCTL_GUARD_STOP) LetThroughQueued(guard);
  CompleteRequest(irp, done ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_STATE, 0);
}

// Runs what the dispatch routines handed over: the holder's close first, then the codes in order.
void ServeCodes(GuardDevice& guard) {
  for (;;) {
    PFILE_OBJECT gone = nullptr;
    {
      Locked lock(guard.lock);
      gone = guard.hostGone;
      guard.hostGone = nullptr;
    }
    if (gone != nullptr) {
      ReleaseHost(guard, gone);
    } else if (PIRP code = Dequeue(guard.codes)) {
      RunCode(guard, code);
    } else {
      return;
    }
  }
}

// Takes the record back for good: nothing will serve it once the driver unloads.
void EndGuarding(GuardDevice& guard) {
  {
    Locked lock(guard.lock);
    guard.core.TakeBack();
  }
  LetThroughQueued(guard);
}

void ServeLaunch(GuardDevice& guard, PIRP irp) {
  const ULONG bytes =
      IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.InputBufferLength;
  guard.serving = irp;
  guard.servingInRecord = false;
  GuardCore<KernelHost>::Served served{LaunchOutcome::None, kNoVerdict};
  {
    Locked lock(guard.lock);
    served = guard.core.Serve(static_cast<const char16_t*>(irp->AssociatedIrp.SystemBuffer),
                              bytes / sizeof(char16_t), ContextOf<LONGLONG>(irp));
  }
  // Once in the record, the launch could be cancelled while it waited: then it is completed.
  if (guard.servingInRecord) irp = Withdraw(guard.inRecord, irp);
  guard.serving = nullptr;
  if (irp != nullptr) AnswerLaunch(irp, served.outcome);
}

}  // namespace

void KernelHost::Lock() {
  AcquireLock(guard.lock);
}

void KernelHost::Unlock() {
  ReleaseLock(guard.lock);
}

// While the worker waits for the module it runs the codes that came meanwhile (a stop code takes
// the record back) and notices an unload.
void KernelHost::Pause(int) {
  ServeCodes(guard);
  if (Unloading(guard)) EndGuarding(guard);
  LARGE_INTEGER pause;
  pause.QuadPart = -kPollTicks;  // relative
  KeWaitForSingleObject(&guard.wake, Executive, KernelMode, FALSE, &pause);
}

// The path is copied from the launch's buffer before the launch becomes cancelable.
std::uint32_t KernelHost::Park(SharedSlot& record, const char16_t* path, std::size_t units) {
  WriteWholePath(record, path, units);
  Enqueue(guard.inRecord, guard.serving);
  guard.servingInRecord = true;
  return 1;
}

void WorkerThread(void* context) {
  GuardDevice& guard = *static_cast<GuardDevice*>(context);
  for (;;) {
    ServeCodes(guard);
    if (Unloading(guard)) break;
    if (PIRP launch = Dequeue(guard.launches)) {
      ServeLaunch(guard, launch);
    } else {
      KeWaitForSingleObject(&guard.wake, Executive, KernelMode, FALSE, nullptr);
    }
  }
  EndGuarding(guard);
  UnmapRecordFromHost(guard);
  while (PIRP code = Dequeue(guard.codes)) CompleteRequest(code, STATUS_DELETE_PENDING, 0);
  PsTerminateSystemThread(STATUS_SUCCESS);
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
