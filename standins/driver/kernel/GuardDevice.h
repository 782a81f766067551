#pragma once
// vantorflt.sys: the guard driver as a Windows kernel-mode driver. One device, \Device\VANTORFLT,
// serves the module's three codes and takes program launches through a code of its own.
//
// How it works:
//  - The record is a section created at load and mapped into the driver's own process (the
//    system process on Windows, winedevice.exe under Wine). The initialize code maps it into the
//    host process named by the request, below 4 GiB; it stays there until the host's handle is
//    closed. Only the worker thread touches the record, so it is always in the right process.
//  - Dispatch routines never wait: a launch is let through at once when nothing is guarding,
//    refused at once when the record cannot carry its path, and otherwise pended and queued.
//    The three protocol codes are pended too and run by the worker between two polls, so a stop
//    code never waits for a verdict.
//  - One worker system thread serves the launches in arrival order: it parks one in the record,
//    polls Pending in short waits until the module hands it back, and completes it.
//  - A stop code, or the close of the host's handle, comes only when nobody serves the record any
//    more: the worker then takes the record back (a request still unanswered is let through) and
//    lets every queued launch through.
#include "Kernel.h"
#include "LaunchProtocol.h"

struct GuardDevice {
  // Shared by the dispatch routines and the worker; held under `lock`.
  KSEMAPHORE lock;
  KEVENT wake;          // set when there is work for the worker
  LIST_ENTRY launches;  // pended launches, in arrival order
  LIST_ENTRY codes;     // pended protocol codes, in arrival order
  PFILE_OBJECT host;    // the handle the record was handed to, null when none
  bool hostClosed;      // the host's handle is gone; the worker has not yet taken the record back
  bool guarding;
  bool unloading;
  LONGLONG deadlineTicks;  // for launches arriving from now on
  GuardCounters counters;

  // The worker's alone.
  HANDLE worker;
  HANDLE section;
  SharedSlot* record;  // the driver's own view
  HANDLE hostProcess;
  void* hostView;
  PIRP parked;      // the launch whose request is in the record
  bool orphaned;    // a timed-out request is in the record, not yet handed back
  ULONG takeBacks;  // counts records taken back, so a waiting launch notices one
};

// GuardDevice of the one device object (its extension).
inline GuardDevice& GuardOf(PDEVICE_OBJECT device) {
  return *static_cast<GuardDevice*>(device->DeviceExtension);
}

// A launch carries its deadline (interrupt time) in the IRP's driver context from its arrival.
static_assert(sizeof(IRP::Tail.Overlay.DriverContext) >= sizeof(LONGLONG));
inline void SetDeadline(PIRP irp, LONGLONG deadline) {
  memcpy(irp->Tail.Overlay.DriverContext, &deadline, sizeof deadline);
}
inline LONGLONG DeadlineOf(PIRP irp) {
  LONGLONG deadline = 0;
  memcpy(&deadline, irp->Tail.Overlay.DriverContext, sizeof deadline);
  return deadline;
}

// Dispatch.cpp: the device's major functions.
DRIVER_DISPATCH DispatchCreate;
DRIVER_DISPATCH DispatchClose;
DRIVER_DISPATCH DispatchControl;

// Record.cpp: the section and its views.
NTSTATUS CreateRecord(GuardDevice& guard);
void DestroyRecord(GuardDevice& guard);
NTSTATUS MapRecordIntoHost(GuardDevice& guard, std::uint32_t processId);
void UnmapRecordFromHost(GuardDevice& guard);

// Worker.cpp: the thread that serves launches and protocol codes.
KSTART_ROUTINE WorkerThread;

// Completes a launch with its outcome, counting it.
void CompleteLaunch(GuardDevice& guard, PIRP irp, LaunchOutcome outcome);
// Completes a launch with its outcome, not counted.
void AnswerLaunch(PIRP irp, LaunchOutcome outcome);
// Completes any request with a status and the number of bytes written back.
void CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR bytes);
