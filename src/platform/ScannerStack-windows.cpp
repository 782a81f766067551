// Keeps a stack overflow in the scanner an exception the scanner call's handler can catch, the
// first one and every later one. Wine and Windows dispatch a stack overflow only when the thread
// hits a guard page with room left below it for the dispatch; an overflow that finds no guard
// page ends the thread or the process. So before each scanner call the page kGuarantee bytes
// above the stack's lowest address is a guard page again (once an overflow has consumed it), and
// the thread asks for kGuarantee bytes of stack kept for handling the overflow, so that touching
// that page raises the overflow at once.
#include <cstdint>

#include "platform/ScannerCall.h"
#include "platform/Win32.h"

namespace {

constexpr ULONG kGuarantee = 64 * 1024;
constexpr SIZE_T kPage = 4096;

}  // namespace

extern "C" void ArmScannerStack() noexcept {
  ULONG guarantee = kGuarantee;
  SetThreadStackGuarantee(&guarantee);
  MEMORY_BASIC_INFORMATION stack{};
  volatile char here = 0;
  if (VirtualQuery(const_cast<char*>(&here), &stack, sizeof stack) == 0) return;
  char* const guard = static_cast<char*>(stack.AllocationBase) + kGuarantee;
  // Only a committed page that is not a guard page already, well below the stack in use.
  MEMORY_BASIC_INFORMATION page{};
  if (reinterpret_cast<std::uintptr_t>(guard + 4 * kPage) >
          reinterpret_cast<std::uintptr_t>(&here) ||
      VirtualQuery(guard, &page, sizeof page) == 0 || page.State != MEM_COMMIT ||
      (page.Protect & PAGE_GUARD) != 0) {
    return;
  }
  DWORD previous = 0;
  VirtualProtect(guard, kPage, PAGE_READWRITE | PAGE_GUARD, &previous);
}
