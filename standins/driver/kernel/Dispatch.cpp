// The device's major functions. None of them waits: what needs the record is pended and handed to
// the worker, everything else is answered at once.
#include "GuardDevice.h"

namespace {

// A path the record cannot carry whole: longer than its path area, or with a zero unit inside,
// where the module's reading would stop and see another file.
bool FitsRecord(const char16_t* path, ULONG units) {
  if (units > kLongestLaunchPath) return false;
  for (ULONG i = 0; i < units; ++i) {
    if (path[i] == u'\0') return false;
  }
  return true;
}

NTSTATUS Pend(GuardDevice& guard, LIST_ENTRY& queue, PIRP irp) {
  IoMarkIrpPending(irp);
  InsertTailList(&queue, &irp->Tail.Overlay.ListEntry);
  KeSetEvent(&guard.wake, IO_NO_INCREMENT, FALSE);
  return STATUS_PENDING;
}

NTSTATUS Finish(PIRP irp, NTSTATUS status, ULONG_PTR bytes = 0) {
  CompleteRequest(irp, status, bytes);
  return status;
}

NTSTATUS QueueLaunch(GuardDevice& guard, PIRP irp, ULONG inBytes, ULONG outBytes) {
  if (outBytes < sizeof(std::uint32_t) || inBytes % sizeof(char16_t) != 0) {
    return Finish(irp, STATUS_INVALID_PARAMETER);
  }
  const auto* path = static_cast<const char16_t*>(irp->AssociatedIrp.SystemBuffer);
  const bool fits = FitsRecord(path, inBytes / sizeof(char16_t));
  LaunchOutcome outcome = LaunchOutcome::LetThrough;
  {
    Locked lock(guard.lock);
    ++guard.counters.launches;
    if (guard.guarding && !guard.unloading) {
      if (fits) {
        SetDeadline(irp, Now() + guard.deadlineTicks);
        return Pend(guard, guard.launches, irp);
      }
      ++guard.counters.refused;
      outcome = LaunchOutcome::Denied;
    } else {
      ++guard.counters.letThrough;
    }
  }
  AnswerLaunch(irp, outcome);
  return STATUS_SUCCESS;
}

NTSTATUS QueueCode(GuardDevice& guard, PIRP irp) {
  {
    Locked lock(guard.lock);
    if (!guard.unloading) return Pend(guard, guard.codes, irp);
  }
  return Finish(irp, STATUS_DELETE_PENDING);
}

NTSTATUS ReadCounters(GuardDevice& guard, PIRP irp, ULONG outBytes) {
  if (outBytes < sizeof(GuardCounters)) return Finish(irp, STATUS_BUFFER_TOO_SMALL);
  GuardCounters counters;
  {
    Locked lock(guard.lock);
    counters = guard.counters;
  }
  memcpy(irp->AssociatedIrp.SystemBuffer, &counters, sizeof counters);
  return Finish(irp, STATUS_SUCCESS, sizeof counters);
}

NTSTATUS SetDeadlineSwitch(GuardDevice& guard, PIRP irp, ULONG inBytes) {
  std::uint32_t milliseconds = 0;
  if (inBytes != sizeof milliseconds) return Finish(irp, STATUS_INVALID_PARAMETER);
  memcpy(&milliseconds, irp->AssociatedIrp.SystemBuffer, sizeof milliseconds);
  Locked lock(guard.lock);
  guard.deadlineTicks = milliseconds * kTicksPerMillisecond;
  return Finish(irp, STATUS_SUCCESS);
}

}  // namespace

NTSTATUS DispatchCreate(PDEVICE_OBJECT, PIRP irp) {
  return Finish(irp, STATUS_SUCCESS);
}

// Cleanup and close alike: the host's handle going away means its pump is gone too.
NTSTATUS DispatchClose(PDEVICE_OBJECT device, PIRP irp) {
  GuardDevice& guard = GuardOf(device);
  const PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  {
    Locked lock(guard.lock);
    if (file == guard.host) {
      guard.hostClosed = true;
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
      // The request in the system buffer, the reply through the MDL.
      if (inBytes != sizeof(InitializeRequest) || outBytes < sizeof(InitializeReply) ||
          irp->MdlAddress == nullptr) {
        return Finish(irp, STATUS_INVALID_PARAMETER);
      }
      return QueueCode(guard, irp);
    case IOCTL_GUARD_START:
    case IOCTL_GUARD_STOP:
      if (inBytes != 0 || outBytes != 0) return Finish(irp, STATUS_INVALID_PARAMETER);
      return QueueCode(guard, irp);
    case IOCTL_GUARD_COUNTERS:
      return ReadCounters(guard, irp, outBytes);
    case IOCTL_GUARD_SET_DEADLINE:
      return SetDeadlineSwitch(guard, irp, inBytes);
    default:
      return Finish(irp, STATUS_INVALID_DEVICE_REQUEST);
  }
}
