// The replacement operators live alone in this file, so the compiler never sees them inlined
// next to a new-expression and mistakes their malloc/free pairing for a mismatch.
#include "paths/FailingAllocation.h"

#include <cstdlib>
#include <new>

namespace {

// Allocations left before the next one throws; negative: never. Tests arm it from one thread.
int g_allocationsBeforeFailure = -1;

}  // namespace

void FailAllocationAfter(int allowed) {
  g_allocationsBeforeFailure = allowed;
}

bool DisarmAllocationFailure() {
  const bool pending = g_allocationsBeforeFailure >= 0;
  g_allocationsBeforeFailure = -1;
  return pending;
}

void* operator new(std::size_t size) {
  if (g_allocationsBeforeFailure == 0) {
    g_allocationsBeforeFailure = -1;
    throw std::bad_alloc();
  }
  if (g_allocationsBeforeFailure > 0) --g_allocationsBeforeFailure;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
