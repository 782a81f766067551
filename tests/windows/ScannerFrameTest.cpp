// The shielded scanner call's own frame (src/platform/ScannerCall-*) called through an assembly
// probe: after an answer and after each kind of exception, two stack overflows included, the kept
// registers hold their values, the stack pointer is back and the scanner's cleanups ran.
#include <cstdint>
#include <string_view>

#include "GuardHost.h"
#include "platform/ScannerCall.h"

constexpr bool kX86 = sizeof(void*) == 4;
constexpr std::size_t kKept = kX86 ? 4 : 8;  // ebx esi edi ebp; rbx rbp rdi rsi r12-r15

extern "C" {
extern const std::uintptr_t probeLoaded[8];  // what the probe loads into the kept registers
std::uintptr_t probeSeen[kKept + 2];  // the kept registers, then the stack pointer before, after
int ProbeScannerCall(const WCHAR* path);
}

namespace {

// Spoils the kept registers in the scanner's frame: only its epilogue, which a raise skips, or
// the frame's recovery, gives them back.
[[gnu::always_inline]] inline void SpoilKeptRegisters() {
#if defined(__x86_64__)
  asm volatile(
      "mov $-1, %%rbx; mov $-1, %%rsi; mov $-1, %%rdi; mov $-1, %%r12; mov $-1, %%r13;"
      "mov $-1, %%r14; mov $-1, %%r15" ::
          : "rbx", "rsi", "rdi", "r12", "r13", "r14", "r15");
#else
  asm volatile("mov $-1, %%ebx; mov $-1, %%esi; mov $-1, %%edi" ::: "ebx", "esi", "edi");
#endif
}

int destroyed = 0;
struct Counted {
  ~Counted() { ++destroyed; }
};

// The Visual C++ scanner (bin/msvc/Arbiter.dll), loaded beside this program's own Arbiter.dll.
bool (*visualCppScanner)(const wchar_t* path) = nullptr;
int (*visualCppUnwound)() = nullptr;

// Every row's scanner: spoils the kept registers, then throws a GCC exception for "gcc", or asks
// the Visual C++ scanner, which throws, faults, raises, overflows or answers as the path says.
bool Scanner(const wchar_t* path, void*) {
  SpoilKeptRegisters();
  if (std::wstring_view(path) == L"gcc") {
    Counted local;
    throw Counted{};
  }
  return visualCppScanner(path);
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(ScannerFrame, KeptRegistersStackAndCleanupsAfterAnAnswerAndAfterEachException) {
  const HMODULE visualCpp = LoadLibraryW((HostDirectory() + L"msvc\\Arbiter.dll").c_str());
  visualCppScanner = Export<bool (*)(const wchar_t*)>(
      visualCpp, kX86 ? "?VtAllowExecution@CGuardHelper@@SA_NPB_W@Z"
                      : "?VtAllowExecution@CGuardHelper@@SA_NPEB_W@Z");
  visualCppUnwound = Export<int (*)()>(visualCpp, "ScannerUnwound");
  ASSERT_TRUE(visualCppScanner && visualCppUnwound) << GetLastError();
  const struct {
    const wchar_t* path;
    ScannerAnswer answer;
    int cleanups;  // the Visual C++ throw's one; the GCC throw's local and its object
  } rows[] = {{L"ok", ScannerAnswer::Allowed, 0},      {L"deny", ScannerAnswer::Denied, 0},
              {L"fault", ScannerAnswer::Raised, 0},    {L"raise", ScannerAnswer::Raised, 0},
              {L"throw", ScannerAnswer::Raised, 1},    {L"gcc", ScannerAnswer::Raised, 2},
              {L"overflow", ScannerAnswer::Raised, 0}, {L"overflow", ScannerAnswer::Raised, 0}};
  ArbiterSetHook(&Scanner, nullptr);
  for (const auto& row : rows) {
    // A GCC throw on x86 uses DWARF tables, which no Windows handler sees.
    if (kX86 && std::wstring_view(row.path) == L"gcc") continue;
    SCOPED_TRACE(testing::Message() << row.path);
    destroyed = 0;
    const int unwoundBefore = visualCppUnwound();
    EXPECT_EQ(ProbeScannerCall(row.path), static_cast<int>(row.answer));
    for (std::size_t i = 0; i < kKept; ++i) EXPECT_EQ(probeSeen[i], probeLoaded[i]) << i;
    EXPECT_EQ(probeSeen[kKept + 1], probeSeen[kKept]) << "stack pointer after the call";
    EXPECT_EQ(destroyed + visualCppUnwound() - unwoundBefore, row.cleanups);
  }
  ArbiterSetHook(nullptr, nullptr);
  FreeLibrary(visualCpp);
}

}  // namespace
