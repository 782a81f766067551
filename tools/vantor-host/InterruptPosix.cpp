#include <signal.h>

#include "Interrupt.h"

namespace {

volatile sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) {
  g_interrupted = 1;
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags =
      static_cast<int>(SA_RESETHAND);  // the next one gets the default action: the process ends
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
  return g_interrupted != 0;
}
