#include <windows.h>

#include <cstdint>
#include <new>

#include "RecordMemory.h"

namespace {

// VirtualAlloc picks any address; on 64-bit Windows that may be above 4 GiB, so low addresses
// are asked for one after the other.
void* AllocateLow(std::size_t length) {
  for (std::uintptr_t address = 0x10000000u; address < 0xF0000000u; address += 0x00100000u) {
    void* base = VirtualAlloc(reinterpret_cast<void*>(address), length, MEM_RESERVE | MEM_COMMIT,
                              PAGE_READWRITE);
    if (base != nullptr) return base;
  }
  return nullptr;
}

}  // namespace

RecordMemory::RecordMemory(std::size_t bytes) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const std::size_t page = info.dwPageSize;
  const std::size_t recordPages = (bytes + page - 1) / page;
  length_ = (recordPages + 1) * page;
  base_ = AllocateLow(length_);
  if (base_ == nullptr) throw std::bad_alloc();
  auto* guard = static_cast<std::byte*>(base_) + recordPages * page;
  DWORD previous = 0;
  if (!VirtualProtect(guard, page, PAGE_NOACCESS, &previous)) {
    VirtualFree(base_, 0, MEM_RELEASE);
    throw std::bad_alloc();
  }
  guard_ = guard;
  record_ = guard - bytes;
}

RecordMemory::~RecordMemory() {
  VirtualFree(base_, 0, MEM_RELEASE);
}
