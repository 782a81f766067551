// The device's major functions. None of them waits for the module: what needs the record is
// pended for the worker, everything else is answered at once.
#include "GuardDevice.h"

namespace {

NTSTATUS Finish(PIRP irp, NTSTATUS status, ULONG_PTR bytes = 0) {
  CompleteRequest(irp, status, bytes);
  return status;
}

NTSTATUS Pend(GuardDevice& guard, IrpQueue& queue, PIRP irp) {
  IoMarkIrpPending(irp);
  Enqueue(queue, irp);
  KeSetEvent(&guard.wake, IO_NO_INCREMENT, FALSE);
  return STATUS_PENDING;
}

NTSTATUS QueueLaunch(GuardDevice& guard, PIRP irp, ULONG inBytes, ULONG outBytes) {
  if (outBytes < sizeof(std::uint32_t) || inBytes % sizeof(char16_t) != 0) {
    return Finish(irp, STATUS_INVALID_PARAMETER);
  }
  const auto* path = static_cast<const char16_t*>(irp->AssociatedIrp.SystemBuffer);
  LaunchOutcome outcome = LaunchOutcome::None;
  {
    Locked lock(guard.lock);
    if (guard.unloading) {
      outcome = LaunchOutcome::LetThrough;
    } else {
      const auto admission = guard.core.Admit(path, inBytes / sizeof(char16_t));
      outcome = admission.outcome;
      if (outcome == LaunchOutcome::None) {
        SetContext(irp, admission.deadline);
        return Pend(guard, guard.launches, irp);
      }
    }
  }
  AnswerLaunch(irp, outcome);
  return STATUS_SUCCESS;
}

NTSTATUS QueueCode(GuardDevice& guard, PIRP irp, HANDLE requester = nullptr) {
  SetContext(irp, requester);
  {
    Locked lock(guard.lock);
    if (!guard.unloading) return Pend(guard, guard.codes, irp);
  }
  return Finish(irp, STATUS_DELETE_PENDING);
}

// The handshake is pended with the id of the process that sent it, taken from the dispatch
// routine's context (a top-level driver's runs in the requesting thread's): that process gets the
// record, and a request naming any other is refused. The id stays that process's while its
// request is pending, since a process does not end before its requests do.
NTSTATUS QueueHandshake(GuardDevice& guard, PIRP irp, ULONG inBytes, ULONG outBytes) {
  // The request in the system buffer, the reply through the MDL.
  if (inBytes != sizeof(InitializeRequest) || outBytes < sizeof(InitializeReply) ||
      irp->MdlAddress == nullptr) {
    return Finish(irp, STATUS_INVALID_PARAMETER);
  }
  InitializeRequest request;
  memcpy(&request, irp->AssociatedIrp.SystemBuffer, sizeof request);
  const HANDLE requester = PsGetCurrentProcessId();
  if (request.ProcessId != reinterpret_cast<ULONG_PTR>(requester)) {
    return Finish(irp, STATUS_ACCESS_DENIED);
  }
  return QueueCode(guard, irp, requester);
}

NTSTATUS ReadCounters(GuardDevice& guard, PIRP irp, ULONG outBytes) {
  if (outBytes < sizeof(GuardCounters)) return Finish(irp, STATUS_BUFFER_TOO_SMALL);
  GuardCounters counters;
  {
    Locked lock(guard.lock);
    counters = guard.core.Counters();
  }
  counters.cancelled =
      static_cast<std::uint64_t>(__atomic_load_n(&guard.cancelled, __ATOMIC_RELAXED));
  memcpy(irp->AssociatedIrp.SystemBuffer, &counters, sizeof counters);
  return Finish(irp, STATUS_SUCCESS, sizeof counters);
}

NTSTATUS SetDeadline(GuardDevice& guard, PIRP irp, ULONG inBytes) {
  std::uint32_t milliseconds = 0;
  if (inBytes != sizeof milliseconds) return Finish(irp, STATUS_INVALID_PARAMETER);
  memcpy(&milliseconds, irp->AssociatedIrp.SystemBuffer, sizeof milliseconds);
  Locked lock(guard.lock);
  return Finish(irp,
                guard.core.SetDeadline(milliseconds) ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER);
}

}  // namespace

NTSTATUS DispatchCreate(PDEVICE_OBJECT, PIRP irp) {
  return Finish(irp, STATUS_SUCCESS);
}

// The last handle on a file object is gone: what it still has pended is completed, and when it
// held the record, the worker takes the record back (the host's pump is gone with it). Runs at
// cleanup and again at close, which is all Wine sends.
NTSTATUS DispatchCleanup(PDEVICE_OBJECT device, PIRP irp) {
  GuardDevice& guard = GuardOf(device);
  const PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  while (PIRP pended = Dequeue(guard.launches, file)) {
    __atomic_add_fetch(&guard.cancelled, 1, __ATOMIC_RELAXED);
    CompleteRequest(pended, STATUS_CANCELLED, 0);
  }
  while (PIRP pended = Dequeue(guard.codes, file)) CompleteRequest(pended, STATUS_CANCELLED, 0);
  {
    Locked lock(guard.lock);
    if (guard.core.Holds(file)) {
      guard.hostGone = file;
      KeSetEvent(&guard.wake, IO_NO_INCREMENT, FALSE);
    }
  }
  return Finish(irp, STATUS_SUCCESS);
}

NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  GuardDevice& guard = GuardOf(device);
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG inBytes = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outBytes = stack->Parameters.DeviceIoControl.OutputBufferLength;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_GUARD_LAUNCH:
      return QueueLaunch(guard, irp, inBytes, outBytes);
    case IOCTL_GUARD_INITIALIZE:
      return QueueHandshake(guard, irp, inBytes, outBytes);
    case IOCTL_GUARD_START:
    case IOCTL_GUARD_STOP:
      if (inBytes != 0 || outBytes != 0) return Finish(irp, STATUS_INVALID_PARAMETER);
      return QueueCode(guard, irp);
    case IOCTL_GUARD_COUNTERS:
      return ReadCounters(guard, irp, outBytes);
    case IOCTL_GUARD_SET_DEADLINE:
      return SetDeadline(guard, irp, inBytes);
    default:
      return Finish(irp, STATUS_INVALID_DEVICE_REQUEST);
  }
}
