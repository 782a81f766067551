// Threads: creation, the handle signalled after the routine returns, waits and handle counts.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "winsim/Control.h"

namespace {

using winsim::Api;
using winsim::HandleKind;

// A routine that blocks until released, so the test controls when it returns.
struct Gate {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<DWORD> lastError{99};
};

DWORD WINAPI WaitAtGate(LPVOID parameter) {
  auto* gate = static_cast<Gate*>(parameter);
  gate->lastError = GetLastError();
  gate->released.wait();
  return 7;
}

class Threads : public testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    handles = winsim::OpenHandleCount(HandleKind::Thread);
    running = winsim::RunningThreads();
  }
  void TearDown() override {
    EXPECT_EQ(handles, winsim::OpenHandleCount(HandleKind::Thread));
    winsim::Reset();
  }
  int handles = 0;
  int running = 0;
};

TEST_F(Threads, HandleIsSignalledWhenTheRoutineHasReturned) {
  Gate gate;
  DWORD id = 0;
  SetLastError(1234);
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, &id);
  ASSERT_NE(nullptr, thread);
  EXPECT_NE(0u, id);
  EXPECT_EQ(0u, id % 4);
  EXPECT_EQ(handles + 1, winsim::OpenHandleCount(HandleKind::Thread));
  EXPECT_EQ(running + 1, winsim::RunningThreads());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 5));

  gate.release.set_value();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
  EXPECT_EQ(running, winsim::RunningThreads());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
  EXPECT_EQ(0u, gate.lastError);  // a new thread starts with no last error
  EXPECT_TRUE(CloseHandle(thread));
  SetLastError(0);
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(thread, 0));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(Threads, ClosingTheHandleLeavesTheThreadRunning) {
  auto gate = std::make_shared<Gate>();
  HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, gate.get(), 0, nullptr);
  ASSERT_NE(nullptr, thread);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_EQ(running + 1, winsim::RunningThreads());
  gate->release.set_value();
  while (winsim::RunningThreads() != running) Sleep(1);
}

TEST_F(Threads, RefusedCreationsAndWaits) {
  winsim::FailCall(Api::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
  Gate gate;
  EXPECT_EQ(nullptr, CreateThread(nullptr, 0, WaitAtGate, &gate, 0, nullptr));
  EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
  EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(nullptr, CreateThread(nullptr, 0, WaitAtGate, &gate, 0x4, nullptr));
  EXPECT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
  EXPECT_EQ(running, winsim::RunningThreads());
  EXPECT_EQ(3, winsim::CallCount(Api::CreateThread));

  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, INFINITE));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(manager, 0));  // not waitable
  EXPECT_TRUE(CloseServiceHandle(manager));
}

TEST_F(Threads, ManyThreadsEachSignalTheirOwnHandle) {
  constexpr int kThreads = 16;
  std::atomic<int> ran{0};
  HANDLE threads[kThreads];
  for (HANDLE& thread : threads) {
    thread = CreateThread(
        nullptr, 0,
        [](LPVOID counter) -> DWORD {
          static_cast<std::atomic<int>*>(counter)->fetch_add(1);
          return 0;
        },
        &ran, 0, nullptr);
    ASSERT_NE(nullptr, thread);
  }
  for (HANDLE thread : threads) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    EXPECT_TRUE(CloseHandle(thread));
  }
  EXPECT_EQ(kThreads, ran.load());
}

}  // namespace
