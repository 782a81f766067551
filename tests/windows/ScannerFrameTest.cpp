// The shielded scanner call's own frame (src/platform/ScannerCall-*), called through an assembly
// probe (ScannerFrameProbe-*.S): after an answer and after each kind of exception, a stack
// overflow and a second one included, every register the caller expects kept holds its value,
// the stack pointer is back where it was, and the scanner's cleanups ran. The failing scanners
// spoil those registers before they raise, so only the frame's own recovery can give them back.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "Arbiter.h"
#include "GuardHost.h"
#include "platform/ScannerCall.h"

constexpr bool kX86 = sizeof(void*) == 4;
constexpr std::size_t kKept = kX86 ? 4 : 8;  // ebx esi edi ebp; rbx rbp rdi rsi r12-r15

constexpr std::uintptr_t Bits(unsigned long long value) {
  return static_cast<std::uintptr_t>(value);  // the low half on x86
}

extern "C" {
extern const std::uintptr_t probeLoaded[8];
const std::uintptr_t probeLoaded[8] = {Bits(0x13579BDF02468ACE), Bits(0x2468ACE013579BDF),
                                       Bits(0x0F1E2D3C4B5A6978), Bits(0x7968A5B4C3D2E1F0),
                                       Bits(0x1122334455667788), Bits(0x8877665544332211),
                                       Bits(0x0123456789ABCDEF), Bits(0xFEDCBA9876543210)};
std::uintptr_t probeSeen[kKept + 2];  // the kept registers, then the stack pointer before, after
int ProbeScannerCall(const WCHAR* path);
}

namespace {

// Fills the kept registers with other values in the scanner's own frame, where its epilogue
// would restore them; an exception skips that epilogue.
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
using VisualCppScanner = bool (*)(const wchar_t* path);
VisualCppScanner visualCppScanner = nullptr;
int (*visualCppUnwound)() = nullptr;

TEST(ScannerFrame, KeptRegistersStackAndCleanupsAfterAnAnswerAndAfterEachException) {
  const HMODULE visualCpp = LoadLibraryW((HostDirectory() + L"msvc\\Arbiter.dll").c_str());
  ASSERT_NE(visualCpp, nullptr) << GetLastError();
  visualCppScanner = reinterpret_cast<VisualCppScanner>(reinterpret_cast<void (*)()>(
      GetProcAddress(visualCpp, kX86 ? "?VtAllowExecution@CGuardHelper@@SA_NPB_W@Z"
                                     : "?VtAllowExecution@CGuardHelper@@SA_NPEB_W@Z")));
  visualCppUnwound = reinterpret_cast<int (*)()>(
      reinterpret_cast<void (*)()>(GetProcAddress(visualCpp, "ScannerUnwound")));
  ASSERT_TRUE(visualCppScanner && visualCppUnwound);

  const struct {
    const char* what;
    ArbiterHook scanner;
    ScannerAnswer answer;
    int cleanups;  // the Visual C++ frame's one; the GCC throw's local and its object
    bool x64Only;  // a GCC throw on x86 uses DWARF tables, which no Windows handler sees
  } rows[] = {
      {"allows", [](const wchar_t*, void*) { return true; }, ScannerAnswer::Allowed, 0, false},
      {"denies", [](const wchar_t*, void*) { return false; }, ScannerAnswer::Denied, 0, false},
      {"access violation",
       [](const wchar_t*, void*) {
         SpoilKeptRegisters();
         int* volatile nowhere = nullptr;
         return *nowhere != 0;
       },
       ScannerAnswer::Raised, 0, false},
      {"continuable code",
       [](const wchar_t*, void*) {
         SpoilKeptRegisters();
         RaiseException(0x0BADC0DE, 0, 0, nullptr);
         return true;
       },
       ScannerAnswer::Raised, 0, false},
      {"Visual C++ throw",
       [](const wchar_t*, void*) {
         SpoilKeptRegisters();
         return visualCppScanner(L"C:\\throw.exe");
       },
       ScannerAnswer::Raised, 1, false},
      {"GCC throw",
       [](const wchar_t*, void*) -> bool {
         SpoilKeptRegisters();
         Counted local;
         throw Counted{};
       },
       ScannerAnswer::Raised, 2, true},
      {"stack overflow", [](const wchar_t*, void*) { return Descend(unboundedDepth) != 0; },
       ScannerAnswer::Raised, 0, false},
      {"a second stack overflow",
       [](const wchar_t*, void*) { return Descend(unboundedDepth) != 0; }, ScannerAnswer::Raised, 0,
       false},
  };
  for (const auto& row : rows) {
    if (kX86 && row.x64Only) continue;
    SCOPED_TRACE(row.what);
    destroyed = 0;
    const int unwoundBefore = visualCppUnwound();
    ArbiterSetHook(row.scanner, nullptr);
    EXPECT_EQ(ProbeScannerCall(L"C:\\a.exe"), static_cast<int>(row.answer));
    ArbiterSetHook(nullptr, nullptr);
    for (std::size_t i = 0; i < kKept; ++i) EXPECT_EQ(probeSeen[i], probeLoaded[i]) << i;
    EXPECT_EQ(probeSeen[kKept + 1], probeSeen[kKept]) << "stack pointer after the call";
    EXPECT_EQ(destroyed + visualCppUnwound() - unwoundBefore, row.cleanups);
  }
  FreeLibrary(visualCpp);
}

}  // namespace
