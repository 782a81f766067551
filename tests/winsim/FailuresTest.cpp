// Failure injection, call counts and the journal, on the handle calls.
#include <gtest/gtest.h>

#include <thread>

#include "winsim/Control.h"

namespace {

using winsim::Api;

class Failures : public testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { winsim::Reset(); }
};

HANDLE Bogus(std::uintptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

TEST_F(Failures, CloseOfAHandleThatIsNotOpenFails) {
  for (HANDLE h : {Bogus(0), Bogus(4), Bogus(0x7ffc), INVALID_HANDLE_VALUE}) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  }
  EXPECT_EQ(4, winsim::CallCount(Api::CloseHandle));
}

TEST_F(Failures, SkipThenFailThenBehave) {
  winsim::FailCall(Api::CloseHandle, ERROR_ACCESS_DENIED, 2, 1);
  DWORD errors[4];
  for (DWORD& error : errors) {
    CloseHandle(Bogus(8));
    error = GetLastError();
  }
  EXPECT_EQ(ERROR_INVALID_HANDLE, errors[0]);
  EXPECT_EQ(ERROR_ACCESS_DENIED, errors[1]);
  EXPECT_EQ(ERROR_ACCESS_DENIED, errors[2]);
  EXPECT_EQ(ERROR_INVALID_HANDLE, errors[3]);
  EXPECT_EQ(4, winsim::CallCount(Api::CloseHandle));
  EXPECT_EQ(0, winsim::CallCount(Api::CreateFileW));
}

TEST_F(Failures, ClearAndResetDropPlansAndCounts) {
  winsim::FailCall(Api::CloseHandle, ERROR_ACCESS_DENIED);
  winsim::ClearFailures();
  CloseHandle(Bogus(8));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_EQ(1, winsim::CallCount(Api::CloseHandle));
  winsim::Reset();
  EXPECT_EQ(0, winsim::CallCount(Api::CloseHandle));
}

TEST_F(Failures, LastErrorBelongsToTheThread) {
  SetLastError(1234);
  DWORD seen = 1;
  std::thread([&seen] {
    seen = GetLastError();
    SetLastError(5);
  }).join();
  EXPECT_EQ(0u, seen);
  EXPECT_EQ(1234u, GetLastError());
}

TEST_F(Failures, JournalRecordsCallsWhileKept) {
  CloseHandle(Bogus(0x10));
  winsim::StartJournal();
  CloseHandle(Bogus(0x2c));
  CloseHandle(nullptr);
  CloseHandle(INVALID_HANDLE_VALUE);
  EXPECT_EQ((std::vector<std::string>{"CloseHandle(0x2c)", "CloseHandle(null)",
                                      "CloseHandle(INVALID_HANDLE_VALUE)"}),
            winsim::TakeJournal());
  EXPECT_TRUE(winsim::TakeJournal().empty());
  CloseHandle(Bogus(4));
  winsim::Reset();
  CloseHandle(Bogus(4));
  EXPECT_TRUE(winsim::TakeJournal().empty());
}

}  // namespace
