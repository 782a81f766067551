#pragma once
// vantorflt.sys: the guard driver as a Windows kernel-mode driver. One device, \Device\VANTORFLT,
// serves the module's three codes and takes program launches through a code of its own. The
// record's rules are GuardCore's; what is kernel here:
//  - The record is a section created at load and mapped into the driver's own process (the
//    system process on Windows, winedevice.exe under Wine). The initialize code maps it into the
//    process that sent it, taken from the IRP (a ProcessId in the request naming another process
//    is refused), below 4 GiB; it stays there until that handle goes. Only the worker thread
//    touches the record, so it is always in the right process.
//  - Dispatch routines never wait for the module: a launch is let through or refused at once,
//    or pended in a cancel-safe queue; the three protocol codes are pended too and run by the
//    worker between two polls, so a stop code never waits for a verdict. A pended request whose
//    caller cancels it, or whose handle is cleaned up, is completed at once (STATUS_CANCELLED);
//    the launch parked in the record stays cancelable while it waits for its verdict.
//  - One worker system thread serves the launches in arrival order, polling Pending in short
//    waits. Unload waits for it, since a thread outliving the driver's code would crash the
//    process that hosts the driver.
//  - The device admits SYSTEM and Administrators only, and checks that on every open, relative
//    names included (FILE_DEVICE_SECURE_OPEN).
#include <new>

#include "GuardCore.h"
#include "Kernel.h"
#include "LaunchProtocol.h"

struct GuardDevice;

// What the core asks of the kernel: the lock, interrupt time, a pause that runs the protocol
// codes while the worker waits for the module, and the writer that makes the parked launch
// cancelable once its path is in the record.
struct KernelHost {
  static constexpr std::int64_t kTicksPerMillisecond = ::kTicksPerMillisecond;
  GuardDevice& guard;
  void Lock();
  void Unlock();
  std::int64_t Now() const { return ::Now(); }
  void Pause(int round);
  std::uint32_t Park(SharedSlot& record, const char16_t* path, std::size_t units);
  void Changed() {}
};

// A cancel-safe queue of pended IRPs in arrival order (IrpQueue.cpp).
struct IrpQueue {
  LIST_ENTRY irps;
  LONG64* cancelled;  // counts the IRPs its cancel routine completes; null: not counted
};
void InitializeQueue(IrpQueue& queue, LONG64* cancelled);
// Queues an IRP marked pending; one already cancelled is completed instead.
void Enqueue(IrpQueue& queue, PIRP irp);
// The first IRP (of `file`, when given), or null.
PIRP Dequeue(IrpQueue& queue, PFILE_OBJECT file = nullptr);
// The IRP back from the queue, or null when it was cancelled meanwhile.
PIRP Withdraw(IrpQueue& queue, PIRP irp);

// A pended request carries a value of its own in the IRP's driver context from its arrival: a
// launch its deadline (interrupt time), a handshake the id of the process that sent it. The queue
// an IRP waits in takes the last slot.
static_assert(sizeof(IRP::Tail.Overlay.DriverContext) - sizeof(PVOID) >= sizeof(LONGLONG));
template <typename Value>
void SetContext(PIRP irp, Value value) {
  static_assert(sizeof value <= sizeof(LONGLONG));
  memcpy(irp->Tail.Overlay.DriverContext, &value, sizeof value);
}
template <typename Value>
Value ContextOf(PIRP irp) {
  Value value{};
  memcpy(&value, irp->Tail.Overlay.DriverContext, sizeof value);
  return value;
}

struct GuardDevice {
  GuardDevice(HANDLE recordSection, SharedSlot* recordView)
      : section(recordSection), record(recordView) {
    InitializeLock(lock);
    KeInitializeEvent(&wake, SynchronizationEvent, FALSE);
    InitializeQueue(launches, &cancelled);
    InitializeQueue(codes, nullptr);
    InitializeQueue(inRecord, nullptr);
  }

  // The worker's alone; first, since the core is made with the record.
  HANDLE section;
  SharedSlot* record;  // the driver's own view
  HANDLE worker = nullptr;
  HANDLE hostProcess = nullptr;
  void* hostView = nullptr;
  IrpQueue inRecord;  // the launch being served, once its path is in the record
  PIRP serving = nullptr;
  bool servingInRecord = false;

  // Shared by the dispatch routines and the worker; held under `lock`.
  KSEMAPHORE lock;
  KEVENT wake;                      // set when there is work for the worker
  IrpQueue launches;                // waiting for their turn
  IrpQueue codes;                   // protocol codes for the worker
  PFILE_OBJECT hostGone = nullptr;  // the holder's handle closed; the worker has not yet seen it
  bool unloading = false;
  LONG64 cancelled = 0;  // launches cancelled in line (atomic: counted at up to DISPATCH_LEVEL)
  KernelHost host{*this};
  GuardCore<KernelHost> core{host, record};
};

// GuardDevice of the one device object (its extension).
inline GuardDevice& GuardOf(PDEVICE_OBJECT device) {
  return *static_cast<GuardDevice*>(device->DeviceExtension);
}

// Dispatch.cpp: the device's major functions.
DRIVER_DISPATCH DispatchCreate;
DRIVER_DISPATCH DispatchCleanup;
DRIVER_DISPATCH DispatchControl;

// Record.cpp: the section, its views and the device's security.
NTSTATUS CreateRecord(HANDLE* section, SharedSlot** record);
void DestroyRecord(HANDLE section, SharedSlot* record);
NTSTATUS MapRecordIntoHost(GuardDevice& guard, HANDLE processId);
void UnmapRecordFromHost(GuardDevice& guard);
NTSTATUS AdmitAdministratorsOnly(PDEVICE_OBJECT device);

// Worker.cpp: the thread that serves launches and protocol codes.
KSTART_ROUTINE WorkerThread;

// Completes a launch with its outcome.
void AnswerLaunch(PIRP irp, LaunchOutcome outcome);
// Completes any request with a status and the number of bytes written back.
void CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR bytes);
