// Load and unload: the record, the device and its link, the worker thread.
#include "GuardDevice.h"

namespace {

UNICODE_STRING DeviceName() {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"\\Device\\VANTORFLT");
  return name;
}

UNICODE_STRING LinkName() {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"\\DosDevices\\VANTORFLT");
  return name;
}

// The worker must be gone before the driver's code is: it takes the record back, completes every
// request still pending and unmaps the host's view on its way out.
void NTAPI Unload(PDRIVER_OBJECT driver) {
  const PDEVICE_OBJECT device = driver->DeviceObject;
  GuardDevice& guard = GuardOf(device);
  {
    Locked lock(guard.lock);
    guard.unloading = true;
  }
  KeSetEvent(&guard.wake, IO_NO_INCREMENT, FALSE);
  ZwWaitForSingleObject(guard.worker, FALSE, nullptr);
  ZwClose(guard.worker);
  DestroyRecord(guard.section, guard.record);
  UNICODE_STRING link = LinkName();
  IoDeleteSymbolicLink(&link);
  guard.~GuardDevice();
  IoDeleteDevice(device);
}

NTSTATUS Start(PDRIVER_OBJECT driver, PDEVICE_OBJECT device, GuardDevice& guard) {
  NTSTATUS status = AdmitAdministratorsOnly(device);
  if (!NT_SUCCESS(status)) return status;
  UNICODE_STRING link = LinkName();
  UNICODE_STRING name = DeviceName();
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) return status;
  OBJECT_ATTRIBUTES attributes = KernelHandleAttributes();
  status = PsCreateSystemThread(&guard.worker, THREAD_ALL_ACCESS, &attributes, nullptr, nullptr,
                                WorkerThread, &guard);
  if (!NT_SUCCESS(status)) {
    IoDeleteSymbolicLink(&link);
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->DriverUnload = Unload;
  return STATUS_SUCCESS;
}

}  // namespace

// Runs in the process the worker will run in (the system process on Windows), which is where the
// record's own view is made.
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  HANDLE section = nullptr;
  SharedSlot* record = nullptr;
  NTSTATUS status = CreateRecord(&section, &record);
  if (!NT_SUCCESS(status)) return status;
  UNICODE_STRING name = DeviceName();
  PDEVICE_OBJECT device = nullptr;
  status = IoCreateDevice(driver, sizeof(GuardDevice), &name, FILE_DEVICE_UNKNOWN,
                          FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (NT_SUCCESS(status)) {
    GuardDevice* guard = new (device->DeviceExtension) GuardDevice(section, record);
    status = Start(driver, device, *guard);
    if (NT_SUCCESS(status)) return status;
    guard->~GuardDevice();
    IoDeleteDevice(device);
  }
  DestroyRecord(section, record);
  return status;
}
