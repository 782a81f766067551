// operator new, armed by tests to throw std::bad_alloc once, and operator delete, watched by
// tests that look for a block as it is freed. Alone in this file, so the compiler never sees them
// inlined next to a new-expression and takes malloc/free for a mismatch.
#include <atomic>
#include <cstdlib>
#include <new>

// Allocations left before the next one throws; negative: never. Tests arm it from one thread.
int g_allocationsBeforeFailure = -1;

void* operator new(std::size_t size) {
  if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}
// When set, sees every block a sized delete frees (as the standard containers do), on any thread.
std::atomic<void (*)(const void* memory, std::size_t size)> g_onSizedFree{nullptr};

void operator delete(void* memory, std::size_t size) noexcept {
  if (const auto watch = g_onSizedFree.load()) watch(memory, size);
  std::free(memory);
}
