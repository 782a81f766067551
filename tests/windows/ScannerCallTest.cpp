// The shielded scanner call on Windows' own exception dispatch under Wine. Each callee is
// installed as Arbiter.dll's hook, so what it raises crosses Arbiter.dll's frames on the way.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>

#include "Arbiter.h"
#include "platform/ScannerCall.h"

namespace {

int destroyed = 0;
struct Counted {
  ~Counted() { ++destroyed; }
};

constexpr DWORD kArbitraryCode = 0x0BADC0DE;

bool Allow(const wchar_t*, void*) {
  return true;
}
bool Deny(const wchar_t*, void*) {
  return false;
}
// What a Visual C++ throw raises: magic number, object, throw information, module base.
bool RaiseVisualCpp(const wchar_t*, void*) {
  int object = 0;
  const ULONG_PTR parameters[4] = {0x19930520, reinterpret_cast<ULONG_PTR>(&object), 0, 0};
  RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 4, parameters);
  return true;
}
bool DereferenceNull(const wchar_t*, void*) {
  int* volatile nowhere = nullptr;
  return *nowhere != 0;
}
bool RaiseNoncontinuable(const wchar_t*, void*) {
  RaiseException(kArbitraryCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  return true;
}
bool RaiseContinuable(const wchar_t*, void*) {
  RaiseException(kArbitraryCode, 0, 0, nullptr);
  return true;
}
bool ExecuteIllegal(const wchar_t*, void*) {
  __builtin_trap();
}
// The local is destroyed by the unwind, the thrown object by its runtime once it is caught.
bool ThrowGcc(const wchar_t*, void*) {
  Counted local;
  throw Counted{};
}

struct Row {
  const char* callee;
  ArbiterHook hook;
  ScannerAnswer answer;
  int destroyed;
};
const Row kRows[] = {
    {"returns true", Allow, ScannerAnswer::Allowed, 0},
    {"returns false", Deny, ScannerAnswer::Denied, 0},
    {"raises a Visual C++ exception", RaiseVisualCpp, ScannerAnswer::Raised, 0},
    {"dereferences null", DereferenceNull, ScannerAnswer::Raised, 0},
    {"raises a noncontinuable code", RaiseNoncontinuable, ScannerAnswer::Raised, 0},
    {"raises a continuable code", RaiseContinuable, ScannerAnswer::Raised, 0},
    {"executes an illegal instruction", ExecuteIllegal, ScannerAnswer::Raised, 0},
    {"throws a GCC exception", ThrowGcc, ScannerAnswer::Raised, 2},
};

ScannerAnswer Ask(ArbiterHook hook) {
  ArbiterSetHook(hook, nullptr);
  const ScannerAnswer answer = AskScanner(L"C:\\scanned.exe");
  ArbiterSetHook(nullptr, nullptr);
  return answer;
}

TEST(ScannerCall, EveryExceptionEndsAsRaisedAndTheThreadCarriesOn) {
  ArbiterSetRecording(0);
  for (int round = 0; round < 100; ++round) {
    for (const Row& row : kRows) {
      destroyed = 0;
      ASSERT_EQ(Ask(row.hook), row.answer) << row.callee << ", round " << round;
      ASSERT_EQ(destroyed, row.destroyed) << row.callee;
      ASSERT_EQ(Ask(Allow), ScannerAnswer::Allowed) << "after the callee " << row.callee;
    }
  }
  // The caller's own handlers are intact.
  EXPECT_THROW(throw std::runtime_error("the caller's own"), std::runtime_error);
  ArbiterSetRecording(1);
}

}  // namespace
