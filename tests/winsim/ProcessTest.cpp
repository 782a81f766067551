// The process-wide seams: the clock and thread handles.
#include <atomic>
#include <thread>

#include "FreshMachine.h"

namespace {

using Process = FreshMachine;

TEST_F(Process, ClockFixedOrUnavailable) {
  winsim::SetLocalTime(9, 5);
  const __time64_t now = _time64(nullptr);
  const std::tm* local = _localtime64(&now);
  ASSERT_NE(nullptr, local);
  EXPECT_EQ(9, local->tm_hour);
  EXPECT_EQ(5, local->tm_min);
  winsim::SetLocalTimeUnavailable();
  EXPECT_EQ(nullptr, _localtime64(&now));
  winsim::UseRealClock();
  EXPECT_NE(nullptr, _localtime64(&now));
}

// Waits until released (state 1), then marks that it returns (state 2).
DWORD WINAPI WaitForRelease(LPVOID parameter) {
  auto* state = static_cast<std::atomic<int>*>(parameter);
  while (*state == 0) std::this_thread::yield();
  *state = 2;
  return 0;
}

TEST_F(Process, ThreadHandleSignalledAfterTheRoutineReturns) {
  std::atomic<int> state{0};
  HANDLE thread = CreateThread(nullptr, 0, WaitForRelease, &state, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 5));
  state = 1;
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
  EXPECT_EQ(2, state);
  EXPECT_TRUE(CloseHandle(thread));
}

}  // namespace
