#include "module/UnloadPump.h"

#include "module/ModuleState.h"
#include "platform/LoaderLock.h"

void StopPumpForUnload() {
  if (!g_hPumpThread) return;
  g_bStopPump = true;
  // The pump clears g_bPumpRunning once it is done with the record and the DriveMap. A thread
  // already ended by process exit never will, but its handle is then signalled.
  while (g_bPumpRunning.load(std::memory_order_acquire) &&
         WaitForSingleObject(g_hPumpThread.get(), 0) == WAIT_TIMEOUT) {
    Sleep(1);
  }
  // Where no loader lock stands in the way, also wait until the thread has left the module's code.
  if constexpr (!kThreadExitNeedsLoaderLock) WaitForSingleObject(g_hPumpThread.get(), INFINITE);
  g_hPumpThread.reset();
}
