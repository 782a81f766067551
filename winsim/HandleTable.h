#pragma once
// The process's handle table: kernel handles (devices, threads) and service-manager handles
// share one numbering of small multiples of 4, as handle values look on Windows. Values are
// never reused, so a closed handle stays invalid and a double close is caught.
#include <initializer_list>
#include <memory>
#include <optional>

#include "winsim/Control.h"

namespace winsim::detail {

struct HandleEntry {
  HandleKind kind = HandleKind::Device;
  std::shared_ptr<void> object;  // the Device, service record or thread state behind it
  DWORD access = 0;              // access granted at open
};

HANDLE AddHandle(HandleKind kind, std::shared_ptr<void> object, DWORD access = 0);
// The entry for `handle` when it is open and of one of `kinds`.
std::optional<HandleEntry> FindHandle(const void* handle, std::initializer_list<HandleKind> kinds);
// Removes and returns the entry for `handle` when it is open and of one of `kinds`.
std::optional<HandleEntry> TakeHandle(const void* handle, std::initializer_list<HandleKind> kinds);

template <typename T>
std::shared_ptr<T> ObjectOf(const HandleEntry& entry) {
  return std::static_pointer_cast<T>(entry.object);
}

}  // namespace winsim::detail
