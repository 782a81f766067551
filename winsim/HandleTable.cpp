#include "winsim/HandleTable.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace winsim::detail {
namespace {

std::mutex g_mutex;
std::uintptr_t g_lastValue = 0;
std::unordered_map<std::uintptr_t, HandleEntry> g_entries;
std::array<int, 4> g_openByKind{};

std::size_t Index(HandleKind kind) {
  return static_cast<std::size_t>(kind);
}

std::uintptr_t Key(const void* handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}

bool OneOf(HandleKind kind, std::initializer_list<HandleKind> kinds) {
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

}  // namespace

HANDLE AddHandle(HandleKind kind, std::shared_ptr<void> object, DWORD access) {
  std::lock_guard lock(g_mutex);
  g_lastValue += 4;
  g_entries.emplace(g_lastValue, HandleEntry{kind, std::move(object), access});
  ++g_openByKind[Index(kind)];
  return reinterpret_cast<HANDLE>(g_lastValue);
}

std::optional<HandleEntry> FindHandle(const void* handle, std::initializer_list<HandleKind> kinds) {
  std::lock_guard lock(g_mutex);
  const auto found = g_entries.find(Key(handle));
  if (found == g_entries.end() || !OneOf(found->second.kind, kinds)) return std::nullopt;
  return found->second;
}

std::optional<HandleEntry> TakeHandle(const void* handle, std::initializer_list<HandleKind> kinds) {
  std::lock_guard lock(g_mutex);
  const auto found = g_entries.find(Key(handle));
  if (found == g_entries.end() || !OneOf(found->second.kind, kinds)) return std::nullopt;
  HandleEntry entry = std::move(found->second);
  g_entries.erase(found);
  --g_openByKind[Index(entry.kind)];
  return entry;
}

}  // namespace winsim::detail

namespace winsim {

int OpenHandleCount(HandleKind kind) {
  std::lock_guard lock(detail::g_mutex);
  return detail::g_openByKind[detail::Index(kind)];
}

}  // namespace winsim
