// CloseHandle for kernel handles: devices and threads. Service-manager handles are closed
// with CloseServiceHandle and are not valid here, as on Windows.
#include "winsim/Calls.h"
#include "winsim/HandleTable.h"

using namespace winsim;

BOOL WINAPI CloseHandle(HANDLE handle) {
  if (auto error = detail::EnterCall(Api::CloseHandle, [&] {
        return detail::CallLine("CloseHandle").Handle(handle).Done();
      })) {
    SetLastError(*error);  // an injected failure leaves the handle open
    return FALSE;
  }
  auto entry = detail::TakeHandle(handle, {HandleKind::Device, HandleKind::Thread});
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Closing a thread handle leaves the thread running; the thread keeps its own reference.
  if (entry->kind == HandleKind::Device) detail::ObjectOf<Device>(*entry)->Closed(handle);
  return TRUE;
}
