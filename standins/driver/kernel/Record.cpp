// The shared record: one section for the life of the driver, viewed by the driver and, after a
// handshake, by the host process at an address that fits the protocol's 32 bits.
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
NTSTATUS CreateRecord(GuardDevice& guard) {
  OBJECT_ATTRIBUTES attributes = KernelHandleAttributes();
  LARGE_INTEGER size;
  size.QuadPart = kRecordBytes;
  NTSTATUS status = ZwCreateSection(&guard.section, SECTION_ALL_ACCESS, &attributes, &size,
                                    PAGE_READWRITE, SEC_COMMIT, nullptr);
  if (!NT_SUCCESS(status)) return status;
  void* view = nullptr;
  status = MapView(guard.section, NtCurrentProcess(), 0, &view);
  if (!NT_SUCCESS(status)) {
    ZwClose(guard.section);
    guard.section = nullptr;
    return status;
  }
  guard.record = static_cast<SharedSlot*>(view);
  RtlZeroMemory(guard.record, kRecordBytes);
  return STATUS_SUCCESS;
}

void DestroyRecord(GuardDevice& guard) {
  if (guard.record != nullptr) ZwUnmapViewOfSection(NtCurrentProcess(), guard.record);
  if (guard.section != nullptr) ZwClose(guard.section);
  guard.record = nullptr;
  guard.section = nullptr;
}

NTSTATUS MapRecordIntoHost(GuardDevice& guard, std::uint32_t processId) {
  CLIENT_ID client{};
  client.UniqueProcess = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(processId));
  OBJECT_ATTRIBUTES attributes = KernelHandleAttributes();
  HANDLE process = nullptr;
  NTSTATUS status = ZwOpenProcess(&process, PROCESS_ALL_ACCESS, &attributes, &client);
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
