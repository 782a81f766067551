// Failure injection, call counts, the journal and the per-thread last error.
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

TEST_F(Failures, SkipThenFailThenBehave) {
  winsim::FailCall(Api::CloseHandle, ERROR_ACCESS_DENIED, 2, 1);
  DWORD errors[4];
  for (DWORD& error : errors) {
    EXPECT_FALSE(CloseHandle(Bogus(8)));  // never open: the normal failure is ERROR_INVALID_HANDLE
    error = GetLastError();
  }
  EXPECT_EQ((std::vector<DWORD>{ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
                                ERROR_INVALID_HANDLE}),
            std::vector<DWORD>(std::begin(errors), std::end(errors)));
  EXPECT_EQ(4, winsim::CallCount(Api::CloseHandle));
  EXPECT_EQ(0, winsim::CallCount(Api::CreateFileW));

  winsim::FailCall(Api::CloseHandle, ERROR_ACCESS_DENIED);
  winsim::ClearFailures();
  CloseHandle(Bogus(8));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  winsim::Reset();
  EXPECT_EQ(0, winsim::CallCount(Api::CloseHandle));
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
  winsim::Reset();
  CloseHandle(Bogus(4));
  EXPECT_TRUE(winsim::TakeJournal().empty());
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

}  // namespace
