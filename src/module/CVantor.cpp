#include "module/CVantor.h"

#include "driverlink/DriverLink.h"
#include "driverlink/Protocol.h"
#include "log/GuardLog.h"
#include "module/ModuleState.h"
#include "platform/ModuleOf.h"
#include "requests/RequestPump.h"

namespace {

// Sends a control code without buffers, as the start and stop codes go.
bool SendControlCode(DWORD code) {
  DWORD bytesReturned = 0;
  return DeviceIoControl(g_hDevice->get(), code, nullptr, 0, nullptr, 0, &bytesReturned, nullptr) !=
         0;
}

// Starts the pump unless one is held already: two pumps over one record would serve a request
// twice, so a Start while a pump runs only sends the start code again.
bool EnsurePump() {
  if (*g_hPumpThread) return true;
  g_bStopPump = false;
  // The pump's reference to the module, taken before the thread exists: an unload right after
  // Start then finds the module still referenced and cannot unmap the code the pump runs.
  UniqueModuleReference moduleForPump = ReferenceModuleOf(RequestPump);
  DWORD threadId = 0;
  if (moduleForPump) {
    g_hPumpThread->reset(CreateThread(nullptr, 0, RequestPump, nullptr, 0, &threadId));
  }
  if (*g_hPumpThread) {
    moduleForPump.release();  // the pump gives it back as it ends
    return true;
  }
  const DWORD error = GetLastError();
  moduleForPump.reset();
  GuardLog(3, u"VtClient\t Unable to start ipc thread. Last Error: %#x\n", error);
  return false;
}

bool StartGuarding() {
  if (!g_bInitialized) {
    g_bInitialized = DriverLink::Initialize();
    if (!g_bInitialized) {
      GuardLog(3, u"VtClient\t Unable to initialize driver.\n");
      return false;
    }
  }
  if (!EnsurePump()) return false;
  // The pump is serving before the driver is told to guard.
  if (SendControlCode(IOCTL_GUARD_START)) {
    GuardLog(1, u"VtClient\t Started.\n");
    return true;
  }
  GuardLog(3, u"VtClient\t Start IOCTL failed. Last Error: %d\n", GetLastError());
  return false;
}

bool StopGuarding() {
  if (!g_bInitialized) {
    GuardLog(2, u"VtClient\t Stop. Driver is not even initialized.\n");
    return true;
  }
  g_bStopPump = true;
  if (*g_hPumpThread) WaitForSingleObject(g_hPumpThread->get(), INFINITE);
  g_hPumpThread->reset();
  // The stop code goes out only after the pump has ended.
  if (SendControlCode(IOCTL_GUARD_STOP)) {
    GuardLog(1, u"VtClient\t Stopped.\n");
    return true;
  }
  GuardLog(3, u"VtClient\t Stop IOCTL failed.\n");
  return false;
}

// The host may be built by another compiler, which cannot catch this module's exceptions: none
// leaves an export. Logging never throws, so the line is always attempted.
template <typename Operation>
bool AtExportBoundary(Operation operation, const char16_t* failureLine) noexcept {
  try {
    return operation();
  } catch (...) {
    GuardLog(3, failureLine);
    return false;
  }
}

}  // namespace

bool CVantor::Start() {
  return AtExportBoundary(StartGuarding, u"VtClient\t Start failed: exception caught.\n");
}

bool CVantor::Stop() {
  return AtExportBoundary(StopGuarding, u"VtClient\t Stop failed: exception caught.\n");
}

CVantor& CVantor::operator=(const CVantor&) {
  return *this;
}
