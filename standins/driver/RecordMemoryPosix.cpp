#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

#include "RecordMemory.h"

namespace {

// Below 4 GiB: MAP_32BIT where the system has it, otherwise a low hint that is checked.
void* MapLow(std::size_t length) {
#if defined(MAP_32BIT)
  void* base =
      mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  return base == MAP_FAILED ? nullptr : base;
#else
  for (std::uintptr_t hint = 0x10000000u; hint < 0xF0000000u; hint += 0x01000000u) {
    void* base = mmap(reinterpret_cast<void*>(hint), length, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) continue;
    if (reinterpret_cast<std::uintptr_t>(base) + length <= 0x100000000u) return base;
    munmap(base, length);
  }
  return nullptr;
#endif
}

}  // namespace

RecordMemory::RecordMemory(std::size_t bytes) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t recordPages = (bytes + page - 1) / page;
  length_ = (recordPages + 1) * page;
  base_ = MapLow(length_);
  if (base_ == nullptr) throw std::bad_alloc();
  auto* guard = static_cast<std::byte*>(base_) + recordPages * page;
  if (mprotect(guard, page, PROT_NONE) != 0) {
    munmap(base_, length_);
    throw std::bad_alloc();
  }
  guard_ = guard;
  record_ = guard - bytes;
}

RecordMemory::~RecordMemory() {
  munmap(base_, length_);
}
