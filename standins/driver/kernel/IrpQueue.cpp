// The cancel-safe queues: IRPs in a list of our own with a cancel routine set while they wait,
// both guarded by the I/O manager's cancel spin lock, which IoCancelIrp holds while it calls the
// routine (and which ntoskrnl.exe exports on x86 and x64 alike). An IRP leaves a queue either
// through the cancel routine or with its routine cleared, never both.
#include "GuardDevice.h"

namespace {

// The queue an IRP waits in, kept in the driver context's last slot while it waits.
IrpQueue& QueueOf(PIRP irp) {
  return *static_cast<IrpQueue*>(irp->Tail.Overlay.DriverContext[3]);
}

void Cancelled(IrpQueue& queue, PIRP irp) {
  if (queue.cancelled != nullptr) __atomic_add_fetch(queue.cancelled, 1, __ATOMIC_RELAXED);
  CompleteRequest(irp, STATUS_CANCELLED, 0);
}

// Called with the cancel spin lock held and the IRP's cancel routine already cleared.
void NTAPI CancelWaiting(PDEVICE_OBJECT, PIRP irp) {
  RemoveEntryList(&irp->Tail.Overlay.ListEntry);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  Cancelled(QueueOf(irp), irp);
}

// With the cancel spin lock held: takes the IRP out unless its cancel routine owns it.
bool TakeOut(PIRP irp) {
  if (IoSetCancelRoutine(irp, nullptr) == nullptr) return false;
  RemoveEntryList(&irp->Tail.Overlay.ListEntry);
  return true;
}

}  // namespace

void InitializeQueue(IrpQueue& queue, LONG64* cancelled) {
  InitializeListHead(&queue.irps);
  queue.cancelled = cancelled;
}

void Enqueue(IrpQueue& queue, PIRP irp) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  irp->Tail.Overlay.DriverContext[3] = &queue;
  InsertTailList(&queue.irps, &irp->Tail.Overlay.ListEntry);
  IoSetCancelRoutine(irp, CancelWaiting);
  // Cancelled before the routine was set: IoCancelIrp found none to call, so it is ours to end.
  const bool cancelled = irp->Cancel && TakeOut(irp);
  IoReleaseCancelSpinLock(irql);
  if (cancelled) Cancelled(queue, irp);
}

PIRP Dequeue(IrpQueue& queue, PFILE_OBJECT file) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  PIRP found = nullptr;
  for (LIST_ENTRY* entry = queue.irps.Flink; entry != &queue.irps && found == nullptr;
       entry = entry->Flink) {
    const PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
    if (file != nullptr && IoGetCurrentIrpStackLocation(irp)->FileObject != file) continue;
    if (TakeOut(irp)) found = irp;
  }
  IoReleaseCancelSpinLock(irql);
  return found;
}

PIRP Withdraw(IrpQueue& queue, PIRP irp) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  bool waiting = false;  // compared by address only: a cancelled IRP may be gone already
  for (LIST_ENTRY* entry = queue.irps.Flink; entry != &queue.irps; entry = entry->Flink) {
    waiting = waiting || CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry) == irp;
  }
  const bool taken = waiting && TakeOut(irp);
  IoReleaseCancelSpinLock(irql);
  return taken ? irp : nullptr;
}
