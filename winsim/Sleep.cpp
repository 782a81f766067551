// Sleep, stretched or shrunk by a factor tests set so stress runs need not wait in real time.
#include <atomic>
#include <chrono>
#include <thread>

#include "winsim/Calls.h"
#include "winsim/ResetParts.h"

using namespace winsim;

namespace {
std::atomic<double> g_scale{1.0};
}

void WINAPI Sleep(DWORD milliseconds) {
  detail::EnterCall(Api::Sleep,
                    [&] { return detail::CallLine("Sleep").Timeout(milliseconds).Done(); });
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  const double nanoseconds = milliseconds * 1e6 * g_scale.load(std::memory_order_relaxed);
  if (nanoseconds < 1.0) {  // Sleep(0) gives up the rest of the time slice
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<long long>(nanoseconds)));
}

namespace winsim {

void SetSleepScale(double scale) {
  g_scale.store(scale > 0 ? scale : 0.0);
}

namespace detail {
void ResetSleep() {
  SetSleepScale(1.0);
}
}  // namespace detail

}  // namespace winsim
