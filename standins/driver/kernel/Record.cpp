// The shared record: one section for the life of the driver, viewed by the driver and, after a
// handshake, by the host process at an address that fits the protocol's 32 bits. And the
// device's security, which decides who may reach the record at all.
#include "GuardDevice.h"

namespace {

// On 64-bit systems a ZeroBits value above 32 is a mask the view's address must fit under: this
// one puts the host's view below 2 GiB, so the module's signed 32-bit log of it stays positive.
constexpr ULONG_PTR kLowViewMask = sizeof(void*) == 8 ? 0x7FFFFFFF : 0;

// The reply carries the host's address in 32 bits.
bool FitsIn32Bits(const void* view) {
  constexpr std::uint64_t kFourGiB = 1ull << 32;
  return static_cast<std::uint64_t>(reinterpret_cast<ULONG_PTR>(view)) + kRecordBytes <= kFourGiB;
}

NTSTATUS MapView(HANDLE section, HANDLE process, ULONG_PTR zeroBits, void** view) {
  *view = nullptr;
  SIZE_T size = 0;
  return ZwMapViewOfSection(section, process, view, zeroBits, 0, nullptr, &size, ViewUnmap, 0,
                            PAGE_READWRITE);
}

}  // namespace

// Runs at load, in the process the worker will run in.
NTSTATUS CreateRecord(HANDLE* section, SharedSlot** record) {
  OBJECT_ATTRIBUTES attributes = KernelHandleAttributes();
  LARGE_INTEGER size;
  size.QuadPart = kRecordBytes;
  NTSTATUS status = ZwCreateSection(section, SECTION_ALL_ACCESS, &attributes, &size, PAGE_READWRITE,
                                    SEC_COMMIT, nullptr);
  if (!NT_SUCCESS(status)) return status;
  void* view = nullptr;
  status = MapView(*section, NtCurrentProcess(), 0, &view);
  if (!NT_SUCCESS(status)) {
    ZwClose(*section);
    return status;
  }
  *record = static_cast<SharedSlot*>(view);
  RtlZeroMemory(*record, kRecordBytes);
  return STATUS_SUCCESS;
}

void DestroyRecord(HANDLE section, SharedSlot* record) {
  ZwUnmapViewOfSection(NtCurrentProcess(), record);
  ZwClose(section);
}

NTSTATUS MapRecordIntoHost(GuardDevice& guard, HANDLE processId) {
  CLIENT_ID client{};
  client.UniqueProcess = processId;
  OBJECT_ATTRIBUTES attributes = KernelHandleAttributes();
  constexpr ACCESS_MASK kMapViews = 0x0008;  // PROCESS_VM_OPERATION
  HANDLE process = nullptr;
  NTSTATUS status = ZwOpenProcess(&process, kMapViews, &attributes, &client);
  if (!NT_SUCCESS(status)) return status;
  void* view = nullptr;
  status = MapView(guard.section, process, kLowViewMask, &view);
  if (NT_SUCCESS(status) && !FitsIn32Bits(view)) {
    ZwUnmapViewOfSection(process, view);  // the address would not fit the reply
    status = STATUS_CONFLICTING_ADDRESSES;
  }
  if (!NT_SUCCESS(status)) {
    ZwClose(process);
    return status;
  }
  guard.hostProcess = process;
  guard.hostView = view;
  return STATUS_SUCCESS;
}

// The host may have exited already; then its view went with it and the unmap fails harmlessly.
void UnmapRecordFromHost(GuardDevice& guard) {
  if (guard.hostProcess == nullptr) return;
  ZwUnmapViewOfSection(guard.hostProcess, guard.hostView);
  ZwClose(guard.hostProcess);
  guard.hostProcess = nullptr;
  guard.hostView = nullptr;
}

// D:P(A;;FA;;;SY)(A;;FA;;;BA): full access for SYSTEM and the Administrators group, nothing for
// anyone else. IoCreateDeviceSecure would apply the same from its SDDL string, but it lives in a
// static library of the Windows driver kit, not in ntoskrnl.exe.
NTSTATUS AdmitAdministratorsOnly(PDEVICE_OBJECT device) {
  alignas(ULONG) UCHAR system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
  alignas(ULONG) UCHAR administrators[] = {1,  2, 0, 0, 0,    0, 0, 5,
                                           32, 0, 0, 0, 0x20, 2, 0, 0};  // S-1-5-32-544
  alignas(ULONG) UCHAR
      acl[sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + sizeof system + sizeof administrators];
  SECURITY_DESCRIPTOR descriptor;
  NTSTATUS status = RtlCreateAcl(reinterpret_cast<PACL>(acl), sizeof acl, ACL_REVISION);
  if (NT_SUCCESS(status)) {
    status =
        RtlAddAccessAllowedAce(reinterpret_cast<PACL>(acl), ACL_REVISION, FILE_ALL_ACCESS, system);
  }
  if (NT_SUCCESS(status)) {
    status = RtlAddAccessAllowedAce(reinterpret_cast<PACL>(acl), ACL_REVISION, FILE_ALL_ACCESS,
                                    administrators);
  }
  if (NT_SUCCESS(status))
    status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  if (NT_SUCCESS(status)) {
    status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, reinterpret_cast<PACL>(acl), FALSE);
  }
  descriptor.Control |= SE_DACL_PROTECTED;
  HANDLE handle = nullptr;
  if (NT_SUCCESS(status)) {
    status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, nullptr, WRITE_DAC, nullptr,
                                   KernelMode, &handle);
  }
  if (!NT_SUCCESS(status)) return status;
  status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
  ZwClose(handle);
  return status;
}
