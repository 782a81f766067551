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

// Raises the code with what a Visual C++ throw passes: magic number, object, throw information,
// module base. Returns only if a handler let execution continue.
bool Raise(DWORD code, DWORD flags) {
  const ULONG_PTR parameters[4] = {0x19930520, reinterpret_cast<ULONG_PTR>(&flags), 0, 0};
  RaiseException(code, flags, 4, parameters);
  return true;
}

using enum ScannerAnswer;
struct Row {
  const char* callee;
  ArbiterHook hook;
  ScannerAnswer answer;
  int destroyed;  // the GCC throw: its local by the unwind, its object by its runtime
};
const Row kRows[] = {
    {"returns true", [](const wchar_t*, void*) { return true; }, Allowed, 0},
    {"returns false", [](const wchar_t*, void*) { return false; }, Denied, 0},
    {"raises a Visual C++ exception",
     [](const wchar_t*, void*) { return Raise(0xE06D7363, EXCEPTION_NONCONTINUABLE); }, Raised, 0},
    {"dereferences null",
     [](const wchar_t*, void*) {
       int* volatile nowhere = nullptr;
       return *nowhere != 0;
     },
     Raised, 0},
    {"raises a noncontinuable code",
     [](const wchar_t*, void*) { return Raise(0x0BADC0DE, EXCEPTION_NONCONTINUABLE); }, Raised, 0},
    {"raises a continuable code", [](const wchar_t*, void*) { return Raise(0x0BADC0DE, 0); },
     Raised, 0},
    {"executes an illegal instruction", [](const wchar_t*, void*) -> bool { __builtin_trap(); },
     Raised, 0},
    {"throws a GCC exception",
     [](const wchar_t*, void*) -> bool {
       Counted local;
       throw Counted{};
     },
     Raised, 2},
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
      ASSERT_EQ(Ask(kRows[0].hook), Allowed) << "after the callee " << row.callee;
    }
  }
  // The caller's own handlers are intact.
  EXPECT_THROW(throw std::runtime_error("the caller's own"), std::runtime_error);
  ArbiterSetRecording(1);
}

}  // namespace
