// On Windows, Ctrl-C and Ctrl-Break reach the console handler (under Wine, a SIGINT does too).
#include <atomic>

#include "ExitCodes.h"
#include "Interrupt.h"
#include "platform/Win32.h"

namespace {

std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second one ends the process at once, as the default signal action does on Linux.
  if (g_interrupted.exchange(true)) TerminateProcess(GetCurrentProcess(), kExitInterrupted);
  return TRUE;
}

}  // namespace

void CatchInterrupts() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool Interrupted() {
  return g_interrupted.load();
}
