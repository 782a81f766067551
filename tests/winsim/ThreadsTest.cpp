// Threads: creation, the handle signalled after the routine returns, waits and handle counts.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "winsim/Control.h"

namespace {

using winsim::HandleKind;

// A routine that blocks until released, so the test controls when it returns.
struct Gate {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<DWORD> lastError{99};
  std::atomic<bool> returned{false};
};

DWORD WINAPI WaitAtGate(LPVOID parameter) {
  auto* gate = static_cast<Gate*>(parameter);
  gate->lastError = GetLastError();
  gate->released.wait();
  gate->returned = true;
  return 7;
}

class Threads : public testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { EXPECT_EQ(handles, winsim::OpenHandleCount(HandleKind::Thread)); }
  int handles = winsim::OpenHandleCount(HandleKind::Thread);
  int running = winsim::RunningThreads();
};

TEST_F(Threads, HandleIsSignalledWhenTheRoutineHasReturned) {
  Gate gate;
  DWORD id = 0;
  SetLastError(1234);
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, &id);
  ASSERT_NE(nullptr, thread);
  EXPECT_TRUE(id != 0 && id % 4 == 0);
  EXPECT_EQ(handles + 1, winsim::OpenHandleCount(HandleKind::Thread));
  EXPECT_EQ(running + 1, winsim::RunningThreads());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 5));

  gate.release.set_value();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
  EXPECT_TRUE(gate.returned);
  EXPECT_EQ(running, winsim::RunningThreads());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
  EXPECT_EQ(0u, gate.lastError);  // a new thread starts with no last error
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(thread, 0));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(Threads, ClosingTheHandleLeavesTheThreadRunning) {
  auto gate = std::make_shared<Gate>();
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, gate.get(), 0, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_EQ(running + 1, winsim::RunningThreads());
  gate->release.set_value();
  while (winsim::RunningThreads() != running) Sleep(1);
}

TEST_F(Threads, RefusedCreationsAndWaits) {
  winsim::FailCall(winsim::Api::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
  Gate gate;
  const struct {
    LPTHREAD_START_ROUTINE routine;
    DWORD flags;
    DWORD error;
  } cases[] = {{WaitAtGate, 0, ERROR_NOT_ENOUGH_MEMORY},
               {nullptr, 0, ERROR_INVALID_PARAMETER},
               {WaitAtGate, 0x4, ERROR_NOT_SUPPORTED}};
  for (const auto& c : cases) {
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, c.routine, &gate, c.flags, nullptr));
    EXPECT_EQ(c.error, GetLastError());
  }
  EXPECT_EQ(running, winsim::RunningThreads());
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(manager, 0));  // not waitable
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_TRUE(CloseServiceHandle(manager));
}

}  // namespace
